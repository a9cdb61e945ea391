#include "fs/file_system.h"

#include "fs/unique_fd.h"

#include "base/name_text.h"
#include "base/wildcard.h"

#include <QMutex>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
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

QByteArray FileLocation::path() const {
    return folderPath(folder) + name;
}

QString FileLocation::text() const {
    return nameText(path());
}

FileLocation FileLocation::of(const QByteArray& path) {
    return {FileSystem::parentFolder(path), path.mid(path.lastIndexOf('/') + 1)};
}

FileIdentity FileIdentity::of(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

std::optional<FileIdentity> FileIdentity::of(const QByteArray& path) {
    return at(AT_FDCWD, path.constData());
}

std::optional<FileIdentity> FileIdentity::at(int dirFd, const char* name) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return of(st);
}

bool FileIdentity::sameButChange(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
}

bool FileIdentity::operator==(const FileIdentity& o) const {
    return sameButChange(o) && changed.tv_sec == o.changed.tv_sec &&
           changed.tv_nsec == o.changed.tv_nsec;
}

namespace {

QString pathText(const QByteArray& path) {
    return nameText(path);
}

// The program's own temporaries: a prefix, six random letters or digits,
// and for a file set aside by a move "-" and the file's own name.
constexpr char copyPrefix[] = ".duoscope-copy-";
constexpr char movePrefix[] = ".duoscope-move-";
constexpr qsizetype prefixLength = sizeof copyPrefix - 1;
constexpr qsizetype randomLength = 6;

QByteArray randomLetters() {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out(randomLength, Qt::Uninitialized);
    ::arc4random_buf(out.data(), size_t(randomLength)); // one call of the system for all
    for (char& c : out)
        c = letters[static_cast<unsigned char>(c) % (sizeof letters - 1)];
    return out;
}

enum class Leftover { None, Copy, Move };

// Which temporary `name` is; for a file set aside, its own name in `original`.
Leftover leftoverKind(const char* name, QByteArray& original) {
    const bool copy = std::strncmp(name, copyPrefix, prefixLength) == 0;
    if (!copy && std::strncmp(name, movePrefix, prefixLength) != 0)
        return Leftover::None;
    const char* rest = name + prefixLength;
    for (qsizetype i = 0; i < randomLength; ++i) {
        if (!std::isalnum(static_cast<unsigned char>(rest[i])))
            return Leftover::None;
    }
    rest += randomLength;
    if (copy)
        return *rest == '\0' ? Leftover::Copy : Leftover::None;
    if (rest[0] != '-' || rest[1] == '\0')
        return Leftover::None;
    original = QByteArray(rest + 1);
    return Leftover::Move;
}

QMutex notesLock;
QStringList& leftoverNotes() {
    static QStringList notes;
    return notes;
}

bool sameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Clears away the temporary `name` when no running copy holds it: a copy's
// is removed, a file set aside gets its name back. True when a file got a
// name back, which the listing under way may or may not pass.
bool sweepLeftover(int dirFd, const QByteArray& folder, const char* name, Leftover kind,
                   const QByteArray& original) {
    UniqueFd file{::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat held {};
    struct stat named {};
    // Held by the lock until it is gone: no other refresh acts on it meanwhile.
    if (file.fd < 0 || ::flock(file.fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(file.fd, &held) != 0 ||
        !S_ISREG(held.st_mode) || ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameEntry(held, named))
        return false;
    if (kind == Leftover::Copy) {
        ::unlinkat(dirFd, name, 0);
        return false;
    }
    const QByteArray now = FileSystem::giveNameBack(dirFd, name, original);
    if (now != original) {
        const QMutexLocker locker(&notesLock);
        leftoverNotes() << QStringLiteral("%1 was set aside by a move that did not finish, and "
                                          "its name is taken: it is kept as %2.")
                               .arg(FileLocation{folder, original}.text(),
                                    FileLocation{folder, now}.text());
    }
    return now != name;
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

bool ownTemporary(int dirFd, const QByteArray& folder, const char* name, bool& nameGivenBack) {
    QByteArray original;
    const Leftover own = name[0] == '.' ? leftoverKind(name, original) : Leftover::None;
    if (own == Leftover::None)
        return false;
    nameGivenBack |= sweepLeftover(dirFd, folder, name, own, original);
    return true;
}

int createTemporary(int dirFd, QByteArray& name, struct stat& made) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = copyPrefix + randomLetters();
        UniqueFd file{
            ::openat(dirFd, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
        if (file.fd < 0 && errno == EEXIST)
            continue;
        if (file.fd < 0)
            return -1;
        // A refresh that came between the creation and the lock found it
        // free and removed it: then another. Where locks are not offered,
        // no refresh can take one either.
        const bool locked = ::flock(file.fd, LOCK_EX) == 0;
        if (::fstat(file.fd, &made) != 0) {
            ::unlinkat(dirFd, name.constData(), 0);
            return -1;
        }
        if (locked && made.st_nlink == 0)
            continue;
        return std::exchange(file.fd, -1);
    }
    errno = EEXIST;
    return -1;
}

QByteArray setAside(int dirFd, const QByteArray& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray aside = movePrefix + randomLetters() + '-' + name;
        if (renameNoReplace(dirFd, name.constData(), dirFd, aside.constData()) == 0)
            return aside;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

QByteArray giveNameBack(int dirFd, const QByteArray& aside, const QByteArray& name) {
    for (int k = 0; k < 1000; ++k) {
        const QByteArray wanted = k == 0 ? name : copyName(name, k);
        if (renameNoReplace(dirFd, aside.constData(), dirFd, wanted.constData()) == 0)
            return wanted;
        if (errno != EEXIST)
            break;
    }
    return aside;
}

QStringList takeLeftoverNotes() {
    const QMutexLocker locker(&notesLock);
    return std::exchange(leftoverNotes(), {});
}

int renameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
    if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without no-replace renames: check, then rename.
    struct stat st {};
    if (::fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::renameat(fromDir, from, toDir, to);
}

FsResult checkName(const FileLocation& file) {
    const QByteArray& name = file.name;
    const long longest = ::pathconf(folderPath(file.folder).constData(), _PC_NAME_MAX);
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') ||
        name.contains('\0') || name.size() > (longest > 0 ? longest : NAME_MAX))
        return FsError(EINVAL, file.text(), QStringLiteral("not a valid file name"));
    return {};
}

QByteArray copyName(const QByteArray& fileName, int k) {
    if (k <= 1)
        return "Copy of " + fileName;
    return "Copy (" + QByteArray::number(k) + ") of " + fileName;
}

int attributes(const QByteArray& path) {
    const QByteArray parent = parentFolder(path);
    UniqueFd dirFd{::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    return dirFd.fd < 0 ? -1 : attributesAt(dirFd.fd, path.mid(path.lastIndexOf('/') + 1));
}

int attributesAt(int dirFd, const QByteArray& name) {
    if (name.isEmpty())
        return -1;
    struct stat st {};
    if (::fstatat(dirFd, name.constData(), &st, 0) == 0 && S_ISDIR(st.st_mode))
        return Attr::Folder | (name.startsWith('.') ? Attr::Hidden : 0);
    return classify(dirFd, name.constData(), name.startsWith('.'));
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
    if (renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, to.constData()) == 0)
        return {};
    return FsError::fromErrno(errno, pathText(errno == EEXIST ? to : from));
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
