#pragma once

#include "compare/row_matching.h"
#include "fs/folder_chain.h"
#include "fs/folder_side.h"

#include <QByteArray>
#include <atomic>
#include <functional>
#include <vector>

class DigestCache;
class ReadingQueue;
struct SideFolder;

// How two folder trees are compared: at every level, what a pane would show
// on stepping in there.
struct TreeOptions {
    FilterSettings filters; // folders are listed whatever showSubfolders says
    // File pairs of equal size are compared by contents too (content_check.h):
    // their contents, not their times, decide whether they are the same.
    bool contents = false;
    // Where the content comparison finds and keeps files' digests, if anywhere.
    DigestCache* cache = nullptr;
    // Files read by the content comparison.
    std::atomic<qsizetype>* reads = nullptr;
    // Set from another thread: the walk throws ScanCancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Folder pairs (or lone folders) listed so far, for a progress display.
    std::atomic<qint64>* foldersWalked = nullptr;
    // Entries looked at so far (ScanOptions::progress).
    std::atomic<qint64>* entriesRead = nullptr;
    // Where the two folders lie below the folders the exclusions' paths are
    // relative to ("" when they are those folders, else ending with "/").
    QByteArray relativeTop;
    // Each entry's whole identity kept in the listings (ScanOptions::identities).
    bool identities = false;
    // A thread that lists Destination's folders beside Source's, where both
    // lie here, from the first level on: one that outlives a walk serves
    // many small ones.
    ReadingQueue* lister = nullptr;
    // Called with both folders' paths before a pair below the top is opened:
    // lets tests change the tree meanwhile.
    std::function<void(const QByteArray& source, const QByteArray& destination)> beforeEntering;
    // Called with each folder pair the walk enters (the two given first, as
    // ""; below them "a/b/"), once entered on both sides, with each side's
    // folder (null on a side without one): what a run checks again.
    std::function<void(const QByteArray& relative, const FolderId* source,
                       const FolderId* destination)>
        entered;
};

// What lies below two folders (paths, with or without a trailing "/"): Same
// when both trees hold the same relative paths and every pair in them is
// same (names of one letter case, size and time, or contents when asked);
// SameContents when some pairs' contents are the same at other times;
// Differs from the first difference on, which ends the walk; Unreadable when
// no difference was found but a folder could not be read. Links are never
// followed: two links are the same when they hold the same target, else
// their own times decide (the two folders given, when links, by their own
// length and time). Throws ScanCancelled.
RowStatus compareTrees(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
                       const TreeOptions& options);
// The same for two folders each on its side (folder_side.h), at their paths there.
RowStatus compareTrees(FolderSide& source, const QByteArray& sourceFolder, FolderSide& destination,
                       const QByteArray& destinationFolder, const TreeOptions& options);

// Both trees in full, for the report, told row by row as the walk goes, so
// that nothing of a level is kept once the walk has left it.
class TreeRows {
public:
    virtual ~TreeRows() = default;
    // A level's rows, all of them, once listed and before the first is told
    // (at `path`, as row() has it): their statuses are final but for the
    // folders the walk enters, which are Checking until settled().
    virtual void listed(const FolderRows& rows, const QByteArray& path) {
        Q_UNUSED(rows);
        Q_UNUSED(path);
    }
    // A row of the folder at `path` (relative to the two given: "" or ending
    // with "/", the Source name where there is one), rows of a level in row
    // order. With `below`, the level below the row follows, then settled()
    // with the row's final status (a folder pair is Checking until then).
    virtual void row(const FolderRows& rows, qsizetype r, const QByteArray& path, bool below) = 0;
    virtual void settled(const FolderRows& rows, qsizetype r, const QByteArray& path) = 0;
    // A folder below that could not be listed or entered, or a file pair
    // whose contents could not be read (full path, errno): its row is Unreadable.
    virtual void unreadable(const QByteArray& path, int error) = 0;
    // Whether a level's file pairs may still be being read when its rows are
    // told: each such row is told Checking, and decided() gives their
    // statuses (the rows `which` of `rows`) before the folder above them is
    // settled(), the walk meanwhile going on to the next folders.
    virtual bool takesLateStatuses() const { return false; }
    virtual void decided(const FolderRows& rows, const std::vector<qsizetype>& which) {
        Q_UNUSED(rows);
        Q_UNUSED(which);
    }
};

// Whether a walk that tells its rows enters the folder of row `r` (told
// with `below`): a folder on either side, a link on neither.
bool walkedBelow(const FolderRows& rows, qsizetype r);

// Walks both trees below two folders that exist (the two given are entered
// even when they are links), telling every row to `out`. Throws FsError when
// one of the two given cannot be read, or the walk runs out of descriptors
// (no false Unreadable rows then); ScanCancelled.
void walkTrees(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
               const TreeOptions& options, TreeRows& out);
void walkTrees(FolderSide& source, const QByteArray& sourceFolder, FolderSide& destination,
               const QByteArray& destinationFolder, const TreeOptions& options, TreeRows& out);

// Tells each side the files of `rows` whose contents are about to be
// compared (decidedByContents), so that a side on another host reads them
// in one go (FolderSide::readAhead).
void readContentsAhead(const FolderRows& rows, const SideFolder& source,
                       const SideFolder& destination, const std::atomic<bool>* cancel);
