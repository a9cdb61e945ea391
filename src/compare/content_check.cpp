#include "compare/content_check.h"

#include "compare/digest_cache.h"
#include "compare/tree_compare.h"
#include "fs/file_system.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// The widest vector unit the processor has (AVX2, AVX-512) rather than the
// library's build-time SSE2: the same digests, in about half the time.
#include <xxh_x86dispatch.h>
#endif

namespace {

constexpr size_t blockSize = 256 * 1024;
// A pair that differs is still read whole, for both digests, up to this size.
constexpr qint64 digestWhenDiffering = 1024 * 1024;

// Two blocks per thread, allocated once and never cleared: filling them with
// zeros for every pair cost more than reading a small file.
char* buffers() {
    thread_local const std::unique_ptr<char[]> both =
        std::make_unique_for_overwrite<char[]>(2 * blockSize);
    return both.get();
}

} // namespace

ssize_t readBlock(int fd, char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = readSome(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

namespace {

// A regular file opened for reading, and its stat; -1 for anything else. A
// FIFO or a device is never opened for good: reading one could wait forever.
int openRegular(int dirFd, const char* name, int flags, struct stat& st) {
    UniqueFd fd{::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags)};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return std::exchange(fd.fd, -1);
}

ContentDigest digestOf(const XXH128_hash_t& h) {
    return {h.low64, h.high64};
}

// Reads the rest of a file into a digest under way; false on an error or a cancel.
bool finishDigest(int fd, XXH3_state_t* state, char* buffer, const std::atomic<bool>& cancel) {
    for (;;) {
        if (cancel.load(std::memory_order_relaxed))
            return false;
        const ssize_t n = readBlock(fd, buffer, blockSize);
        if (n <= 0)
            return n == 0;
        XXH3_128bits_update(state, buffer, size_t(n));
    }
}

struct HashState {
    XXH3_state_t* state = XXH3_createState();
    HashState() { XXH3_128bits_reset(state); }
    ~HashState() { XXH3_freeState(state); }
    HashState(const HashState&) = delete;
    HashState& operator=(const HashState&) = delete;
};

// Reads two files side by side to their first difference, feeding both
// digests when given. Up to there the bytes are the same: B's digest is
// A's, taken over at the block that differs.
ContentVerdict sideBySide(int fdA, int fdB, const std::atomic<bool>& cancel,
                          qint64* firstDifference, XXH3_state_t* hashA, XXH3_state_t* hashB) {
    ::posix_fadvise(fdA, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(fdB, 0, 0, POSIX_FADV_SEQUENTIAL);
    char* const a = buffers();
    char* const b = a + blockSize;
    for (qint64 offset = 0;; offset += blockSize) {
        if (cancel.load(std::memory_order_relaxed))
            return ContentVerdict::Cancelled;
        const ssize_t na = readBlock(fdA, a, blockSize);
        const ssize_t nb = readBlock(fdB, b, blockSize);
        if (na < 0 || nb < 0)
            return ContentVerdict::Unreadable;
        const auto common = static_cast<size_t>(std::min(na, nb));
        const auto at = std::mismatch(a, a + common, b).first - a;
        const bool differ = na != nb || size_t(at) != common;
        if (hashA && differ) {
            XXH3_copyState(hashB, hashA);
            XXH3_128bits_update(hashB, b, size_t(nb));
        }
        if (hashA)
            XXH3_128bits_update(hashA, a, size_t(na));
        if (differ) {
            if (firstDifference)
                *firstDifference = offset + at;
            return ContentVerdict::Differ;
        }
        if (na == 0)
            return ContentVerdict::Equal;
    }
}

} // namespace

ContentVerdict compareOpenFiles(int fdA, int fdB, const std::atomic<bool>& cancel,
                                qint64* firstDifference) {
    return sideBySide(fdA, fdB, cancel, firstDifference, nullptr, nullptr);
}

namespace {

// The cache for a pair whose change times can be trusted (each `fd` open on
// its file's file system), else none.
DigestCache* trusted(DigestCache* cache, const struct stat& sa, int fdA, const struct stat& sb,
                     int fdB) {
    return cache && cache->trusts(sa.st_dev, fdA) && cache->trusts(sb.st_dev, fdB) ? cache
                                                                                   : nullptr;
}

// The verdict on two regular files that their stats, or the digests kept,
// give without reading.
std::optional<ContentVerdict> knownVerdict(const struct stat& sa, const struct stat& sb,
                                           DigestCache* cache,
                                           std::optional<ContentDigest>* digests) {
    if (sa.st_size != sb.st_size)
        return ContentVerdict::Differ;
    // One file seen from both sides, or nothing to read.
    if ((sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) || sa.st_size == 0)
        return ContentVerdict::Equal;
    if (!cache)
        return std::nullopt;
    // Each side's files with a finger of their own: a tree's in order.
    digests[0] = cache->find(contentKey(sa), 0);
    digests[1] = cache->find(contentKey(sb), 1);
    if (digests[0] && digests[1])
        return *digests[0] == *digests[1] ? ContentVerdict::Equal : ContentVerdict::Differ;
    return std::nullopt;
}

} // namespace

namespace {

// What reading a pair gave, for the thread that keeps the digests.
struct PairRead {
    ContentVerdict verdict = ContentVerdict::Unreadable;
    int error = 0; // the errno of a file that could not be read
    int filesRead = 0;
    std::int64_t readAt = 0;
    std::optional<ContentDigest> digests[2]; // to keep, each for its file
};

// Reads a pair of regular files of `size` bytes open at `fd` (-1 for one
// whose digest is `known`), side by side where neither is known, to the
// first difference unless the pair is small; digests only with `keep`.
PairRead readPair(const int fd[2], qint64 size, const std::optional<ContentDigest> known[2],
                  bool keep, const std::atomic<bool>& cancel) {
    PairRead r;
    if (cancel.load(std::memory_order_relaxed)) {
        r.verdict = ContentVerdict::Cancelled;
        return r;
    }
    r.readAt = realTimeNs();
    char* const a = buffers();
    char* const b = a + blockSize;
    auto failed = [&] {
        r.error = errno;
        r.verdict = cancel.load() ? ContentVerdict::Cancelled : ContentVerdict::Unreadable;
        return r;
    };
    // One side known: the other is read whole for its digest.
    if (known[0] || known[1]) {
        const int side = known[0] ? 1 : 0;
        r.filesRead = 1;
        HashState h;
        if (!finishDigest(fd[side], h.state, a, cancel))
            return failed();
        r.digests[side] = digestOf(XXH3_128bits_digest(h.state));
        r.verdict =
            r.digests[side] == known[1 - side] ? ContentVerdict::Equal : ContentVerdict::Differ;
        return r;
    }
    r.filesRead = 2;
    if (size <= qint64(blockSize)) {
        // A small pair: the bytes the stats tell of, one read each, no state
        // to set up. A file changed meanwhile has a new change time, and its
        // digest is not kept for the old one (DigestCache's settling time).
        const size_t want = size_t(size);
        const ssize_t na = readBlock(fd[0], a, want), nb = readBlock(fd[1], b, want);
        if (na < 0 || nb < 0)
            return failed();
        r.verdict = ContentVerdict::Differ;
        if (na != nb || size_t(na) != want) // cut short since its stat
            return r;
        if (std::memcmp(a, b, want) == 0)
            r.verdict = ContentVerdict::Equal;
        // Equal bytes have one digest.
        if (keep) {
            r.digests[0] = digestOf(XXH3_128bits(a, want));
            r.digests[1] =
                r.verdict == ContentVerdict::Equal ? r.digests[0] : digestOf(XXH3_128bits(b, want));
        }
        return r;
    }
    HashState ha, hb;
    r.verdict = sideBySide(fd[0], fd[1], cancel, nullptr, keep ? ha.state : nullptr,
                           keep ? hb.state : nullptr);
    r.error = r.verdict == ContentVerdict::Unreadable ? errno : 0;
    if (!keep)
        return r;
    if (r.verdict == ContentVerdict::Differ && size <= digestWhenDiffering &&
        finishDigest(fd[0], ha.state, a, cancel) && finishDigest(fd[1], hb.state, b, cancel)) {
        r.digests[0] = digestOf(XXH3_128bits_digest(ha.state));
        r.digests[1] = digestOf(XXH3_128bits_digest(hb.state));
    } else if (r.verdict == ContentVerdict::Equal) {
        r.digests[0] = r.digests[1] = digestOf(XXH3_128bits_digest(ha.state));
    }
    return r;
}

// Keeps what a read gave in the cache it was read for, and counts the files read.
void keep(const PairRead& r, DigestCache* cache, const ContentKey seen[2],
          std::atomic<qsizetype>* reads) {
    if (reads)
        *reads += r.filesRead;
    for (const int side : {0, 1}) {
        if (cache && r.digests[side])
            cache->insert(seen[side], *r.digests[side], r.readAt, side);
    }
}

} // namespace

ContentVerdict compareStatted(int fdA, const struct stat& sa, int fdB, const struct stat& sb,
                              const std::atomic<bool>& cancel, DigestCache* cache,
                              std::atomic<qsizetype>* reads) {
    cache = trusted(cache, sa, fdA, sb, fdB);
    std::optional<ContentDigest> digests[2];
    if (const std::optional<ContentVerdict> known = knownVerdict(sa, sb, cache, digests))
        return *known;
    const int fd[2] = {fdA, fdB};
    const PairRead r = readPair(fd, sa.st_size, digests, cache != nullptr, cancel);
    const ContentKey seen[2] = {contentKey(sa), contentKey(sb)};
    keep(r, cache, seen, reads);
    return r.verdict;
}

ContentChecker::ContentChecker(std::unique_ptr<DigestCache> cache)
    : ContentChecker(std::move(cache), nullptr, nullptr) {}

ContentChecker::ContentChecker(std::unique_ptr<DigestCache> cache,
                               std::unique_ptr<FolderSide> source,
                               std::unique_ptr<FolderSide> destination)
    : m_cache(cache ? std::move(cache) : std::make_unique<DigestCache>()),
      m_source(source ? std::move(source) : std::make_unique<LocalSide>()),
      m_destination(destination ? std::move(destination) : std::make_unique<LocalSide>()) {}

ContentChecker::~ContentChecker() {
    cancel();
}

void ContentChecker::cancel() {
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
    m_cancel = false;
}

void ContentChecker::start(std::vector<Pair> pairs, Report report,
                           const FilterSettings& treeFilters) {
    cancel();
    m_treeFilters = treeFilters;
    m_thread = std::thread([this, pairs = std::move(pairs), report = std::move(report)] {
        qsizetype done = 0;
        for (const Pair& pair : pairs) {
            const ContentVerdict verdict = check(pair);
            if (verdict == ContentVerdict::Cancelled)
                break;
            report(pair.row, verdict, ++done);
        }
        // What was read so far is kept, a cancelled run's too.
        m_cache->save();
    });
}

std::optional<bool> knownSameContents(const QByteArray& pathA, const QByteArray& pathB) {
    // Each file from its folder's descriptor, a link at its name not followed.
    struct stat st[2]{};
    UniqueFd folders[2];
    for (const int side : {0, 1}) {
        const FileLocation at = FileLocation::of(side ? pathB : pathA);
        folders[side].fd = ::open(at.folder.isEmpty() ? "." : at.folder.constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folders[side].fd < 0 ||
            ::fstatat(folders[side].fd, at.name.constData(), &st[side], AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st[side].st_mode))
            return std::nullopt;
    }
    DigestCache cache;
    std::optional<ContentDigest> digests[2];
    const std::optional<ContentVerdict> known = knownVerdict(
        st[0], st[1], trusted(&cache, st[0], folders[0].fd, st[1], folders[1].fd), digests);
    return known ? std::optional(*known == ContentVerdict::Equal) : std::nullopt;
}

ContentVerdict compareFilesAt(int dirA, const char* nameA, int dirB, const char* nameB,
                              const std::atomic<bool>& cancel, DigestCache* cache,
                              std::atomic<qsizetype>* reads) {
    // The stats first: a pair known by its digests is not even opened.
    struct stat sa {
    }, sb{};
    if (::fstatat(dirA, nameA, &sa, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstatat(dirB, nameB, &sb, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(sa.st_mode) ||
        !S_ISREG(sb.st_mode))
        return ContentVerdict::Unreadable;
    std::optional<ContentDigest> digests[2];
    if (const std::optional<ContentVerdict> known =
            knownVerdict(sa, sb, trusted(cache, sa, dirA, sb, dirB), digests))
        return *known;
    const UniqueFd a{openRegular(dirA, nameA, O_NOFOLLOW, sa)};
    const UniqueFd b{openRegular(dirB, nameB, O_NOFOLLOW, sb)};
    if (a.fd < 0 || b.fd < 0)
        return ContentVerdict::Unreadable;
    return compareStatted(a.fd, sa, b.fd, sb, cancel, cache, reads);
}

ContentVerdict compareSideFiles(const SideFolder& a, const char* nameA, const SideFolder& b,
                                const char* nameB, const std::atomic<bool>& cancel,
                                DigestCache* cache, std::atomic<qsizetype>* reads,
                                const bool (&follow)[2]) {
    const std::optional<int> dirA = a.side.localFolder(a.place), dirB = b.side.localFolder(b.place);
    if (dirA && dirB)
        return compareFilesAt(*dirA, nameA, *dirB, nameB, cancel, cache, reads);
    struct stat sa {
    }, sb{};
    if (!a.side.stat(a.place, nameA, sa, follow[0]) ||
        !b.side.stat(b.place, nameB, sb, follow[1]) || !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode))
        return ContentVerdict::Unreadable;
    if (sa.st_size != sb.st_size)
        return ContentVerdict::Differ;
    const std::optional<QByteArray> da = a.side.digest(a.place, nameA, &cancel, follow[0]);
    const std::optional<QByteArray> db =
        da ? b.side.digest(b.place, nameB, &cancel, follow[1]) : da;
    if (cancel.load(std::memory_order_relaxed))
        return ContentVerdict::Cancelled;
    if (!da || !db)
        return ContentVerdict::Unreadable;
    if (reads)
        *reads += 2;
    return *da == *db ? ContentVerdict::Equal : ContentVerdict::Differ;
}

bool decidedByContents(const FolderRows& rows, qsizetype row) {
    const qint32 i = rows.entry(row, Side::Source), j = rows.entry(row, Side::Destination);
    const RowStatus s = rows.status(row);
    return i >= 0 && j >= 0 && !rows.source.isFolder(i) && !rows.source.isLink(i) &&
           !rows.destination.isLink(j) &&
           (s == RowStatus::Same || s == RowStatus::SourceNewer ||
            s == RowStatus::DestinationNewer) &&
           rows.source.stat(i).size == rows.destination.stat(j).size;
}

namespace {

// A listing's identity of a file as its stat, for the cache's key and the checks.
struct stat statOf(const FileIdentity& id) {
    struct stat st {};
    st.st_mode = S_IFREG;
    st.st_dev = id.device;
    st.st_ino = id.inode;
    st.st_size = id.size;
    st.st_mtim = id.modified;
    st.st_ctim = id.changed;
    return st;
}

// A pair of files as their listings saw them, whose contents are to be read.
struct ListedPair {
    size_t at = 0;        // in the rows asked about
    ContentKey seen[2]{}; // what the listings saw (their whole stats would double a pair)
    std::optional<ContentDigest> known[2];
    bool followed[2]{};           // listed by what a link there leads to
    DigestCache* cache = nullptr; // trusted for the pair, or null
    bool checked = false;
    PairRead read;
};

// Opens the files of a pair not known by their digests, each at its folder,
// through a link only where its listing followed one, and reads them. A
// file that is no longer the one its listing saw (another inode, or another
// change time: written since) makes the pair differ unread: what was listed
// is not what is there.
PairRead readListed(const int folder[2], const char* const name[2], ListedPair& p,
                    const std::atomic<bool>& cancel) {
    PairRead r;
    UniqueFd files[2];
    int fd[2] = {-1, -1};
    for (const int side : {0, 1}) {
        if (p.known[side])
            continue;
        struct stat now {};
        files[side].fd = ::openat(folder[side], name[side],
                                  O_RDONLY | (p.followed[side] ? 0 : O_NOFOLLOW) | O_NONBLOCK |
                                      O_NOCTTY | O_CLOEXEC);
        if (files[side].fd < 0 || ::fstat(files[side].fd, &now) != 0) {
            r.error = errno;
            return r;
        }
        if (!(contentKey(now) == p.seen[side])) {
            r.verdict = ContentVerdict::Differ;
            return r;
        }
        if (!S_ISREG(now.st_mode))
            return r;
        fd[side] = files[side].fd;
    }
    return readPair(fd, p.seen[0].size, p.known, p.cache != nullptr, cancel);
}

} // namespace

struct LevelCheck::Pairs {
    const FolderRows& rows;
    std::vector<qsizetype> which;
    std::optional<int> dirA, dirB;
    const std::atomic<bool>& cancel;
    std::atomic<qsizetype>* reads;
    bool toFirstDifference;
    std::vector<RowVerdict> out;
    std::vector<ListedPair> pending;
    std::atomic<bool> differs{false};

    std::pair<const char*, const char*> names(qsizetype row) const {
        return {rows.source.fileName(rows.entry(row, Side::Source)).data(),
                rows.destination.fileName(rows.entry(row, Side::Destination)).data()};
    }
};

LevelCheck::LevelCheck(const FolderRows& rows, std::vector<qsizetype> which, const SideFolder& a,
                       const SideFolder& b, const std::atomic<bool>& cancel, DigestCache* cache,
                       std::atomic<qsizetype>* reads, bool toFirstDifference)
    : m(new Pairs{rows,
                  std::move(which),
                  a.side.localFolder(a.place),
                  b.side.localFolder(b.place),
                  cancel,
                  reads,
                  toFirstDifference,
                  {},
                  {}}) {
    m->out.resize(m->which.size());
    // The pairs are large: grown one by one they would be copied over and over.
    m->pending.reserve(m->which.size());
    // What the listings and the cache tell first, on this thread, which
    // alone uses the cache; the rest is left to the readers.
    for (size_t k = 0; k < m->which.size(); ++k) {
        const qsizetype row = m->which[k];
        const FileStat sa = rows.source.stat(rows.entry(row, Side::Source));
        const FileStat sb = rows.destination.stat(rows.entry(row, Side::Destination));
        if (!m->dirA || !m->dirB || !sa.identity || !sb.identity) {
            const auto [nameA, nameB] = m->names(row);
            errno = 0;
            const bool follow[2] = {
                rows.source.isFollowed(rows.entry(row, Side::Source)),
                rows.destination.isFollowed(rows.entry(row, Side::Destination))};
            m->out[k] = {compareSideFiles(a, nameA, b, nameB, cancel, cache, reads, follow), errno,
                         true};
            if (toFirstDifference && m->out[k].verdict == ContentVerdict::Differ)
                break;
            continue;
        }
        ListedPair p;
        p.at = k;
        p.followed[0] = rows.source.isFollowed(rows.entry(row, Side::Source));
        p.followed[1] = rows.destination.isFollowed(rows.entry(row, Side::Destination));
        const struct stat seenA = statOf(*sa.identity), seenB = statOf(*sb.identity);
        p.seen[0] = contentKey(seenA);
        p.seen[1] = contentKey(seenB);
        p.cache = trusted(cache, seenA, *m->dirA, seenB, *m->dirB);
        if (const std::optional<ContentVerdict> known =
                knownVerdict(seenA, seenB, p.cache, p.known)) {
            m->out[k] = {*known, 0, true};
            if (*known == ContentVerdict::Differ)
                m->differs = true;
        } else {
            m->pending.push_back(std::move(p));
        }
    }
}

LevelCheck::~LevelCheck() = default;

const std::vector<qsizetype>& LevelCheck::which() const {
    return m->which;
}

size_t LevelCheck::pairsToRead() const {
    return m->pending.size();
}

void LevelCheck::read(ReadingPool* pool, int folderA, int folderB) {
    ReadingPool alone;
    (pool ? *pool : alone).forEach(m->pending.size(), [&](size_t n) {
        readPairs(n, n + 1, folderA, folderB);
    });
}

void LevelCheck::readPairs(size_t from, size_t to, int folderA, int folderB) {
    const int folder[2] = {folderA < 0 ? m->dirA.value_or(-1) : folderA,
                           folderB < 0 ? m->dirB.value_or(-1) : folderB};
    for (size_t n = from; n < to; ++n) {
        if (m->toFirstDifference && m->differs.load(std::memory_order_relaxed))
            return;
        ListedPair& p = m->pending[n];
        const auto [nameA, nameB] = m->names(m->which[p.at]);
        const char* const name[2] = {nameA, nameB};
        p.read = readListed(folder, name, p, m->cancel);
        p.checked = true;
        if (p.read.verdict == ContentVerdict::Differ)
            m->differs = true;
    }
}

std::vector<RowVerdict> LevelCheck::finish() {
    for (const ListedPair& p : m->pending) {
        if (!p.checked)
            continue;
        keep(p.read, p.cache, p.seen, m->reads);
        m->out[p.at] = {p.read.verdict, p.read.error, true};
    }
    m->pending.clear();
    return std::move(m->out);
}

void setContentStatuses(FolderRows& rows, const std::vector<qsizetype>& which,
                        const std::vector<RowVerdict>& out, const TimeRule& rule) {
    for (size_t k = 0; k < which.size(); ++k) {
        const ContentVerdict v = out[k].verdict;
        if (out[k].checked && (v == ContentVerdict::Equal || v == ContentVerdict::Differ)) {
            const qsizetype row = which[k];
            rows.setStatus(row,
                           contentStatus(rows.source.stat(rows.entry(row, Side::Source)),
                                         rows.destination.stat(rows.entry(row, Side::Destination)),
                                         v == ContentVerdict::Equal, rule));
        }
    }
}

std::vector<RowVerdict> checkRowsContents(FolderRows& rows, const std::vector<qsizetype>& which,
                                          const SideFolder& a, const SideFolder& b,
                                          const TimeRule& rule, const std::atomic<bool>& cancel,
                                          DigestCache* cache, std::atomic<qsizetype>* reads,
                                          ReadingPool* pool, bool toFirstDifference) {
    LevelCheck check(rows, which, a, b, cancel, cache, reads, toFirstDifference);
    check.read(pool);
    std::vector<RowVerdict> out = check.finish();
    setContentStatuses(rows, which, out, rule);
    return out;
}

ContentVerdict ContentChecker::check(const Pair& pair) {
    if (pair.folders)
        return checkTrees(pair);
    const SideFolder a{*m_source, m_source->root()}, b{*m_destination, m_destination->root()};
    const std::optional<int> dirA = a.side.localFolder(a.place), dirB = b.side.localFolder(b.place);
    if (!dirA || !dirB)
        return compareSideFiles(a, pair.source.constData(), b, pair.destination.constData(),
                                m_cancel, m_cache.get(), &m_reads, {true, true});
    // A pane lists a link by what it leads to: so is it compared.
    struct stat sa {
    }, sb{};
    const UniqueFd fa{openRegular(*dirA, pair.source.constData(), 0, sa)};
    const UniqueFd fb{openRegular(*dirB, pair.destination.constData(), 0, sb)};
    if (fa.fd < 0 || fb.fd < 0)
        return ContentVerdict::Unreadable;
    return compareStatted(fa.fd, sa, fb.fd, sb, m_cancel, m_cache.get(), &m_reads);
}

std::optional<RowStatus> treeStatus(ContentVerdict verdict) {
    switch (verdict) {
    case ContentVerdict::Equal:
        return RowStatus::Same;
    case ContentVerdict::EqualOtherTimes:
        return RowStatus::SameContents;
    case ContentVerdict::Differ:
        return RowStatus::Differs;
    case ContentVerdict::Unreadable:
        return RowStatus::Unreadable;
    case ContentVerdict::Cancelled:
        break;
    }
    return std::nullopt;
}

// The inverse of treeStatus(), for the one report callback files and trees share.
ContentVerdict ContentChecker::checkTrees(const Pair& pair) {
    TreeOptions options;
    options.filters = m_treeFilters;
    options.contents = pair.treeContents;
    // The tree of a folder row lies below the pane's folder, to which the
    // exclusions' paths are relative.
    const QByteArray top = pair.source.endsWith('/') ? pair.source.chopped(1) : pair.source;
    options.relativeTop = top.mid(top.lastIndexOf('/') + 1) + '/';
    options.cancel = &m_cancel;
    options.foldersWalked = &m_foldersWalked;
    options.cache = m_cache.get();
    options.reads = &m_reads;
    if (m_source->localFolder(m_source->root()) &&
        m_destination->localFolder(m_destination->root())) {
        if (!m_lister)
            m_lister = std::make_unique<ReadingQueue>();
        options.lister = m_lister.get();
    }
    try {
        switch (compareTrees(*m_source, pair.source, *m_destination, pair.destination, options)) {
        case RowStatus::Same:
            return ContentVerdict::Equal;
        case RowStatus::SameContents:
            return ContentVerdict::EqualOtherTimes;
        case RowStatus::Unreadable:
            return ContentVerdict::Unreadable;
        default:
            return ContentVerdict::Differ;
        }
    } catch (const ScanCancelled&) {
        return ContentVerdict::Cancelled;
    }
}
