#pragma once

#include "core/filter_settings.h"
#include "core/row_status.h"

#include <QByteArray>
#include <QHash>
#include <atomic>
#include <functional>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <vector>

enum class ContentVerdict { Equal, Differ, Unreadable, Cancelled };

// Reads two open files once, side by side, and stops at the first byte that
// differs, whose offset goes to `firstDifference` when given; `cancel` is
// looked at between blocks.
ContentVerdict compareOpenFiles(int fdA, int fdB, const std::atomic<bool>& cancel,
                                qint64* firstDifference = nullptr);

// The same for two files reached from their folders' descriptors, neither
// followed if it is a link; Unreadable unless both are regular files.
ContentVerdict compareFilesAt(int dirA, const char* nameA, int dirB, const char* nameB,
                              const std::atomic<bool>& cancel);

// A folder pair's status from the verdict on its trees; nothing when the
// walk was cancelled (the pair is still checking).
std::optional<RowStatus> treeStatus(ContentVerdict verdict);

// Reads up to `size` bytes, short only at the end of the file; -1 on an error.
ssize_t readBlock(int fd, char* buffer, size_t size);

// Compares pairs of files, or of folder trees (tree_compare.h), on a thread
// of its own. File verdicts are remembered for the checker's life by each
// file's device, inode, size and times, so a pair unchanged since an earlier
// run is not read again; tree verdicts are not (a tree changes below its
// folder's times): Equal for Same, Differ, Unreadable.
class ContentChecker {
public:
    struct Pair {
        qsizetype row;
        QByteArray source, destination; // full paths
        bool folders = false;           // two folders: their trees are compared
        bool treeContents = false;      // and the files in them byte for byte
    };
    // Runs on the checker's thread after each pair; `done` counts the pairs so far.
    using Report = std::function<void(qsizetype row, ContentVerdict verdict, qsizetype done)>;

    ContentChecker() = default;
    ~ContentChecker();
    ContentChecker(const ContentChecker&) = delete;
    ContentChecker& operator=(const ContentChecker&) = delete;

    // Cancels any run under way, then checks the pairs in order; trees under
    // the filters a pane would show them with.
    void start(std::vector<Pair> pairs, Report report, const FilterSettings& treeFilters = {});
    // Stops the run under way at its next block and waits for it.
    void cancel();
    // How many verdicts were read from disk rather than remembered.
    qsizetype filesCompared() const { return m_compared; }
    // Folders walked by the tree comparisons so far, for a progress display.
    qint64 foldersWalked() const { return m_foldersWalked; }

private:
    ContentVerdict check(const Pair& pair);
    ContentVerdict checkTrees(const Pair& pair);

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<qsizetype> m_compared{0};
    std::atomic<qint64> m_foldersWalked{0};
    FilterSettings m_treeFilters; // set before the thread starts
    // Both files' identities -> equal. Only the one running thread uses it.
    QHash<QByteArray, bool> m_cache;
};
