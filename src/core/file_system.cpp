#include "core/file_system.h"

#include "core/unique_fd.h"

#include "core/name_text.h"
#include "core/wildcard.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

FsError::FsError(int number, QString path, QString reason)
    : std::runtime_error(QStringLiteral("%1: %2").arg(path, reason).toStdString()),
      m_number(number), m_path(std::move(path)), m_reason(std::move(reason)) {}

FsError FsError::fromErrno(int err, const QString& path) {
    return FsError(err, path, QString::fromLocal8Bit(std::strerror(err)));
}

QString FsError::description() const {
    return QStringLiteral("%1: %2").arg(m_path, m_reason);
}

namespace {

QString pathText(const QByteArray& path) {
    return nameText(path);
}

// Attribute bits of an entry from its stat (following links) or, for a link
// that leads nowhere, from the link itself. -1 for a folder or nothing.
int classify(int dirFd, const char* name, bool hidden) {
    struct stat st {};
    int bits = hidden ? Attr::Hidden : 0;
    if (::fstatat(dirFd, name, &st, 0) != 0) {
        struct stat lst {};
        if (::fstatat(dirFd, name, &lst, AT_SYMLINK_NOFOLLOW) != 0)
            return -1;              // vanished since it was listed
        return bits | Attr::System; // a link that leads nowhere
    }
    if (S_ISDIR(st.st_mode))
        return -1;
    if (!S_ISREG(st.st_mode))
        return bits | Attr::System;
    bits |= Attr::Archive;
    if (!(st.st_mode & S_IWUSR))
        bits |= Attr::ReadOnly;
    return bits;
}

bool admitted(int bits, int mask) {
    if (bits < 0)
        return false;
    if ((bits & Attr::Hidden) && !(mask & Attr::Hidden))
        return false;
    if ((bits & Attr::System) && !(mask & Attr::System))
        return false;
    return true;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Length and time of `name` relative to `dirFd`: of the link itself when
// the link leads to no file. 0, or the error number.
int statAt(int dirFd, const char* name, FileStat& out) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) == 0) {
        out = {static_cast<qint64>(st.st_size), st.st_mtime, S_ISDIR(st.st_mode), false};
        return 0;
    }
    const int err = errno;
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return err;
    out = {static_cast<qint64>(st.st_size), st.st_mtime, false, true};
    return 0;
}

} // namespace

OpenFolder::OpenFolder(const QByteArray& path) : m_path(path) {
    m_fd = ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_fd < 0 && errno != ENOENT && errno != ENOTDIR)
        throw FsError::fromErrno(errno, pathText(path));
}

OpenFolder::~OpenFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

std::optional<FileStat> OpenFolder::stat(const QByteArray& name) const {
    if (m_fd < 0)
        return std::nullopt;
    FileStat st;
    const int err = statAt(m_fd, name.constData(), st);
    if (err == ENOENT)
        return std::nullopt;
    if (err != 0)
        throw FsError::fromErrno(err, pathText(folderPath(m_path) + name));
    return st;
}

namespace FileSystem {

QByteArray parentFolder(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray encode(const QString& path) {
    return nameBytes(path);
}

std::vector<ListedName> listFolder(const QByteArray& folder, const QString& pattern, int mask) {
    std::vector<ListedName> names;
    const QString folderPathText = pathText(folder);
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.constData()));
    if (!dir) {
        if (errno == ENOENT || errno == ENOTDIR)
            return names; // no such folder: nothing to list
        throw FsError::fromErrno(errno, folderPathText);
    }
    const int fd = ::dirfd(dir.get());
    const bool everyName = pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (!entry) {
            if (errno != 0)
                throw FsError::fromErrno(errno, folderPathText);
            break;
        }
        const char* raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        const bool hidden = raw[0] == '.';
        int bits;
        switch (entry->d_type) {
        case DT_DIR:
            continue;
        case DT_REG: // read-only never keeps a file out, so no stat is needed
            bits = (hidden ? Attr::Hidden : 0) | Attr::Archive;
            break;
        case DT_FIFO:
        case DT_SOCK:
        case DT_CHR:
        case DT_BLK:
            bits = (hidden ? Attr::Hidden : 0) | Attr::System;
            break;
        default: // links, and file systems that do not say, need a stat
            bits = classify(fd, raw, hidden);
        }
        if (!admitted(bits, mask))
            continue;
        QByteArray fileName(raw);
        QString name = nameText(fileName);
        if (!everyName && !wildcardMatch(pattern, name))
            continue;
        names.push_back({std::move(name), std::move(fileName)});
    }
    return names;
}

int attributes(const QByteArray& path) {
    const QByteArray parent = parentFolder(path);
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    UniqueFd dirFd{::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dirFd.fd < 0 || name.isEmpty())
        return -1;
    struct stat st {};
    if (::fstatat(dirFd.fd, name.constData(), &st, 0) == 0 && S_ISDIR(st.st_mode))
        return Attr::Folder | (name.startsWith('.') ? Attr::Hidden : 0);
    return classify(dirFd.fd, name.constData(), name.startsWith('.'));
}

int attributes(const QString& path) {
    return attributes(encode(path));
}

bool exists(const QString& path, int mask) {
    const int bits = attributes(path);
    return bits >= 0 && !(bits & Attr::Folder) && admitted(bits, mask);
}

FileStat stat(const QByteArray& path) {
    FileStat st;
    if (const int err = statAt(AT_FDCWD, path.constData(), st); err != 0)
        throw FsError::fromErrno(err, pathText(path));
    return st;
}

FsResult replaceFile(const QByteArray& path, const QByteArray& data, mode_t mode, bool durable,
                     WriteCall writeCall) {
    if (!writeCall)
        writeCall = ::write;
    QByteArray temp = path + ".XXXXXX";
    UniqueFd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0)
        return FsError::fromErrno(errno, pathText(path));
    auto fail = [&](int err) {
        ::unlink(temp.constData());
        return FsResult(FsError::fromErrno(err, pathText(path)));
    };
    if (::fchmod(out.fd, mode) != 0)
        return fail(errno);
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t put = writeCall(out.fd, data.constData() + done, size_t(data.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return fail(put < 0 ? errno : ENOSPC);
        done += put;
    }
    if (durable && ::fsync(out.fd) != 0)
        return fail(errno);
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (closed != 0)
        return fail(errno);
    if (::rename(temp.constData(), path.constData()) != 0)
        return fail(errno);
    if (durable) {
        // The rename itself reaches the disk with its folder.
        UniqueFd folder{::open(parentFolder(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        if (folder.fd >= 0)
            ::fsync(folder.fd);
    }
    return {};
}

FsResult renameFile(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return {};
    const int err = errno;
    if (err != EINVAL && err != ENOSYS)
        return FsError::fromErrno(err, pathText(err == EEXIST ? to : from));
    // A file system without no-replace renames: check, then rename.
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0)
        return FsError::fromErrno(EEXIST, pathText(to));
    if (::rename(from.constData(), to.constData()) != 0)
        return FsError::fromErrno(errno, pathText(from));
    return {};
}

FsResult removeFile(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return FsError(EISDIR, pathText(path), QString::fromLocal8Bit(std::strerror(EISDIR)));
    if (::unlink(path.constData()) != 0)
        return FsError::fromErrno(errno, pathText(path));
    return {};
}

FsResult setAttributes(const QByteArray& path, int bits) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return FsError::fromErrno(errno, pathText(path));
    mode_t mode = st.st_mode & 07777;
    if (bits & Attr::ReadOnly)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (::chmod(path.constData(), mode) != 0)
        return FsError::fromErrno(errno, pathText(path));
    return {};
}

} // namespace FileSystem
