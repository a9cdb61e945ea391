#include "core/content_check.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

class Fd {
public:
    explicit Fd(const QByteArray& path) : fd(::open(path.constData(), O_RDONLY | O_CLOEXEC)) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    const int fd;
};

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

void ContentChecker::start(std::vector<Pair> pairs, Report report) {
    cancel();
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

ContentVerdict ContentChecker::check(const Pair& pair) {
    const Fd a(pair.source), b(pair.destination);
    struct stat sa {
    }, sb{};
    if (a.fd < 0 || b.fd < 0 || ::fstat(a.fd, &sa) != 0 || ::fstat(b.fd, &sb) != 0 ||
        !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode))
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
