#include "fs/folder_chain.h"

#include "base/name_text.h"

#include <QHashFunctions>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Readable where it may be, so it can be listed and flushed; a folder that
// may only be entered is still held, as a place to reach entries from.
int openFolder(int dir, const char* name, int extra) {
    const int flags = O_DIRECTORY | O_CLOEXEC | extra;
    int fd = ::openat(dir, name, O_RDONLY | flags);
    if (fd < 0 && errno == EACCES)
        fd = ::openat(dir, name, O_PATH | flags);
    return fd;
}

} // namespace

FolderId FolderId::of(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

quint64 SeenFolders::key(QByteArrayView path) {
    return qHash(path, size_t(0x5eed));
}

void SeenFolders::add(QByteArrayView path, const FolderId& id) {
    m_ids.emplace_back(key(path), id);
    m_sorted = false;
}

const FolderId* SeenFolders::find(QByteArrayView path) const {
    if (!m_sorted) {
        std::sort(m_ids.begin(), m_ids.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        m_sorted = true;
    }
    const quint64 k = key(path);
    const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), k,
                                     [](const auto& e, quint64 v) { return e.first < v; });
    return it != m_ids.end() && it->first == k ? &it->second : nullptr;
}

FolderChain::~FolderChain() {
    clear();
}

void FolderChain::clear() {
    for (Level& l : m_levels) {
        if (l.fd >= 0)
            ::close(l.fd);
    }
    m_levels.clear();
    m_open = 0;
    m_oldestOpen = 0;
}

std::function<void(int, const QByteArray&)>& FolderChain::beforeEnterForTests() {
    static std::function<void(int, const QByteArray&)> hook;
    return hook;
}

bool FolderChain::push(int fd, const QByteArray& name, const FolderId* expected) {
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (expected && !(FolderId::of(st) == *expected))) {
        const int err = errno;
        ::close(fd);
        errno = expected ? ESTALE : err;
        return false;
    }
    m_levels.push_back({name, FolderId::of(st), fd});
    if (++m_open > m_held) {
        ::close(m_levels[m_oldestOpen].fd);
        m_levels[m_oldestOpen++].fd = -1;
        --m_open;
    }
    return true;
}

bool FolderChain::openTop(const QByteArray& path, bool followLink, const FolderId* expected) {
    clear();
    const QByteArray at = path.isEmpty() ? QByteArray("/") : path;
    // A trailing "/" would follow a link at the last name.
    QByteArray bare = at;
    while (bare.size() > 1 && bare.endsWith('/'))
        bare.chop(1);
    if (!push(openFolder(AT_FDCWD, bare.constData(), followLink ? 0 : O_NOFOLLOW), at, expected))
        return false;
    return true;
}

bool FolderChain::openTopAt(int dir, const QByteArray& name, const QByteArray& path,
                            const FolderId* expected) {
    if (dir == AT_FDCWD)
        return openTop(name, false, expected);
    clear();
    if (const auto& hook = beforeEnterForTests())
        hook(dir, name);
    return push(openFolder(dir, name.constData(), O_NOFOLLOW), path, expected);
}

bool FolderChain::enter(const QByteArray& name, const FolderId* expected) {
    if (m_levels.empty()) {
        errno = EBADF;
        return false;
    }
    if (const auto& hook = beforeEnterForTests())
        hook(fd(), name);
    return push(openFolder(fd(), name.constData(), O_NOFOLLOW), name, expected);
}

bool FolderChain::leave() {
    if (m_levels.empty())
        return true;
    const size_t parent = m_levels.size() - 1;
    if (parent > 0 && m_levels[parent - 1].fd < 0) {
        // Reached again from below, and only as the folder it was.
        const int up = openFolder(fd(), "..", 0);
        struct stat st {};
        if (up < 0 || ::fstat(up, &st) != 0 || !(FolderId::of(st) == m_levels[parent - 1].id)) {
            if (up >= 0)
                ::close(up);
            clear();
            errno = ESTALE;
            return false;
        }
        m_levels[parent - 1].fd = up;
        m_oldestOpen = parent - 1;
        ++m_open;
    }
    ::close(m_levels.back().fd);
    m_levels.pop_back();
    --m_open;
    return true;
}

QByteArray FolderChain::path() const {
    QByteArray p;
    for (const Level& l : m_levels) {
        if (!p.isEmpty() && !p.endsWith('/'))
            p += '/';
        p += l.name;
    }
    return p;
}
