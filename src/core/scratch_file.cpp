#include "core/scratch_file.h"

#include "core/name_text.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

bool isOwnPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

namespace {

// Puts a new file at the name: written under a private name beside it, then
// renamed over whatever is there (a link is replaced, not followed).
FsResult replaceAt(const QByteArray& path, const QByteArray& data) {
    QByteArray temp = path + ".XXXXXX";
    Fd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0)
        return FsError::fromErrno(errno, nameText(path));
    if (!writeAll(out.fd, data) || ::close(out.fd) != 0) {
        const int err = errno;
        out.fd = -1;
        ::unlink(temp.constData());
        return FsError::fromErrno(err == 0 ? EIO : err, nameText(path));
    }
    out.fd = -1;
    if (::rename(temp.constData(), path.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        return FsError::fromErrno(err, nameText(path));
    }
    return {};
}

// Releases a lock when it goes out of scope.
struct Unlock {
    int fd;
    ~Unlock() { ::flock(fd, LOCK_UN); }
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
}

FsResult ScratchFile::openForWriting() {
    close();
    const int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(m_path.constData(), flags, 0600);
        if (fd < 0 && errno != ELOOP)
            return FsError::fromErrno(errno, nameText(m_path));
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid()) {
            m_fd = fd;
            m_writable = true;
            return {};
        }
        if (fd >= 0)
            ::close(fd);
        // A link or someone else's file: put a file of our own in its place.
        if (FsResult replaced = replaceAt(m_path, {}); !replaced)
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
    const Unlock unlock{m_fd};
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
    return {};
}

QByteArray ScratchFile::read() {
    if (m_fd < 0) {
        // O_NONBLOCK: a pipe planted at the name must not hang the reader.
        m_fd = ::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0)
            throw FsError::fromErrno(errno, nameText(m_path));
    }
    if (::flock(m_fd, LOCK_SH) != 0)
        throw FsError::fromErrno(errno, nameText(m_path));
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
        struct stat st {};
        if (::stat(QFile::encodeName(runtimeDir).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return folderPath(runtimeDir);
    }
    const QString own = folderPath(systemTemp) + QStringLiteral("duoscope-%1").arg(::getuid());
    const QByteArray ownPath = QFile::encodeName(own);
    ::mkdir(ownPath.constData(), 0700); // fails harmlessly when it exists
    if (isOwnPrivateFolder(ownPath))
        return folderPath(own);
    // The usual name is taken by someone else's folder or a link: make a fresh one.
    QByteArray fresh = QFile::encodeName(folderPath(systemTemp)) + "duoscope-XXXXXX";
    if (::mkdtemp(fresh.data()))
        return folderPath(QFile::decodeName(fresh));
    return folderPath(systemTemp);
}
