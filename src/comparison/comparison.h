#pragma once

#include "compare/content_check.h"
#include "compare/row_matching.h"
#include "compare/tree_compare.h"
#include "comparison/sync_preview.h"
#include "comparison/visible_rows.h"
#include "fileops/undo_journal.h"
#include "fs/filter_settings.h"
#include "fs/folder_scan.h"
#include "fs/folder_side.h"
#include "remote/remote_file.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class FlatFeed;
class QTimer;

// The pair of folders the window shows: their rows, read by level or
// flattened (streamed into the visible rows as the walk finds them), the
// content check that settles the rows' statuses after each read, which rows
// are in view (Show Only Differences), and the Undo journal of the commands
// run on them. The window shows what this says; tests drive it alone.
class Comparison : public QObject {
    Q_OBJECT
public:
    // Runs `work` on a thread of its own, `tick` every 40 ms meanwhile; false
    // when `cancel` stopped it (runInBackground, which the window's own wraps
    // to let Escape stop it).
    using Runner = std::function<bool(std::atomic<bool>& cancel, const std::function<void()>& work,
                                      const std::function<void()>& tick)>;

    explicit Comparison(QObject* parent = nullptr);
    ~Comparison() override;

    void setRunner(Runner runner) { m_runner = std::move(runner); }
    // The filters and icon settings every read and check follows.
    FilterSettings& settings() { return m_settings; }
    // How a read lists the folders (benchmarks set the stats in flight).
    ScanOptions scanOptions;
    // How the flattened view walks the trees (tests hold the walk on its way).
    TreeOptions treeOptions;
    UndoJournal& undoJournal() { return m_undo; }
    // Synchronize's preview of this pair: its mode, plan and changed actions.
    SyncPreview& syncPreview() { return m_syncPreview; }
    VisibleRows& visibleRows() { return *m_visible; }
    const std::shared_ptr<FolderRows>& rows() const { return m_visible->folderRows(); }

    // The folder of a pane: as its box gives it, the side it lies on and its
    // path there (ending with "/"), the side made by the read that first
    // sees the text (connecting to a host takes a while). A host that could
    // not be reached has no side and `unreached` in ssh's words; its pane
    // lists nothing, as a folder that is not there.
    struct PaneFolder {
        QByteArray given;
        std::shared_ptr<FolderSide> side;
        QByteArray path;
        bool remote = false;
        QString unreached;
        bool missing = false; // on another host, and not there
    };
    const PaneFolder& folder(Side side) const { return m_folders[int(side)]; }
    // A file of a pane on another host, as Compare Files brings it here.
    struct HostFile {
        RemoteFileCopy copy;
        std::shared_ptr<const SshLink> link;
        QString shown; // as its pane names it
    };
    // The file at `path` (a folder box's text and a name) when its pane is on another host.
    std::optional<HostFile> hostFile(const QByteArray& path) const;
    // A pane's folder as Synchronize plans and runs it: through the side the
    // panes read it by (here when not read yet). None for a host not
    // reached, which `unreached` names.
    std::optional<SyncPreview::Folder> syncFolder(Side side) const;

    // How the next read lists the folders: every file of both trees in one
    // list, or a level; the check compares contents of pairs of equal size.
    void setFlattened(bool flat) { m_flat = flat; }
    bool flattened() const { return m_flat; }
    void setCompareContents(bool contents) { m_contents = contents; }
    // The next read is Flatten's toggle: the other view of these folders
    // comes back unread when nothing was read since it was shown.
    void flattenToggled() { m_flatToggled = true; }

    // A refresh, in its steps. Begins it: the rows go (the kept rows of the
    // other view are returned when they come back unread, else null) and the
    // check stops.
    std::shared_ptr<FolderRows> beginRead(const QByteArray& sourceFolder,
                                          const QByteArray& destFolder);
    // Reads both folders through the runner, the flattened view's rows
    // shown as they are found; null when stopped, leaving no rows. Throws
    // FsError, leaving no rows.
    std::shared_ptr<FolderRows> read();
    // Stops the read under way (a new refresh is asked for).
    void cancelRead() { m_readCancel = true; }
    void showRows(const std::shared_ptr<FolderRows>& rows);
    // The rows are shown: what a toggle of Flatten may show again, checked
    // unless they were kept from before (their checks had all ended).
    void readShown(bool kept);

    // The content check: every folder pair (its tree walked for its status)
    // and, comparing contents, every pair of files of the same size, on a
    // thread of the checker's own; rows change as verdicts come.
    void stopContentCheck();
    bool contentCheckRunning() const { return m_contentPending > 0; }
    // The status summary: each status's count, and the check's progress.
    QString summary() const;

    // Show Only Differences: the rows in view, and the row Next (step 1) or
    // Previous Difference (-1) goes to from `row`, -1 for none.
    bool onlyDifferences() const { return m_visible->onlyDifferences(); }
    void setOnlyDifferences(bool only) { m_visible->setOnlyDifferences(only); }
    int nextDifference(int row, int step) const { return m_visible->nextDifference(row, step); }

Q_SIGNALS:
    // While a read runs, every tick: folders walked (flattened) and entries read.
    void reading(qint64 folders, qint64 entries);
    // summary() says something else.
    void summaryChanged();

private:
    std::shared_ptr<FolderRows> rowsShownAgain(const QByteArray& sourceFolder,
                                               const QByteArray& destFolder);
    // Both trees walked into `feed` (on the reader's thread): null, or when a
    // folder is not there, what the usual view lists.
    std::shared_ptr<FolderRows> readFlatRows(const TreeOptions& options, FlatFeed& feed,
                                             const PaneFolder (&folders)[2]);
    // The rows the walk found since the last time, into the visible rows.
    void showFlatRows(FlatFeed& feed);
    void startContentCheck();
    // Verdicts the checker's thread has given and this one not yet taken.
    struct Verdicts {
        std::mutex mutex;
        std::vector<std::pair<qsizetype, ContentVerdict>> rows;
        qsizetype done = 0; // pairs checked so far
    };
    void contentChecked(quint64 run, Verdicts& verdicts);

    Runner m_runner;
    FilterSettings m_settings;
    UndoJournal m_undo;
    SyncPreview m_syncPreview;
    VisibleRows* m_visible = nullptr;
    QByteArray m_source, m_destination; // the folders of the read under way or last
    PaneFolder m_folders[2];
    bool m_sidesMade = false; // the content checker's sides are to be made again
    bool m_flat = false;
    bool m_contents = true;
    std::atomic<bool> m_readCancel{false};
    // The rows shown and the folders they were read from, flattened or not;
    // the other view's rows, kept while nothing is read but Flatten's
    // toggles, which show them again without reading.
    struct ReadRows {
        std::shared_ptr<FolderRows> rows;
        QByteArray source, destination;
        bool flat = false;
    };
    ReadRows m_shownRead, m_keptRead;
    bool m_flatToggled = false; // the read under way is Flatten's
    std::unique_ptr<ContentChecker> m_contentChecker;
    quint64 m_contentRun = 0; // results of earlier runs are dropped
    qsizetype m_contentPending = 0;
    qsizetype m_contentPairs = 0;
    bool m_checkContents = false; // the running check compares contents
    QTimer* m_walkTick = nullptr; // the count of folders walked, while a check runs
};
