#pragma once

#include "compare/digest_cache.h"
#include "compare/reading_pool.h"
#include "compare/row_matching.h"
#include "compare/row_status.h"
#include "fs/filter_settings.h"
#include "fs/folder_side.h"

#include <QByteArray>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <thread>
#include <vector>

// EqualOtherTimes: two trees whose files hold the same bytes, some at other times.
enum class ContentVerdict { Equal, Differ, Unreadable, Cancelled, EqualOtherTimes };

// Reads two open files once, side by side, and stops at the first byte that
// differs, whose offset goes to `firstDifference` when given; `cancel` is
// looked at between blocks.
ContentVerdict compareOpenFiles(int fdA, int fdB, const std::atomic<bool>& cancel,
                                qint64* firstDifference = nullptr);

// Whether two open regular files (with their stats) hold the same bytes.
// Files of other sizes differ unread. Digests the cache holds stand for
// reading, and the digests of files read whole go into it; a pair that
// differs is read only to its first difference unless it is small. `reads`
// counts the files read.
ContentVerdict compareStatted(int fdA, const struct stat& a, int fdB, const struct stat& b,
                              const std::atomic<bool>& cancel, DigestCache* cache,
                              std::atomic<qsizetype>* reads = nullptr);

// Whether two files hold the same bytes, when that is known unread: from
// their sizes, or from the digests the user's cache holds for both. Each is
// stated from its folder's descriptor; a link at either name is not followed
// (nothing is known).
std::optional<bool> knownSameContents(const QByteArray& pathA, const QByteArray& pathB);

// The same for two files reached from their folders' descriptors, neither
// followed if it is a link; Unreadable unless both are regular files.
ContentVerdict compareFilesAt(int dirA, const char* nameA, int dirB, const char* nameB,
                              const std::atomic<bool>& cancel, DigestCache* cache = nullptr,
                              std::atomic<qsizetype>* reads = nullptr);

// A folder at a place its side holds (folder_side.h).
struct SideFolder {
    FolderSide& side;
    SidePlace place;
};

// compareFilesAt() for two files each at a place on its side. Where both
// sides' files can be read here, they are, side by side; else the sides'
// digests tell (after the sizes), each file counted in `reads`.
// A name whose listing told what a link there leads to (`follow`) is
// statted and read through the link.
ContentVerdict compareSideFiles(const SideFolder& a, const char* nameA, const SideFolder& b,
                                const char* nameB, const std::atomic<bool>& cancel,
                                DigestCache* cache = nullptr,
                                std::atomic<qsizetype>* reads = nullptr,
                                const bool (&follow)[2] = {false, false});

// Whether a row's contents decide its status: two files (neither a link)
// of equal size that the stats call same or newer on one side.
bool decidedByContents(const FolderRows& rows, qsizetype row);

// A row's verdict, the errno of a file that could not be read, and whether
// it was checked at all (not after a difference, when the first is enough).
struct RowVerdict {
    ContentVerdict verdict = ContentVerdict::Unreadable;
    int error = 0;
    bool checked = false;
};

// Compares the files of the rows `which` (each decidedByContents) of one
// level, listed in the folders `a` and `b`, and sets their statuses from
// the verdicts (contentStatus()); gives the verdicts in the same order.
// Where the listings kept the files' identities (ScanOptions::identities)
// and both sides' files can be read here, those identities are the files'
// for the cache, with no other look at them: a pair the cache knows is not
// opened, and a file that is no longer what its listing saw makes its pair
// differ. The pairs left to read are read by `pool`'s readers (null: this
// thread alone); with `toFirstDifference`, none is begun after a difference.
std::vector<RowVerdict>
checkRowsContents(FolderRows& rows, const std::vector<qsizetype>& which, const SideFolder& a,
                  const SideFolder& b, const TimeRule& rule, const std::atomic<bool>& cancel,
                  DigestCache* cache, std::atomic<qsizetype>* reads = nullptr,
                  ReadingPool* pool = nullptr, bool toFirstDifference = false);

// checkRowsContents() in steps, so that the files may be read on another
// thread while the one that asks alone uses the cache: what the listings
// and the cache tell (the constructor); the reading (read(), on any thread,
// which leaves `rows` as they are, from the folders given, else the
// sides'; or readPairs() of a part of the pairsToRead(), those of other
// parts on other threads at once); the digests read kept and the verdicts
// (finish(), on the thread that asked, once all are read); then the rows'
// statuses (setContentStatuses()).
class LevelCheck {
public:
    LevelCheck(const FolderRows& rows, std::vector<qsizetype> which, const SideFolder& a,
               const SideFolder& b, const std::atomic<bool>& cancel, DigestCache* cache,
               std::atomic<qsizetype>* reads = nullptr, bool toFirstDifference = false);
    ~LevelCheck();
    LevelCheck(const LevelCheck&) = delete;
    LevelCheck& operator=(const LevelCheck&) = delete;

    const std::vector<qsizetype>& which() const;
    void read(ReadingPool* pool, int folderA = -1, int folderB = -1);
    size_t pairsToRead() const;
    void readPairs(size_t from, size_t to, int folderA = -1, int folderB = -1);
    std::vector<RowVerdict> finish();

private:
    struct Pairs;
    std::unique_ptr<Pairs> m;
};
void setContentStatuses(FolderRows& rows, const std::vector<qsizetype>& which,
                        const std::vector<RowVerdict>& verdicts, const TimeRule& rule);

// A folder pair's status from the verdict on its trees; nothing when the
// walk was cancelled (the pair is still checking).
std::optional<RowStatus> treeStatus(ContentVerdict verdict);

// Reads up to `size` bytes, short only at the end of the file; -1 on an error.
ssize_t readBlock(int fd, char* buffer, size_t size);

// Compares pairs of files, or of folder trees (tree_compare.h), on a thread
// of its own. Files' digests are kept in a DigestCache, saved after each
// run, so a file unchanged since an earlier run, or an earlier start, is not
// read again; tree verdicts are not kept (a tree changes below its folder's
// times): Equal for Same, EqualOtherTimes for SameContents, Differ, Unreadable.
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

    // `cache` null: the user's own cache file.
    explicit ContentChecker(std::unique_ptr<DigestCache> cache = nullptr);
    // Pairs' paths lie on these sides (folder_side.h); null: on this machine.
    ContentChecker(std::unique_ptr<DigestCache> cache, std::unique_ptr<FolderSide> source,
                   std::unique_ptr<FolderSide> destination);
    ~ContentChecker();
    ContentChecker(const ContentChecker&) = delete;
    ContentChecker& operator=(const ContentChecker&) = delete;

    // Cancels any run under way, then checks the pairs in order; trees under
    // the filters a pane would show them with.
    void start(std::vector<Pair> pairs, Report report, const FilterSettings& treeFilters = {});
    // Stops the run under way at its next block and waits for it.
    void cancel();
    // How many files were read rather than known by their digests.
    qsizetype filesRead() const { return m_reads; }
    // Folders walked by the tree comparisons so far, for a progress display.
    qint64 foldersWalked() const { return m_foldersWalked; }

private:
    ContentVerdict check(const Pair& pair);
    ContentVerdict checkTrees(const Pair& pair);

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<qsizetype> m_reads{0};
    std::atomic<qint64> m_foldersWalked{0};
    FilterSettings m_treeFilters; // set before the thread starts
    // Only the one running thread uses it.
    std::unique_ptr<DigestCache> m_cache;
    const std::unique_ptr<FolderSide> m_source, m_destination;
    std::unique_ptr<ReadingQueue> m_lister; // for the trees, once one is walked here
};
