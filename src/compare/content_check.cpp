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
        const ssize_t n = ::read(fd, buffer + got, size - got);
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
// digests when given.
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
        if (hashA) {
            XXH3_128bits_update(hashA, a, size_t(na));
            XXH3_128bits_update(hashB, b, size_t(nb));
        }
        const auto common = static_cast<size_t>(std::min(na, nb));
        const auto at = std::mismatch(a, a + common, b).first - a;
        if (na != nb || size_t(at) != common) {
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
    digests[0] = cache->find(contentKey(sa));
    digests[1] = cache->find(contentKey(sb));
    if (digests[0] && digests[1])
        return *digests[0] == *digests[1] ? ContentVerdict::Equal : ContentVerdict::Differ;
    return std::nullopt;
}

} // namespace

ContentVerdict compareStatted(int fdA, const struct stat& sa, int fdB, const struct stat& sb,
                              const std::atomic<bool>& cancel, DigestCache* cache,
                              std::atomic<qsizetype>* reads) {
    cache = trusted(cache, sa, fdA, sb, fdB);
    std::optional<ContentDigest> digests[2];
    if (const std::optional<ContentVerdict> known = knownVerdict(sa, sb, cache, digests))
        return *known;
    const ContentKey ia = contentKey(sa), ib = contentKey(sb);
    const std::optional<ContentDigest>&da = digests[0], &db = digests[1];
    if (cancel.load(std::memory_order_relaxed))
        return ContentVerdict::Cancelled;
    const std::int64_t readAt = realTimeNs();
    char* const a = buffers();
    char* const b = a + blockSize;
    auto store = [&](const ContentKey& id, const ContentDigest& d) {
        if (cache)
            cache->insert(id, d, readAt);
    };
    // One side known: the other is read whole for its digest.
    if (da || db) {
        if (reads)
            ++*reads;
        HashState h;
        if (!finishDigest(da ? fdB : fdA, h.state, a, cancel))
            return cancel.load() ? ContentVerdict::Cancelled : ContentVerdict::Unreadable;
        const ContentDigest read = digestOf(XXH3_128bits_digest(h.state));
        store(da ? ib : ia, read);
        return read == (da ? *da : *db) ? ContentVerdict::Equal : ContentVerdict::Differ;
    }
    if (reads)
        *reads += 2;
    if (sa.st_size <= qint64(blockSize)) {
        // A small pair: the bytes the stats tell of, one read each, no state
        // to set up. A file changed meanwhile has a new change time, and its
        // digest is not kept for the old one (DigestCache's settling time).
        const size_t size = size_t(sa.st_size);
        const ssize_t na = readBlock(fdA, a, size), nb = readBlock(fdB, b, size);
        if (na < 0 || nb < 0)
            return ContentVerdict::Unreadable;
        if (na != nb || size_t(na) != size) // cut short since its stat
            return ContentVerdict::Differ;
        if (cache) {
            store(ia, digestOf(XXH3_128bits(a, size_t(na))));
            store(ib, digestOf(XXH3_128bits(b, size_t(nb))));
        }
        return std::memcmp(a, b, size_t(na)) == 0 ? ContentVerdict::Equal : ContentVerdict::Differ;
    }
    HashState ha, hb;
    const ContentVerdict v = sideBySide(fdA, fdB, cancel, nullptr, cache ? ha.state : nullptr,
                                        cache ? hb.state : nullptr);
    if (!cache)
        return v;
    if (v == ContentVerdict::Differ && sa.st_size <= digestWhenDiffering &&
        finishDigest(fdA, ha.state, a, cancel) && finishDigest(fdB, hb.state, b, cancel)) {
        store(ia, digestOf(XXH3_128bits_digest(ha.state)));
        store(ib, digestOf(XXH3_128bits_digest(hb.state)));
    } else if (v == ContentVerdict::Equal) {
        const ContentDigest digest = digestOf(XXH3_128bits_digest(ha.state));
        store(ia, digest);
        store(ib, digest);
    }
    return v;
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
                                DigestCache* cache, std::atomic<qsizetype>* reads) {
    const std::optional<int> dirA = a.side.localFolder(a.place), dirB = b.side.localFolder(b.place);
    if (dirA && dirB)
        return compareFilesAt(*dirA, nameA, *dirB, nameB, cancel, cache, reads);
    struct stat sa {
    }, sb{};
    if (!a.side.stat(a.place, nameA, sa) || !b.side.stat(b.place, nameB, sb) ||
        !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode))
        return ContentVerdict::Unreadable;
    if (sa.st_size != sb.st_size)
        return ContentVerdict::Differ;
    const std::optional<QByteArray> da = a.side.digest(a.place, nameA, &cancel);
    const std::optional<QByteArray> db = da ? b.side.digest(b.place, nameB, &cancel) : da;
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

ContentVerdict checkRowContents(FolderRows& rows, qsizetype row, int dirA, int dirB,
                                const TimeRule& rule, const std::atomic<bool>& cancel,
                                DigestCache* cache, std::atomic<qsizetype>* reads) {
    LocalSide local;
    return checkRowContents(rows, row, {local, SidePlace::descriptor(dirA)},
                            {local, SidePlace::descriptor(dirB)}, rule, cancel, cache, reads);
}

ContentVerdict checkRowContents(FolderRows& rows, qsizetype row, const SideFolder& a,
                                const SideFolder& b, const TimeRule& rule,
                                const std::atomic<bool>& cancel, DigestCache* cache,
                                std::atomic<qsizetype>* reads) {
    const qint32 i = rows.entry(row, Side::Source), j = rows.entry(row, Side::Destination);
    const ContentVerdict v =
        compareSideFiles(a, rows.source.fileName(i).data(), b, rows.destination.fileName(j).data(),
                         cancel, cache, reads);
    if (v == ContentVerdict::Equal || v == ContentVerdict::Differ)
        rows.setStatus(row, contentStatus(rows.source.stat(i), rows.destination.stat(j),
                                          v == ContentVerdict::Equal, rule));
    return v;
}

ContentVerdict ContentChecker::check(const Pair& pair) {
    if (pair.folders)
        return checkTrees(pair);
    const SideFolder a{*m_source, m_source->root()}, b{*m_destination, m_destination->root()};
    const std::optional<int> dirA = a.side.localFolder(a.place), dirB = b.side.localFolder(b.place);
    if (!dirA || !dirB)
        return compareSideFiles(a, pair.source.constData(), b, pair.destination.constData(),
                                m_cancel, m_cache.get(), &m_reads);
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
