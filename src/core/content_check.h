#pragma once

#include <QByteArray>
#include <QHash>
#include <atomic>
#include <functional>
#include <sys/types.h>
#include <thread>
#include <vector>

enum class ContentVerdict { Equal, Differ, Unreadable, Cancelled };

// Reads two open files once, side by side, and stops at the first byte that
// differs, whose offset goes to `firstDifference` when given; `cancel` is
// looked at between blocks.
ContentVerdict compareOpenFiles(int fdA, int fdB, const std::atomic<bool>& cancel,
                                qint64* firstDifference = nullptr);

// Reads up to `size` bytes, short only at the end of the file; -1 on an error.
ssize_t readBlock(int fd, char* buffer, size_t size);

// Compares pairs of files on a thread of its own. Verdicts are remembered for
// the checker's life by each file's device, inode, size and times, so a pair
// unchanged since an earlier run is not read again.
class ContentChecker {
public:
    struct Pair {
        qsizetype row;
        QByteArray source, destination; // full paths
    };
    // Runs on the checker's thread after each pair; `done` counts the pairs so far.
    using Report = std::function<void(qsizetype row, ContentVerdict verdict, qsizetype done)>;

    ContentChecker() = default;
    ~ContentChecker();
    ContentChecker(const ContentChecker&) = delete;
    ContentChecker& operator=(const ContentChecker&) = delete;

    // Cancels any run under way, then checks the pairs in order.
    void start(std::vector<Pair> pairs, Report report);
    // Stops the run under way at its next block and waits for it.
    void cancel();
    // How many verdicts were read from disk rather than remembered.
    qsizetype filesCompared() const { return m_compared; }

private:
    ContentVerdict check(const Pair& pair);

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<qsizetype> m_compared{0};
    // Both files' identities -> equal. Only the one running thread uses it.
    QHash<QByteArray, bool> m_cache;
};
