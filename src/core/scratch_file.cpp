#include "core/scratch_file.h"

#include "core/name_text.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
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

QString withSlash(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool isOwnPrivateFolder(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

namespace ScratchFile {

FsResult write(const QByteArray& path, const QByteArray& data) {
    // No fsync: the file is a scratch copy, worthless after a crash, and the
    // rename alone makes it appear whole to other readers.
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

QByteArray read(const QByteArray& path) {
    // O_NONBLOCK: a pipe planted at the name must not hang the reader.
    Fd in{::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    if (in.fd < 0)
        throw FsError::fromErrno(errno, nameText(path));
    struct stat st {};
    if (::fstat(in.fd, &st) != 0)
        throw FsError::fromErrno(errno, nameText(path));
    if (!S_ISREG(st.st_mode))
        throw FsError(EINVAL, nameText(path), QStringLiteral("not a regular file"));
    QByteArray data(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t got = ::read(in.fd, data.data() + done, size_t(data.size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FsError::fromErrno(errno, nameText(path));
        if (got == 0)
            break;
        done += got;
    }
    data.truncate(done);
    return data;
}

void removeIfFile(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(path.constData());
}

} // namespace ScratchFile

QString chooseTempFolder(const QString& temp, const QString& runtimeDir,
                         const QString& systemTemp) {
    if (!temp.isEmpty())
        return withSlash(temp);
    if (!runtimeDir.isEmpty()) {
        struct stat st {};
        if (::stat(QFile::encodeName(runtimeDir).constData(), &st) == 0 && S_ISDIR(st.st_mode))
            return withSlash(runtimeDir);
    }
    const QString own = withSlash(systemTemp) + QStringLiteral("duoscope-%1").arg(::getuid());
    const QByteArray ownPath = QFile::encodeName(own);
    ::mkdir(ownPath.constData(), 0700); // fails harmlessly when it exists
    if (isOwnPrivateFolder(ownPath))
        return withSlash(own);
    // The usual name is taken by someone else's folder or a link: make a fresh one.
    QByteArray fresh = QFile::encodeName(withSlash(systemTemp)) + "duoscope-XXXXXX";
    if (::mkdtemp(fresh.data()))
        return withSlash(QFile::decodeName(fresh));
    return withSlash(systemTemp);
}
