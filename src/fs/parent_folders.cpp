#include "fs/parent_folders.h"

#include "base/name_text.h"

#include <cerrno>
#include <fcntl.h>

namespace {

int openFolderAt(int at, const QByteArray& name) {
    return ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

FsResult ParentFolders::make(const QByteArray& fromTop, const QByteArray& toTop,
                             QByteArrayView relative, std::vector<QByteArray>* made) {
    UniqueFd from{::open(fromTop.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (from.fd < 0)
        return FsError::fromErrno(errno, nameText(fromTop));
    UniqueFd to{::open(toTop.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (to.fd < 0)
        return FsError::fromErrno(errno, nameText(toTop));
    QByteArray fromPath = fromTop, toPath = toTop;
    for (const QByteArray& name : relative.toByteArray().split('/')) {
        if (name.isEmpty())
            continue;
        fromPath = FileLocation{fromPath, name}.path();
        toPath = FileLocation{toPath, name}.path();
        struct stat st {};
        UniqueFd nextFrom{openFolderAt(from.fd, name)};
        if (nextFrom.fd < 0 || ::fstat(nextFrom.fd, &st) != 0)
            return FsError::fromErrno(errno, nameText(fromPath));
        int nextTo = openFolderAt(to.fd, name);
        if (nextTo < 0 && errno == ENOENT) {
            // Writable by its owner until finish(), whatever the source's mode.
            if (::mkdirat(to.fd, name.constData(), 0700) != 0)
                return FsError::fromErrno(errno, nameText(toPath));
            nextTo = openFolderAt(to.fd, name);
            if (nextTo >= 0) {
                Made& m = m_made.emplace_back();
                m.fd.fd = ::dup(nextTo);
                m.mode = st.st_mode & 07777;
                m.times[0] = st.st_atim;
                m.times[1] = st.st_mtim;
                if (made)
                    made->push_back(toPath);
            }
        }
        if (nextTo < 0)
            return FsError::fromErrno(errno, nameText(toPath));
        std::swap(from.fd, nextFrom.fd);
        ::close(to.fd);
        to.fd = nextTo;
    }
    return {};
}

void ParentFolders::finish() {
    // Innermost first: setting a folder's times never touches its parent's.
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
        ::fchmod(it->fd.fd, it->mode);
        ::futimens(it->fd.fd, it->times);
    }
    m_made.clear();
}
