#include "core/content_check.h"

#include "core/tree_compare.h"
#include "core/unique_fd.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t blockSize = 256 * 1024;

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

void appendIdentity(QByteArray& key, const struct stat& st) {
    const qint64 fields[] = {qint64(st.st_dev),          qint64(st.st_ino),
                             qint64(st.st_size),         qint64(st.st_mtim.tv_sec),
                             qint64(st.st_mtim.tv_nsec), qint64(st.st_ctim.tv_sec),
                             qint64(st.st_ctim.tv_nsec)};
    key.append(reinterpret_cast<const char*>(fields), sizeof fields);
}

// A regular file opened for reading, and its stat; -1 for anything else. A
// FIFO or a device is never opened for good: reading one could wait forever.
int openRegular(int dirFd, const char* name, int flags, struct stat& st) {
    UniqueFd fd{::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags)};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return std::exchange(fd.fd, -1);
}

} // namespace

ContentVerdict compareOpenFiles(int fdA, int fdB, const std::atomic<bool>& cancel,
                                qint64* firstDifference) {
    ::posix_fadvise(fdA, 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(fdB, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<char> a(blockSize), b(blockSize);
    for (qint64 offset = 0;; offset += blockSize) {
        if (cancel.load(std::memory_order_relaxed))
            return ContentVerdict::Cancelled;
        const ssize_t na = readBlock(fdA, a.data(), blockSize);
        const ssize_t nb = readBlock(fdB, b.data(), blockSize);
        if (na < 0 || nb < 0)
            return ContentVerdict::Unreadable;
        const auto common = static_cast<size_t>(std::min(na, nb));
        const auto at = std::mismatch(a.data(), a.data() + common, b.data()).first - a.data();
        if (na != nb || size_t(at) != common) {
            if (firstDifference)
                *firstDifference = offset + at;
            return ContentVerdict::Differ;
        }
        if (na == 0)
            return ContentVerdict::Equal;
    }
}

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
                return;
            report(pair.row, verdict, ++done);
        }
    });
}

ContentVerdict compareFilesAt(int dirA, const char* nameA, int dirB, const char* nameB,
                              const std::atomic<bool>& cancel) {
    struct stat sa {
    }, sb{};
    const UniqueFd a{openRegular(dirA, nameA, O_NOFOLLOW, sa)};
    const UniqueFd b{openRegular(dirB, nameB, O_NOFOLLOW, sb)};
    if (a.fd < 0 || b.fd < 0)
        return ContentVerdict::Unreadable;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return ContentVerdict::Equal;
    return compareOpenFiles(a.fd, b.fd, cancel);
}

ContentVerdict ContentChecker::check(const Pair& pair) {
    if (pair.folders)
        return checkTrees(pair);
    struct stat sa {
    }, sb{};
    const UniqueFd a{openRegular(AT_FDCWD, pair.source.constData(), 0, sa)};
    const UniqueFd b{openRegular(AT_FDCWD, pair.destination.constData(), 0, sb)};
    if (a.fd < 0 || b.fd < 0)
        return ContentVerdict::Unreadable;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return ContentVerdict::Equal; // one file seen from both sides
    QByteArray key;
    appendIdentity(key, sa);
    appendIdentity(key, sb);
    const auto known = m_cache.constFind(key);
    if (known != m_cache.constEnd())
        return *known ? ContentVerdict::Equal : ContentVerdict::Differ;
    const ContentVerdict verdict = compareOpenFiles(a.fd, b.fd, m_cancel);
    if (verdict == ContentVerdict::Equal || verdict == ContentVerdict::Differ) {
        ++m_compared;
        m_cache.insert(key, verdict == ContentVerdict::Equal);
    }
    return verdict;
}

std::optional<RowStatus> treeStatus(ContentVerdict verdict) {
    switch (verdict) {
    case ContentVerdict::Equal:
        return RowStatus::Same;
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
    options.cancel = &m_cancel;
    options.foldersWalked = &m_foldersWalked;
    try {
        switch (compareTrees(pair.source, pair.destination, options)) {
        case RowStatus::Same:
            return ContentVerdict::Equal;
        case RowStatus::Unreadable:
            return ContentVerdict::Unreadable;
        default:
            return ContentVerdict::Differ;
        }
    } catch (const ScanCancelled&) {
        return ContentVerdict::Cancelled;
    }
}
