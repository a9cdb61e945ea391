#include "compare/tree_compare.h"

#include "base/deep_stack.h"
#include "base/name_text.h"
#include "compare/content_check.h"
#include "fs/folder_chain.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"

#include <QScopeGuard>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>

namespace {

// A walk that runs out of descriptors fails as a whole rather than give a false row.
bool outOfDescriptors(int error) {
    return error == EMFILE || error == ENFILE;
}

// What a level's rows tell of its own status.
struct Tally {
    bool differs = false, unreadable = false, otherTimes = false;
    void note(RowStatus s) {
        if (s == RowStatus::Unreadable)
            unreadable = true;
        else if (s == RowStatus::SameContents)
            otherTimes = true;
        else if (s != RowStatus::Same)
            differs = true;
    }
    RowStatus status() const {
        return differs      ? RowStatus::Differs
               : unreadable ? RowStatus::Unreadable
               : otherTimes ? RowStatus::SameContents
                            : RowStatus::Same;
    }
};

// A level's file pairs, those not known by their digests given to the
// reading queue in parts, which its threads read from the level's own
// folders, open for them until the last part is read.
struct LevelRead {
    std::optional<LevelCheck> check;
    UniqueFd folderA, folderB;
    QByteArray pathA; // the level's Source folder, for messages
    std::mutex failed;
    std::exception_ptr failure;
    std::atomic<size_t> partsLeft{0};
    ReadingQueue::Ticket ticket = 0; // the last part's; 0: nothing to read
};

// A level left while its pairs are read, settled once they are.
struct Unsettled {
    std::shared_ptr<FolderRows> level;
    FolderRows* above = nullptr; // the folder's own row, `row` of these
    qsizetype row = 0;
    bool checking = false; // its row waits for the tree's status
    Tally tally;           // what its other rows told
    std::shared_ptr<LevelRead> read;
};

// Pairs read for levels the walk has left, at most: each holds its two folders open.
constexpr size_t mostUnsettled = 64, mostUnsettledALevel = 16;

// A listing made on another thread, waited for before it goes.
struct Aside {
    ReadingQueue* queue = nullptr;
    ReadingQueue::Ticket ticket = 0;
    ScanOptions scan;
    SortedNames order;
    std::exception_ptr failure;
    void wait() {
        if (queue)
            queue->wait(std::exchange(ticket, 0));
    }
    ~Aside() { wait(); }
};

// Destination's subfolders of a level, a few dozen at a time, opened from
// their parent's descriptor and listed ahead on the thread beside in one
// job, in the order the walk enters them: the threads meet once a batch,
// and the walk waits only where it catches up.
struct Ahead {
    struct Folder {
        QByteArray name;
        FolderId id;
        FolderListing listing;
        SortedNames order;
        std::exception_ptr failure;
        bool opened = false;
    };
    std::vector<Folder> folders;
    std::atomic<size_t> done{0};
    size_t next = 0;
    qsizetype endRow = 0; // the rows after the batch's last; -1: none listed ahead
    UniqueFd parent;
    ReadingQueue* queue = nullptr;
    ReadingQueue::Ticket ticket = 0;
    // Its job done, before the walk leaves the level.
    void wait() const {
        if (queue)
            queue->wait(ticket);
    }
    // The folder `name` when the batch holds it, once listed.
    Folder* take(QByteArrayView name) {
        for (size_t i = next; i < folders.size(); ++i) {
            if (folders[i].name != name)
                continue;
            next = i + 1;
            for (size_t d; (d = done.load(std::memory_order_acquire)) <= i;)
                done.wait(d, std::memory_order_acquire);
            return &folders[i];
        }
        return nullptr;
    }
};

// One walk over two trees. Each level is listed as a pane would list it,
// laid out and given its statuses by the same code as the panes; only the
// folder pairs are left to the level below. With `out`, every row is told
// there and every folder entered; without, the walk stops at the first
// difference.
class TreeWalker {
public:
    TreeWalker(FolderSide& source, FolderSide& destination, const TreeOptions& options,
               TreeRows* out)
        : m_sideA(source), m_sideB(destination), m_a(source.walk()), m_b(destination.walk()),
          m_options(options), m_out(out) {
        m_filters = options.filters;
        m_filters.showSubfolders = 1;
        m_scan.cancel = options.cancel;
        m_scan.progress = options.entriesRead;
        m_scan.linksAsLinks = true;
        // The listing's look at a file is the one the content check goes by.
        m_scan.identities = options.identities || options.contents;
    }

    // Lists the two chains' current folders, where `a` and `b` say there is
    // one on that side, into `rows`. A listing that fails throws when
    // `mustList`, else is told and gives false.
    bool list(FolderRows& rows, bool a, bool b, bool mustList) {
        if (m_options.foldersWalked)
            m_options.foldersWalked->fetch_add(1, std::memory_order_relaxed);
        const QByteArray* listing = &m_pathA;
        Aside aside; // waits for the thread beside on the way out, a throw's too
        try {
            ReadingQueue* const lister = m_lister ? m_lister.get() : givenLister();
            const bool early = b && m_ahead && m_ahead->endRow >= 0 && lister;
            if (b && lister && !early) {
                // Destination's folder listed and sorted beside Source's.
                aside.scan = m_scan;
                aside.scan.relativeFolder = m_options.relativeTop + m_pathB.mid(m_topB);
                aside.queue = lister;
                aside.ticket = lister->add([&, place = m_b->place()] {
                    try {
                        rows.destination = m_sideB.list(place, m_pathB, m_filters, aside.scan);
                        aside.order = SortedNames(rows.destination);
                    } catch (...) {
                        aside.failure = std::current_exception();
                    }
                });
            }
            if (a) {
                m_scan.relativeFolder = m_options.relativeTop + m_pathA.mid(m_topA);
                rows.source = m_sideA.list(m_a->place(), m_pathA, m_filters, m_scan);
            }
            listing = &m_pathB;
            const qsizetype nameAt = m_pathB.lastIndexOf('/', m_pathB.size() - 2) + 1;
            Ahead::Folder* ahead =
                early ? m_ahead->take(QByteArrayView(m_pathB).sliced(nameAt).chopped(1)) : nullptr;
            if (ahead && ahead->opened && ahead->id == m_b->id()) {
                if (ahead->failure)
                    std::rethrow_exception(ahead->failure);
                rows.destination = std::move(ahead->listing);
                aside.order = std::move(ahead->order);
            } else if (aside.queue) {
                aside.wait();
                if (aside.failure)
                    std::rethrow_exception(aside.failure);
            } else if (b) {
                m_scan.relativeFolder = m_options.relativeTop + m_pathB.mid(m_topB);
                rows.destination = m_sideB.list(m_b->place(), m_pathB, m_filters, m_scan);
                aside.order = SortedNames(rows.destination);
            }
        } catch (const FsError& e) {
            if (mustList || outOfDescriptors(e.number()))
                throw;
            if (m_out)
                m_out->unreadable(*listing, e.number());
            return false;
        }
        rows.rows = alignRows(rows.source, SortedNames(rows.source), rows.destination, aside.order);
        rows.computeStatuses(m_options.filters.times);
        rowsMet(rows.count());
        return true;
    }

    // The status of the level listed in `rows`, the one the chains are in.
    // With `later`, the level's pairs to compare by contents may be left
    // to the reading queue: `later` then has them, and the status is not
    // known yet.
    std::optional<RowStatus> compare(FolderRows& rows, Unsettled* later = nullptr) {
        Tally tally;
        auto note = [&](RowStatus s) {
            tally.note(s);
            return tally.differs && !m_out;
        };
        // With contents asked, two files of equal size are the same or not
        // by their bytes, whatever their times: left to their own pass.
        auto byContents = [&](qsizetype r) {
            return m_options.contents && decidedByContents(rows, r);
        };
        // What the stats tell at this level first: the cheapest difference.
        // A link and a file are two kinds of entry, whatever their stats;
        // two links to folders compare as files do.
        for (qsizetype r = 0; r < rows.count(); ++r) {
            const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
            if (rows.status(r) == RowStatus::Same &&
                rows.source.isLink(i) != rows.destination.isLink(j))
                rows.setStatus(r, RowStatus::Differs);
            if (rows.status(r) == RowStatus::Checking && linked(rows, r))
                rows.setStatus(r, linkedFolders(rows, i, j, m_options.filters.times));
            if (i >= 0 && j >= 0 && rows.source.isLink(i) && rows.destination.isLink(j))
                rows.setStatus(r, linkPair(rows, r));
            if (rows.status(r) != RowStatus::Checking && !byContents(r) && note(rows.status(r)))
                return RowStatus::Differs;
        }
        auto contentsDiffer = [&] {
            if (m_options.contents)
                readContentsAhead(rows, {m_sideA, m_a->place()}, {m_sideB, m_b->place()},
                                  m_options.cancel);
            std::vector<qsizetype> which;
            for (qsizetype r = 0; m_options.contents && r < rows.count(); ++r) {
                if (decidedByContents(rows, r))
                    which.push_back(r);
            }
            if (which.empty())
                return false;
            const std::vector<RowVerdict> verdicts =
                checkRowsContents(rows, which, {m_sideA, m_a->place()}, {m_sideB, m_b->place()},
                                  m_options.filters.times, cancelFlag(), m_options.cache,
                                  m_options.reads, readers(), !m_out);
            for (size_t k = 0; k < which.size(); ++k) {
                if (verdicts[k].checked && note(checkedContents(rows, which[k], verdicts[k])))
                    return true;
            }
            return false;
        };
        // Told, a level's files are settled before the first row goes out,
        // unless the rows may take their statuses late.
        std::shared_ptr<LevelRead> read;
        if (m_queue && m_options.contents)
            read = startReading(rows, later ? later->level : nullptr);
        if (read && !later) {
            Unsettled now{{}, nullptr, 0, false, {}, read};
            settleFiles(rows, now);
            tally.note(now.tally.status());
        } else if (m_out && !read) {
            contentsDiffer();
        }
        if (m_out)
            m_out->listed(rows, m_rel);
        // Below the top, a folder is left with its files still being read
        // while the walk goes on to the next, a few at a time.
        std::deque<Unsettled> children;
        std::shared_ptr<Ahead> ahead;
        const std::shared_ptr<Ahead> aheadAbove = m_ahead;
        const auto restore = qScopeGuard([&] {
            if (ahead)
                ahead->wait();
            m_ahead = aheadAbove;
        });
        for (qsizetype r = 0; r < rows.count(); ++r) {
            if (m_out && (!ahead || (ahead->endRow >= 0 && r >= ahead->endRow)))
                m_ahead = ahead = listAhead(rows, r);
            const bool deferChildren = m_queue && !m_rel.isEmpty();
            const bool checking = rows.status(r) == RowStatus::Checking;
            const bool below = walkedBelow(rows, r) && (checking || m_out);
            if (m_out)
                m_out->row(rows, r, m_rel, below);
            if (!below)
                continue;
            if (deferChildren && children.size() >= mostUnsettledALevel) {
                settle(children.front(), tally);
                children.pop_front();
            }
            if (enter(rows, r, deferChildren ? &children : nullptr))
                continue;
            if (m_out)
                m_out->settled(rows, r, m_rel);
            if (checking && note(rows.status(r)))
                return RowStatus::Differs;
        }
        for (Unsettled& child : children)
            settle(child, tally);
        if (read && later) {
            later->tally = tally;
            later->read = std::move(read);
            return std::nullopt;
        }
        if (!m_out && contentsDiffer())
            return RowStatus::Differs;
        return tally.status();
    }

    // Starts listing the Destination folders the walk enters from row
    // `from` on, up to a batch of them, on the thread beside.
    std::shared_ptr<Ahead> listAhead(const FolderRows& rows, qsizetype from) {
        constexpr size_t batch = 64;
        auto ahead = std::make_shared<Ahead>();
        ReadingQueue* const lister = m_lister ? m_lister.get() : givenLister();
        const std::optional<int> parent = m_sideB.localFolder(m_b->place());
        ahead->endRow = lister && parent ? from : -1; // -1: none listed ahead
        for (; ahead->endRow >= 0 && ahead->endRow < rows.count() && ahead->folders.size() < batch;
             ++ahead->endRow) {
            const qint32 j = rows.entry(ahead->endRow, Side::Destination);
            if (j >= 0 && rows.destination.isFolder(j) && !linked(rows, ahead->endRow))
                ahead->folders.emplace_back().name = rows.destination.fileName(j).toByteArray();
        }
        if (ahead->folders.empty())
            return ahead;
        ahead->parent.fd = ::fcntl(*parent, F_DUPFD_CLOEXEC, 0);
        if (ahead->parent.fd < 0)
            throw FsError::fromErrno(errno, nameText(m_pathB));
        ahead->queue = lister;
        ahead->ticket = lister->add([this, ahead, scan = m_scan, path = m_pathB,
                                     inFlight = m_b->place().statsInFlight()]() mutable {
            for (Ahead::Folder& f : ahead->folders) {
                const UniqueFd fd{::openat(ahead->parent.fd, f.name.constData(),
                                           O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
                struct stat st {};
                f.opened = fd.fd >= 0 && ::fstat(fd.fd, &st) == 0;
                if (f.opened) {
                    f.id = FolderId::of(st);
                    const QByteArray below = path + f.name + '/';
                    scan.relativeFolder = m_options.relativeTop + below.mid(m_topB);
                    try {
                        f.listing = m_sideB.list(SidePlace::descriptor(fd.fd, inFlight), below,
                                                 m_filters, scan);
                        f.order = SortedNames(f.listing);
                    } catch (...) {
                        f.failure = std::current_exception();
                    }
                }
                ahead->done.fetch_add(1, std::memory_order_release);
                ahead->done.notify_all();
            }
        });
        return ahead;
    }

    // Gives the level's pairs to compare by contents to the reading queue,
    // marking their rows Checking; none, none given. The job keeps `owner`,
    // which holds `rows` where the walk may leave them before it has run.
    std::shared_ptr<LevelRead> startReading(FolderRows& rows,
                                            std::shared_ptr<const FolderRows> owner) {
        const std::optional<int> a = m_sideA.localFolder(m_a->place()),
                                 b = m_sideB.localFolder(m_b->place());
        std::vector<qsizetype> which;
        for (qsizetype r = 0; r < rows.count(); ++r) {
            if (decidedByContents(rows, r))
                which.push_back(r);
        }
        if (which.empty() || !a || !b)
            return nullptr;
        auto read = std::make_shared<LevelRead>();
        read->check.emplace(rows, std::move(which), SideFolder{m_sideA, m_a->place()},
                            SideFolder{m_sideB, m_b->place()}, cancelFlag(), m_options.cache,
                            m_options.reads);
        read->pathA = m_pathA;
        for (const qsizetype r : read->check->which())
            rows.setStatus(r, RowStatus::Checking);
        ++m_unsettled;
        const size_t pairs = read->check->pairsToRead();
        if (pairs == 0)
            return read;
        read->folderA.fd = ::fcntl(*a, F_DUPFD_CLOEXEC, 0);
        read->folderB.fd = ::fcntl(*b, F_DUPFD_CLOEXEC, 0);
        if (read->folderA.fd < 0 || read->folderB.fd < 0)
            throw FsError::fromErrno(errno, nameText(m_pathA));
        // Parts small enough that a big folder's pairs keep every thread busy.
        constexpr size_t part = 64;
        read->partsLeft = (pairs + part - 1) / part;
        for (size_t from = 0; from < pairs; from += part) {
            read->ticket = m_queue->add([read, owner, from, to = std::min(pairs, from + part)] {
                try {
                    read->check->readPairs(from, to, read->folderA.fd, read->folderB.fd);
                } catch (...) {
                    const std::lock_guard lock(read->failed);
                    read->failure = std::current_exception();
                }
                if (read->partsLeft.fetch_sub(1) == 1) {
                    ::close(std::exchange(read->folderA.fd, -1));
                    ::close(std::exchange(read->folderB.fd, -1));
                }
            });
        }
        return read;
    }

    // Waits for the verdicts on a level's pairs and gives their rows their statuses.
    void settleFiles(FolderRows& rows, Unsettled& u) {
        LevelRead& read = *u.read;
        if (read.ticket)
            m_queue->wait(read.ticket);
        --m_unsettled;
        if (read.failure)
            std::rethrow_exception(read.failure);
        const std::vector<qsizetype>& which = read.check->which();
        const std::vector<RowVerdict> verdicts = read.check->finish();
        setContentStatuses(rows, which, verdicts, m_options.filters.times);
        const QByteArray pathA = std::exchange(m_pathA, read.pathA);
        for (size_t k = 0; k < which.size(); ++k)
            u.tally.note(checkedContents(rows, which[k], verdicts[k]));
        m_pathA = pathA;
        if (m_out)
            m_out->decided(rows, which);
    }

    // Settles a level left while its pairs were read, and the folder row above it.
    void settle(Unsettled& u, Tally& above) {
        settleFiles(*u.level, u);
        const RowStatus status = u.tally.status();
        if (u.checking)
            u.above->setStatus(u.row, status);
        if (m_out)
            m_out->settled(*u.above, u.row, m_rel);
        if (u.checking)
            above.note(status);
    }

    static bool linked(const FolderRows& rows, qsizetype r) {
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        return (i >= 0 && rows.source.isLink(i)) || (j >= 0 && rows.destination.isLink(j));
    }

    // A row's status once its files are compared by contents; a pair that
    // cannot be read is Unreadable, and told.
    RowStatus checkedContents(FolderRows& rows, qsizetype r, const RowVerdict& v) {
        if (v.verdict == ContentVerdict::Cancelled)
            throw ScanCancelled{};
        if (v.verdict == ContentVerdict::Unreadable) {
            rows.setStatus(r, RowStatus::Unreadable);
            if (m_out)
                m_out->unreadable(
                    m_pathA + rows.source.fileName(rows.entry(r, Side::Source)).toByteArray(),
                    v.error ? v.error : EIO);
        }
        return rows.status(r);
    }

    // How the files compared by contents are read, chosen by the disks of
    // the first two folders whose files are compared.
    ReadingPlan plan() {
        if (!m_plan) {
            const std::optional<int> a = m_sideA.localFolder(m_a->place()),
                                     b = m_sideB.localFolder(m_b->place());
            m_plan = a && b ? readingPlanFor(*a, *b) : ReadingPlan{};
        }
        return *m_plan;
    }
    DiskTurns* turns() { return plan().takeTurns ? &m_turns : nullptr; }
    ReadingPool* readers() {
        if (!m_readers)
            m_readers = std::make_unique<ReadingPool>(plan().readers, turns());
        return m_readers.get();
    }

    // Enters the folder of row `r` in both chains, never through a link,
    // walks it and comes back. A pair's status becomes what lies below; a
    // folder that cannot be listed or entered is Unreadable. With `later`,
    // a level whose files are still being read may go there, unsettled:
    // then true.
    bool enter(FolderRows& rows, qsizetype r, std::deque<Unsettled>* later = nullptr) {
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        const QByteArray nameA = i >= 0 ? rows.source.fileName(i).toByteArray() : QByteArray();
        const QByteArray nameB = j >= 0 ? rows.destination.fileName(j).toByteArray() : QByteArray();
        // The paths grow by a level on the way down and are cut back on the
        // way up: a copy a level would make a deep walk's time and memory
        // grow with the square of its depth.
        const qsizetype aboveA = m_pathA.size(), aboveB = m_pathB.size(), above = m_rel.size();
        m_pathA += nameA + '/';
        m_pathB += nameB + '/';
        m_rel += (i >= 0 ? nameA : nameB) + '/';
        const QByteArray &belowA = m_pathA, &belowB = m_pathB;
        if (m_options.beforeEntering)
            m_options.beforeEntering(belowA, belowB);
        const bool a = !nameA.isEmpty(), b = !nameB.isEmpty();
        RowStatus status = RowStatus::Unreadable;
        bool itself = true; // the folder itself, not one below it
        Unsettled unsettled;
        if (a && !m_a->enter(nameA)) {
            status = notEntered(belowA);
        } else if (b && !m_b->enter(nameB)) {
            status = notEntered(belowB);
            if (a)
                back(*m_a, belowA);
        } else {
            if (m_options.entered)
                m_options.entered(m_rel, a ? &m_a->id() : nullptr, b ? &m_b->id() : nullptr);
            unsettled.level = std::make_shared<FolderRows>();
            FolderRows& level = *unsettled.level;
            const bool mayWait = later && m_unsettled < mostUnsettled;
            if (list(level, a, b, false)) {
                itself = false;
                if (const std::optional<RowStatus> s =
                        compare(level, mayWait ? &unsettled : nullptr))
                    status = *s;
            }
            if (a)
                back(*m_a, belowA);
            if (b)
                back(*m_b, belowB);
            if (unsettled.read) {
                unsettled.above = &rows;
                unsettled.row = r;
                unsettled.checking = rows.status(r) == RowStatus::Checking;
            }
        }
        m_pathA.truncate(aboveA);
        m_pathB.truncate(aboveB);
        m_rel.truncate(above);
        if (unsettled.read) {
            later->push_back(std::move(unsettled));
            return true;
        }
        if (rows.status(r) == RowStatus::Checking || (itself && status == RowStatus::Unreadable))
            rows.setStatus(r, status);
        return false;
    }

    // Gone, or no longer a folder, since the listing: not what was seen. Out
    // of descriptors the walk fails as a whole rather than give a false row.
    RowStatus notEntered(const QByteArray& path) {
        const int error = errno;
        if (outOfDescriptors(error))
            throw FsError::fromErrno(error, nameText(path));
        if (error == ENOENT || error == ENOTDIR || error == ELOOP)
            return RowStatus::Differs;
        if (m_out)
            m_out->unreadable(path, error);
        return RowStatus::Unreadable;
    }

    // A folder above that is no longer where the walk left it ends the walk.
    static void back(SideWalk& chain, const QByteArray& path) {
        if (!chain.leave())
            throw FsError(ESTALE, nameText(path),
                          QStringLiteral("the folder above was moved while it was compared"));
    }

    // Two links lead the same way when their targets are the same bytes,
    // whatever their own times (as `rsync -a` sees them); else their times
    // say which is newer, and equal times differ.
    RowStatus linkPair(const FolderRows& rows, qsizetype r) const {
        const auto a = m_sideA.linkTarget(m_a->place(),
                                          rows.source.fileName(rows.entry(r, Side::Source)).data());
        const auto b = m_sideB.linkTarget(
            m_b->place(), rows.destination.fileName(rows.entry(r, Side::Destination)).data());
        if (!a || !b)
            return RowStatus::Unreadable;
        if (*a == *b)
            return RowStatus::Same;
        const RowStatus byTime = rows.status(r);
        return byTime == RowStatus::Same || byTime == RowStatus::SameContents ? RowStatus::Differs
                                                                              : byTime;
    }

    static RowStatus linkedFolders(const FolderRows& rows, qint32 i, qint32 j,
                                   const TimeRule& rule) {
        if (!rows.source.isLink(i) || !rows.destination.isLink(j))
            return RowStatus::Differs;
        FileStat s = rows.source.stat(i), d = rows.destination.stat(j);
        s.folder = d.folder = false;
        return rowStatus(&s, &d, false, rule);
    }

    const std::atomic<bool>& cancelFlag() const {
        static const std::atomic<bool> never{false};
        return m_options.cancel ? *m_options.cancel : never;
    }

    // Starts at the two tops: their paths, each ending with "/".
    void atTops(const QByteArray& sourceFolder, const QByteArray& destinationFolder) {
        m_pathA = folderPath(sourceFolder);
        m_pathB = folderPath(destinationFolder);
        m_topA = m_pathA.size();
        m_topB = m_pathB.size();
    }

    // Lets the walk start the threads that read the files of the levels
    // told while it goes on, and that list Destination's folders beside
    // Source's, where the rows told take late statuses and both trees lie
    // here: once it has met enough rows for them to gain more than their
    // handing over costs (a small tree is walked on this thread alone).
    void readAlongside() {
        m_mayReadAlongside = m_out && m_out->takesLateStatuses() &&
                             m_sideA.localFolder(m_a->place()) && m_sideB.localFolder(m_b->place());
    }
    ReadingQueue* givenLister() {
        if (m_givenLister < 0)
            m_givenLister = m_options.lister && m_sideA.localFolder(m_a->place()) &&
                            m_sideB.localFolder(m_b->place());
        return m_givenLister ? m_options.lister : nullptr;
    }
    void rowsMet(qsizetype rows) {
        constexpr qsizetype alone = 4096;
        m_rowsMet += rows;
        if (!m_mayReadAlongside || m_lister || m_rowsMet < alone)
            return;
        m_lister = std::make_unique<ReadingQueue>();
        if (m_options.contents)
            m_queue = std::make_unique<ReadingQueue>(plan().readers, turns());
    }

    FolderSide &m_sideA, &m_sideB;
    const std::unique_ptr<SideWalk> m_a, m_b; // the folders the walk is in, on each side
    // Their paths, each ending with "/", and the path below the two given.
    QByteArray m_pathA, m_pathB, m_rel;

private:
    const TreeOptions& m_options;
    TreeRows* m_out;
    FilterSettings m_filters;
    ScanOptions m_scan;
    std::optional<ReadingPlan> m_plan;
    DiskTurns m_turns;
    std::unique_ptr<ReadingPool> m_readers;
    qsizetype m_topA = 0, m_topB = 0; // the length of each top folder's path
    // Last: its thread ends, and its jobs are done, before the rest goes.
    std::unique_ptr<ReadingQueue> m_queue, m_lister;
    size_t m_unsettled = 0;         // levels whose pairs are given to it and not yet settled
    std::shared_ptr<Ahead> m_ahead; // the level's Destination folders listed ahead
    bool m_mayReadAlongside = false;
    int m_givenLister = -1; // options.lister usable: unknown yet
    qsizetype m_rowsMet = 0;
};

} // namespace

bool walkedBelow(const FolderRows& rows, qsizetype r) {
    const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
    const bool folder =
        (i >= 0 && rows.source.isFolder(i)) || (j >= 0 && rows.destination.isFolder(j));
    return folder && !TreeWalker::linked(rows, r);
}

void readContentsAhead(const FolderRows& rows, const SideFolder& source,
                       const SideFolder& destination, const std::atomic<bool>* cancel) {
    if (source.side.localFolder(source.place) && destination.side.localFolder(destination.place))
        return;
    std::vector<QByteArray> a, b;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        if (!decidedByContents(rows, r))
            continue;
        a.push_back(rows.source.fileName(rows.entry(r, Side::Source)).toByteArray());
        b.push_back(rows.destination.fileName(rows.entry(r, Side::Destination)).toByteArray());
    }
    if (a.empty())
        return;
    source.side.readAhead(source.place, a, cancel);
    destination.side.readAhead(destination.place, b, cancel);
}

RowStatus compareTrees(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
                       const TreeOptions& options) {
    LocalSide source, destination;
    return compareTrees(source, sourceFolder, destination, destinationFolder, options);
}

RowStatus compareTrees(FolderSide& source, const QByteArray& sourceFolder, FolderSide& destination,
                       const QByteArray& destinationFolder, const TreeOptions& options) {
    // The two given are opened without following a link.
    TreeWalker walker(source, destination, options, nullptr);
    const bool openA = walker.m_a->openTop(sourceFolder, false);
    const int errA = errno;
    const bool openB = walker.m_b->openTop(destinationFolder, false);
    const int errB = errno;
    if (!openA || !openB) {
        const QByteArray a = folderPath(sourceFolder).chopped(1),
                         b = folderPath(destinationFolder).chopped(1);
        struct stat sa {
        }, sb{};
        if (source.stat(source.root(), a.constData(), sa) &&
            destination.stat(destination.root(), b.constData(), sb) && S_ISLNK(sa.st_mode) &&
            S_ISLNK(sb.st_mode)) {
            const FileStat s{qint64(sa.st_size), sa.st_mtime, false, false};
            const FileStat d{qint64(sb.st_size), sb.st_mtime, false, false};
            return rowStatus(&s, &d, false, options.filters.times);
        }
        const int err = !openA ? errA : errB;
        return err == ENOENT || err == ENOTDIR || err == ELOOP ? RowStatus::Differs
                                                               : RowStatus::Unreadable;
    }
    try {
        return onDeepStack([&] {
            walker.atTops(sourceFolder, destinationFolder);
            FolderRows rows;
            return walker.list(rows, true, true, false) ? *walker.compare(rows)
                                                        : RowStatus::Unreadable;
        });
    } catch (const FsError&) {
        return RowStatus::Unreadable; // moved meanwhile, or out of descriptors: nothing to tell
    }
}

void walkTrees(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
               const TreeOptions& options, TreeRows& out) {
    LocalSide source, destination;
    walkTrees(source, sourceFolder, destination, destinationFolder, options, out);
}

void walkTrees(FolderSide& source, const QByteArray& sourceFolder, FolderSide& destination,
               const QByteArray& destinationFolder, const TreeOptions& options, TreeRows& out) {
    TreeWalker walker(source, destination, options, &out);
    if (!walker.m_a->openTop(sourceFolder, true))
        throw FsError::fromErrno(errno, nameText(sourceFolder));
    if (!walker.m_b->openTop(destinationFolder, true))
        throw FsError::fromErrno(errno, nameText(destinationFolder));
    if (options.entered)
        options.entered({}, &walker.m_a->id(), &walker.m_b->id());
    walker.readAlongside();
    onDeepStack([&] {
        walker.atTops(sourceFolder, destinationFolder);
        FolderRows rows;
        walker.list(rows, true, true, true);
        return *walker.compare(rows);
    });
}
