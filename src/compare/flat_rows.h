#pragma once

#include "compare/row_matching.h"
#include "compare/tree_compare.h"

#include <functional>
#include <memory>
#include <mutex>

// Both trees below two folders as one list of rows, the way the flattened
// view shows them: every entry is named by its path relative to its top
// folder ("a/b/x.txt"), and rows come folder by folder, each folder's own
// rows in the order a pane lists them, then the folders below it in that
// order. A folder present on both sides gives the rows of what it holds,
// never a row of its own (unless it could not be read, or one side is a
// link); a folder present on one side stays one row, a thing to copy or
// delete as a whole. Statuses are the walk's (tree_compare.h). Throws as
// walkTrees does.
std::shared_ptr<FolderRows> flattenTrees(const QByteArray& sourceFolder,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options);
// The same for two folders each on its side (folder_side.h), at their paths there.
std::shared_ptr<FolderRows> flattenTrees(FolderSide& source, const QByteArray& sourceFolder,
                                         FolderSide& destination,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options);

// The same rows while the walk finds them, for a view that fills as it goes.
// That order is the walk's own: a folder's rows are known once it is listed,
// before the walk goes below it, so nearly every row is added at the end of
// the list. A folder alone on one side is Checking until the walk has tried
// it; a folder pair that could not be read takes its place in its folder's
// rows only once the walk has tried it, between rows already given. The
// walk's thread tells; any other takes what came since its last take.
class FlatFeed : public TreeRows {
public:
    // One change to the list, in the order given: `count` rows put in
    // before row `at` (the batch's next rows), or with count 0 the row at
    // `at` taking `status`.
    struct Step {
        qsizetype at = 0;
        qsizetype count = 0;
        RowStatus status = RowStatus::Same;
    };
    struct Batch {
        FolderRows rows; // the rows the steps put in, in their order
        std::vector<Step> steps;

        // Each step in order: `insert(at, first, count)` for the rows
        // [first, first + count) of `rows`, `status(at, status)`.
        void apply(const std::function<void(qsizetype, qsizetype, qsizetype)>& insert,
                   const std::function<void(qsizetype, RowStatus)>& status) const;
    };

    FlatFeed();
    Batch take();

    void listed(const FolderRows& rows, const QByteArray& path) override;
    void row(const FolderRows& rows, qsizetype r, const QByteArray& path, bool below) override;
    void settled(const FolderRows& rows, qsizetype r, const QByteArray& path) override;
    void unreadable(const QByteArray&, int) override {} // its row says so

private:
    // A level the walk is in.
    struct Level {
        QByteArray pathA, pathB;       // relative to the tops, "" or ending with "/"
        bool lone = false;             // below a lone folder: nothing of it is a row
        qsizetype start = 0;           // where its first row is in the list
        qsizetype told = 0;            // its rows in the list so far
        qsizetype inserted = 0;        // of them, pairs put in once tried
        std::vector<qsizetype> before; // by level row: its rows in the list before it
    };
    // Puts row `r` of a level into the list at `at`, with `status`.
    void put(const Level& level, const FolderRows& rows, qsizetype r, RowStatus status,
             qsizetype at);

    std::vector<Level> m_open; // the levels the walk is in, the top first
    qsizetype m_count = 0;     // rows in the list
    std::mutex m_mutex;        // over m_batch
    Batch m_batch;
};

// Puts the rows [first, first + count) of `from` into `to` before its row
// `at`, their entries added to its listings and their statuses counted.
void insertRows(FolderRows& to, qsizetype at, const FolderRows& from, qsizetype first,
                qsizetype count);

// The parts of a relative path as the flattened view shows them: the folder
// ("" at the top) and the name.
QByteArrayView folderPart(QByteArrayView relativePath);
QByteArrayView namePart(QByteArrayView relativePath);
