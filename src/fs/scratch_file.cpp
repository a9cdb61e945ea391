#include "fs/scratch_file.h"

#include "base/name_text.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The program's own scratch file: a regular file of this user with no other
// name, so writing it in place reaches no one else's data.
bool isOwnFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::getuid() && st.st_nlink == 1;
}

bool isOwnPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

// Releases a lock when it goes out of scope, unless `fd` was set to -1.
struct Unlock {
    int fd;
    ~Unlock() {
        if (fd >= 0)
            ::flock(fd, LOCK_UN);
    }
};

} // namespace

void ScratchFile::setPath(const QByteArray& path) {
    close();
    m_path = path;
}

void ScratchFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_writable = false;
    m_writeLocked = false;
}

FsResult ScratchFile::openForWriting() {
    close();
    const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Anything but our own file is replaced unopened: opening a device
        // or a pipe can have effects of its own.
        struct stat st {};
        const bool absent = ::lstat(m_path.constData(), &st) != 0 && errno == ENOENT;
        if (absent || isOwnFile(st)) {
            const int fd = ::open(m_path.constData(), flags, 0600);
            if (fd < 0 && errno != ELOOP)
                return FsError::fromErrno(errno, nameText(m_path));
            if (fd >= 0 && ::fstat(fd, &st) == 0 && isOwnFile(st)) {
                m_fd = fd;
                m_writable = true;
                return {};
            }
            if (fd >= 0)
                ::close(fd);
        }
        // A link, a second name of another file, someone else's file, or
        // something other than a file: put a file of our own in its place.
        if (FsResult replaced = FileSystem::replaceFile(m_path, {}, 0600, false); !replaced)
            return replaced;
    }
    return FsError(EAGAIN, nameText(m_path), QStringLiteral("the file keeps being replaced"));
}

FsResult ScratchFile::write(const QByteArray& data) {
    // Rewriting in place costs a few microseconds; creating and renaming a
    // file costs up to a millisecond on a journalled disk. No fsync: the
    // file is worthless after a crash.
    if (!m_writable)
        if (FsResult opened = openForWriting(); !opened)
            return opened;
    if (::flock(m_fd, LOCK_EX) != 0)
        return FsError::fromErrno(errno, nameText(m_path));
    // Held on success until the read that follows, so that no other process
    // writes between the two.
    Unlock unlock{m_fd};
    m_writeLocked = false;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put =
            ::pwrite(m_fd, data.constData() + done, size_t(data.size() - done), done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return FsError::fromErrno(put < 0 ? errno : EIO, nameText(m_path));
        done += put;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 ||
        (st.st_size != data.size() && ::ftruncate(m_fd, data.size()) != 0))
        return FsError::fromErrno(errno, nameText(m_path));
    unlock.fd = -1;
    m_writeLocked = true;
    return {};
}

QByteArray ScratchFile::read() {
    if (m_fd < 0) {
        struct stat st {};
        if (::lstat(m_path.constData(), &st) == 0 && !S_ISREG(st.st_mode))
            throw FsError(EINVAL, nameText(m_path), QStringLiteral("not a regular file"));
        // O_NONBLOCK: a pipe planted at the name must not hang the reader.
        m_fd =
            ::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            throw FsError::fromErrno(errno, nameText(m_path));
    }
    // The lock of a write is kept as it is: changing it to a shared one
    // would let a waiting writer in first.
    if (!m_writeLocked && ::flock(m_fd, LOCK_SH) != 0)
        throw FsError::fromErrno(errno, nameText(m_path));
    m_writeLocked = false;
    const Unlock unlock{m_fd};
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        throw FsError::fromErrno(errno, nameText(m_path));
    if (!S_ISREG(st.st_mode))
        throw FsError(EINVAL, nameText(m_path), QStringLiteral("not a regular file"));
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t got =
            ::pread(m_fd, data.data() + done, size_t(data.size() - done), off_t(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FsError::fromErrno(errno, nameText(m_path));
        if (got == 0)
            break;
        done += got;
    }
    data.truncate(done);
    return data;
}

void ScratchFile::removeIfFile(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(path.constData());
}

QString chooseTempFolder(const QString& temp, const QString& runtimeDir,
                         const QString& systemTemp) {
    if (!temp.isEmpty())
        return folderPath(temp);
    if (!runtimeDir.isEmpty()) {
        const QByteArray runtime = FileSystem::encode(runtimeDir);
        struct stat st {};
        if (::stat(runtime.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
            ::access(runtime.constData(), W_OK | X_OK) == 0)
            return folderPath(runtimeDir);
    }
    // The usual name, or when someone else holds it (or a link is planted
    // there) the first of a few fixed alternatives: the same folder serves
    // every start, so none pile up.
    const QString base = folderPath(systemTemp) + QStringLiteral("duoscope-%1").arg(::getuid());
    for (int n = 0; n < 10; ++n) {
        const QString own = n == 0 ? base : base + QStringLiteral("-%1").arg(n);
        const QByteArray ownPath = FileSystem::encode(own);
        ::mkdir(ownPath.constData(), 0700); // fails harmlessly when it exists
        if (isOwnPrivateFolder(ownPath))
            return folderPath(own);
    }
    return folderPath(systemTemp);
}
