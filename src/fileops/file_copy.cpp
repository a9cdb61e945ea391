#include "fileops/file_copy.h"

#include "base/name_text.h"
#include "fileops/source_removals.h"
#include "fs/unique_fd.h"

#include <acl/libacl.h>
#include <algorithm>
#include <attr/libattr.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr size_t offloadChunk = size_t(8) << 20;
constexpr size_t bufferSize = size_t(256) << 10;

FsError errorAt(int err, const FileLocation& file) {
    return FsError::fromErrno(err, file.text());
}

FsError refusal(int err, const FileLocation& file, const char* reason) {
    return FsError(err, file.text(), QString::fromLatin1(reason));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The same file with the same data: length and modification time.
bool sameData(const struct stat& a, const struct stat& b) {
    return sameFile(a, b) && a.st_size == b.st_size && sameTime(a.st_mtim, b.st_mtim);
}

// Not written to, nor changed otherwise, between the two looks.
bool unchanged(const struct stat& a, const struct stat& b) {
    return sameData(a, b) && sameTime(a.st_ctim, b.st_ctim);
}

// One file's step: its two folders held open, every entry reached from them.
struct Step {
    Step(const FileLocation& from, const FileLocation& to, const CopyOptions& o)
        : source(from), target(to), options(o) {}
    const FileLocation& source;
    const FileLocation& target;
    const CopyOptions& options;
    int sourceDir = -1, targetDir = -1;
    bool targetDirFlushable = false;
    UniqueFd ownSourceDir, ownTargetDir; // when the command holds none
    struct stat entry {};                // the source's own entry: a link itself
    struct stat data {};                 // the file copied, as it stood when its copy began
    UniqueFd in;
    bool replacing = false;
    struct stat replaced {}; // the target's entry as the copy found it

    int flush(int fd) const { return options.fsync ? options.fsync(fd) : ::fsync(fd); }
};

// Writes all of `size` bytes; false with errno set when the write fails.
bool writeAll(const CopyOptions& options, int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t put = options.write ? options.write(fd, data, size) : ::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// 0 or an errno, and whether the error came from reading.
struct DataResult {
    int err = 0;
    bool reading = false;
};

// Copies `length` bytes from the current offsets, or fewer when the source
// ends sooner (the check after the copy finds such a change).
DataResult copyRange(int in, int out, off_t length, const CopyOptions& options) {
    bool offload = options.offload && !options.write;
    while (offload && length > 0) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr,
                                            size_t(std::min<off_t>(length, offloadChunk)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF || errno == EPERM))
            break; // not offered here: read and write from where it stopped
        if (n < 0)
            return {errno, false};
        if (n == 0)
            return {};
        length -= n;
        if (options.onChunk)
            options.onChunk();
    }
    if (length <= 0)
        return {};
    static thread_local std::unique_ptr<char[]> buffer(new char[bufferSize]);
    while (length > 0) {
        const ssize_t got =
            ::read(in, buffer.get(), size_t(std::min<off_t>(length, off_t(bufferSize))));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {errno, true};
        if (got == 0)
            return {};
        if (!writeAll(options, out, buffer.get(), static_cast<size_t>(got)))
            return {errno, false};
        length -= got;
        if (options.onChunk)
            options.onChunk();
    }
    return {};
}

// Copies the `st.st_size` bytes of `in` to the empty `out`. A file with
// fewer blocks than its length holds holes (as `cp --sparse=auto` reads it):
// then only its data is copied, and the holes stay holes.
DataResult copyData(int in, int out, const struct stat& st, const CopyOptions& options) {
    if (st.st_blocks * 512 >= st.st_size)
        return copyRange(in, out, st.st_size, options);
    for (off_t at = 0; at < st.st_size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break; // a hole to the end
        if (data < 0 && at == 0 && errno == EINVAL)
            return copyRange(in, out, st.st_size, options); // holes are not told here
        const off_t hole = data < 0 ? -1 : ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || ::lseek(in, data, SEEK_SET) < 0)
            return {errno, true};
        if (::lseek(out, data, SEEK_SET) < 0)
            return {errno, false};
        const off_t end = std::min(hole, st.st_size);
        if (const DataResult r = copyRange(in, out, end - data, options); r.err != 0)
            return r;
        at = end;
    }
    if (::ftruncate(out, st.st_size) != 0)
        return {errno, false};
    return {};
}

} // namespace

int keepAttributes(const QByteArray& from, int in, const struct stat& st, const QByteArray& to,
                   int out, struct stat made) {
    if (made.st_uid != st.st_uid || made.st_gid != st.st_gid) {
        if (::fchown(out, st.st_uid, st.st_gid) == 0)
            made.st_uid = st.st_uid, made.st_gid = st.st_gid;
        else if (::fchown(out, uid_t(-1), st.st_gid) == 0) // not root: the group, where a member
            made.st_gid = st.st_gid;
    }
    const auto unsupported = [] { return errno == ENOTSUP || errno == EOPNOTSUPP; };
    // Most files have no extended attributes, so no ACL, and the copy none
    // inherited from its folder: then the mode alone is what there is to keep.
    const bool plain = ::flistxattr(in, nullptr, 0) == 0 && ::flistxattr(out, nullptr, 0) == 0;
    // Attributes that the user may not set (trusted.*, security.*) stay behind, as with cp -a.
    if (!plain &&
        ::attr_copy_fd(from.constData(), in, to.constData(), out, nullptr, nullptr) != 0 &&
        !unsupported() && errno != EPERM && errno != EACCES)
        return errno;
    // Where the target's file system has no ACLs, its mask narrows the group's bits.
    if (!plain && ::perm_copy_fd(from.constData(), in, to.constData(), out, nullptr) != 0 &&
        !unsupported())
        return errno;
    // The set-ID bits are not the ACL's: kept where the owner and the group are.
    if (plain || (st.st_mode & (S_ISUID | S_ISGID))) {
        mode_t mode = st.st_mode & 07777;
        if (made.st_uid != st.st_uid || made.st_gid != st.st_gid)
            mode &= ~mode_t(S_ISUID | S_ISGID);
        if (::fchmod(out, mode) != 0)
            return errno;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(out, times) == 0 ? 0 : errno;
}

namespace {

int openFolder(const Step& s, const FileLocation& file, int flags, UniqueFd& own) {
    return openFolderOf(s.options, file.folder, flags, own);
}

// Opens both folders and looks at both entries: the refusals that a copy and
// a move share. Fills `entry` and `data` from the source, `replacing`.
FsResult prepare(Step& s, Existing existing) {
    s.sourceDir = openFolder(s, s.source, O_PATH, s.ownSourceDir);
    if (s.sourceDir < 0)
        return errorAt(errno, s.source);
    // Readable, to flush it; a folder that may only be written to is not flushed.
    s.targetDir = openFolder(s, s.target, O_RDONLY, s.ownTargetDir);
    s.targetDirFlushable = s.targetDir >= 0;
    if (!s.targetDirFlushable && errno == EACCES)
        s.targetDir = openFolder(s, s.target, O_PATH, s.ownTargetDir);
    if (s.targetDir < 0)
        return errorAt(errno, s.target);

    const char* name = s.source.name.constData();
    if (::fstatat(s.sourceDir, name, &s.entry, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, s.source);
    s.data = s.entry;
    if (S_ISLNK(s.entry.st_mode) && ::fstatat(s.sourceDir, name, &s.data, 0) != 0)
        return errorAt(errno, s.source);
    if (!S_ISREG(s.data.st_mode))
        return refusal(EINVAL, s.source, "only regular files can be copied");

    struct stat& dst = s.replaced;
    const char* targetName = s.target.name.constData();
    s.replacing = ::fstatat(s.targetDir, targetName, &dst, AT_SYMLINK_NOFOLLOW) == 0;
    if (!s.replacing && errno != ENOENT)
        return errorAt(errno, s.target);
    if (!s.replacing)
        return {};
    if (S_ISDIR(dst.st_mode))
        return errorAt(EISDIR, s.target);
    if (existing == Existing::Keep)
        return errorAt(EEXIST, s.target);
    struct stat reached {};
    if (sameFile(dst, s.data) ||
        (::fstatat(s.targetDir, targetName, &reached, 0) == 0 && sameFile(reached, s.data)))
        return refusal(EINVAL, s.target, "the source and the target are the same file");
    if (!S_ISREG(dst.st_mode) && !S_ISLNK(dst.st_mode))
        return refusal(EINVAL, s.target, "only a regular file can be replaced");
    if (S_ISREG(dst.st_mode) && !(dst.st_mode & S_IWUSR))
        return refusal(EACCES, s.target, "the file is read-only");
    return {};
}

FsResult openSource(Step& s) {
    // Non-blocking, so an entry swapped for a FIFO since the check cannot hang us.
    s.in.fd = ::openat(s.sourceDir, s.source.name.constData(),
                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (s.in.fd < 0)
        return errorAt(errno, s.source);
    struct stat opened {};
    if (::fstat(s.in.fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, s.data))
        return refusal(EAGAIN, s.source, "the file changed while it was being copied");
    s.data = opened;
    // O_NONBLOCK stays: reads of a regular file do not heed it.
    return {};
}

// Writes the copy to a temporary and gives it the target's name. `durable`:
// the copy and then the folder are flushed to disk before that name is given
// up to it, a replaced file's data given up or the source removed. `later`:
// the rename over the replaced file goes with the command's batch, which
// flushes the copies of many files at once.
FsResult writeCopy(Step& s, bool durable, bool later = false) {
    const int dir = s.targetDir;
    QByteArray temp;
    struct stat made {};
    UniqueFd out{FileSystem::createTemporary(dir, temp, made)};
    if (out.fd < 0)
        return errorAt(errno, s.target);
    const auto fail = [&](FsError error) {
        ::unlinkat(dir, temp.constData(), 0);
        return FsResult(std::move(error));
    };
    // A source written to meanwhile is copied again, once.
    for (int attempt = 0;; ++attempt) {
        const DataResult data = copyData(s.in.fd, out.fd, s.data, s.options);
        if (data.err != 0)
            return fail(errorAt(data.err, data.reading ? s.source : s.target));
        struct stat after {};
        if (::fstat(s.in.fd, &after) != 0)
            return fail(errorAt(errno, s.source));
        if (unchanged(after, s.data))
            break;
        if (attempt == 1)
            return fail(refusal(EAGAIN, s.source, "the file changed while it was being copied"));
        s.data = after;
        if (::lseek(s.in.fd, 0, SEEK_SET) != 0 || ::ftruncate(out.fd, 0) != 0 ||
            ::lseek(out.fd, 0, SEEK_SET) != 0)
            return fail(errorAt(errno, s.target));
    }
    if (const int err =
            keepAttributes(s.source.path(), s.in.fd, s.data, s.target.path(), out.fd, made);
        err != 0)
        return fail(errorAt(err, s.target));
    later = later && durable && s.replacing && s.options.removals->hold(dir, dir);
    if (durable && !later && s.flush(out.fd) != 0)
        return fail(errorAt(errno, s.target));
    // The lock lasts while any descriptor of the temporary is open: this one
    // keeps it until the copy has its name, while the close is checked.
    auto lock = std::make_shared<UniqueFd>(::dup(out.fd));
    if (lock->fd < 0 || ::close(std::exchange(out.fd, -1)) != 0)
        return fail(errorAt(errno, s.target));
    if (later) {
        s.options.removals->addReplacement(s.target, temp, std::move(lock), s.replaced,
                                           s.data.st_size);
        return {};
    }
    const char* name = s.target.name.constData();
    // rename replaces a link itself, not the file it leads to.
    if (s.replacing) {
        if (FsResult taken = replaceWithCopy(dir, temp, s.target, s.replaced); !taken)
            return taken;
    } else if (FileSystem::renameNoReplace(dir, temp.constData(), dir, name) != 0) {
        return fail(errorAt(errno, s.target));
    }
    // Under its name, but perhaps not on disk yet: a move keeps its source.
    if (durable && s.targetDirFlushable && s.flush(dir) != 0)
        return errorAt(errno, s.target);
    return {};
}

// Removes the source of a finished move: only the entry copied, and only
// when its data did not change since its copy began.
FsResult removeSource(Step& s) {
    const int dir = s.sourceDir;
    const QByteArray& name = s.source.name;
    const auto kept = [&](const char* why) { return refusal(EAGAIN, s.source, why); };
    const char* changed = "it changed while it was being moved: it is kept, and so is the copy";
    struct stat now {};
    if (S_ISLNK(s.entry.st_mode)) {
        if (::fstatat(dir, name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0)
            return errorAt(errno, s.source);
        if (!sameFile(now, s.entry))
            return kept(changed);
        return ::unlinkat(dir, name.constData(), 0) == 0 ? FsResult() : errorAt(errno, s.source);
    }
    // Locked: no refresh gives it its name back while it is set aside.
    if (::flock(s.in.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return kept("it is in use: it is kept, and so is the copy");
    if (::fstat(s.in.fd, &now) != 0 || !unchanged(now, s.data))
        return kept(changed);
    // Taken under a private name, where no one else can put another file,
    // and looked at there.
    const QByteArray aside = FileSystem::setAside(dir, name);
    const bool tooLong = aside.isEmpty() && errno == ENAMETOOLONG;
    if (aside.isEmpty() && !tooLong)
        return errorAt(errno, s.source);
    const QByteArray& at = tooLong ? name : aside; // no room for a longer name: where it stands
    struct stat held {};
    if (::fstatat(dir, at.constData(), &held, AT_SYMLINK_NOFOLLOW) == 0 && sameData(held, s.data) &&
        ::fstat(s.in.fd, &now) == 0 && sameData(now, s.data))
        return ::unlinkat(dir, at.constData(), 0) == 0 ? FsResult() : errorAt(errno, s.source);
    if (tooLong)
        return kept(changed);
    const QByteArray back = FileSystem::giveNameBack(dir, aside, name);
    if (back == name)
        return kept(changed);
    return FsError(EEXIST, s.source.text(),
                   QStringLiteral("it changed while it was being moved and its name was taken "
                                  "meanwhile: it is kept as %1, and so is the copy")
                       .arg(FileLocation{s.source.folder, back}.text()));
}

} // namespace

HeldFolders::~HeldFolders() {
    for (const auto& held : m_held)
        ::close(held.second);
}

void HeldFolders::lend(const QByteArray& path, int fd) {
    m_lent.emplace_back(path, fd);
}

int HeldFolders::lent(const QByteArray& path) const {
    for (const auto& [at, fd] : m_lent) {
        if (at == path)
            return fd;
    }
    return AT_FDCWD;
}

int openFolderOf(const CopyOptions& options, const QByteArray& folder, int flags, UniqueFd& own) {
    const QByteArray path = folderPath(folder);
    if (options.folders)
        return options.folders->open(path, flags);
    own.fd = ::open(path.constData(), flags | O_DIRECTORY | O_CLOEXEC);
    return own.fd;
}

int HeldFolders::open(const QByteArray& path, int flags) {
    if (const int fd = lent(path); fd != AT_FDCWD)
        return fd;
    for (const auto& [key, fd] : m_held) {
        if (key.first == path && key.second == flags)
            return fd;
    }
    const int fd = ::open(path.constData(), flags | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        m_held.push_back({{path, flags}, fd});
    return fd;
}

FsResult copyFile(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options) {
    Step s(source, target, options);
    if (FsResult ready = prepare(s, existing); !ready)
        return ready;
    if (FsResult opened = openSource(s); !opened)
        return opened;
    const bool durable = s.replacing && !options.replacedKept;
    return writeCopy(s, durable, options.removals != nullptr);
}

FsResult replaceWithCopy(int dir, const QByteArray& temp, const FileLocation& target,
                         const struct stat& replaced) {
    struct stat now {};
    FsResult done;
    if (::fstatat(dir, target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
        !unchanged(now, replaced))
        done = refusal(EAGAIN, target, "it changed while its copy was being made: it is kept");
    else if (::renameat(dir, temp.constData(), dir, target.name.constData()) != 0)
        done = errorAt(errno, target);
    if (!done)
        ::unlinkat(dir, temp.constData(), 0);
    return done;
}

FsResult moveFile(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options, bool& copied) {
    copied = false;
    Step s(source, target, options);
    if (FsResult ready = prepare(s, existing); !ready)
        return ready;
    // One rename where it can: the file stands under one of the two names at
    // every moment. A link is copied instead: moving it would move no file.
    if (S_ISREG(s.entry.st_mode) && !options.write) {
        const char *from = source.name.constData(), *to = target.name.constData();
        const int moved = s.replacing
                              ? ::renameat(s.sourceDir, from, s.targetDir, to)
                              : FileSystem::renameNoReplace(s.sourceDir, from, s.targetDir, to);
        if (moved != 0 && errno != EXDEV)
            return errorAt(errno, errno == EEXIST ? target : source);
        copied = moved == 0;
        if (copied)
            return {};
    }
    if (FsResult opened = openSource(s); !opened)
        return opened;
    // A replaced file's data is given up only once the new data is on disk.
    const bool batched =
        options.removals && !s.replacing && options.removals->hold(s.sourceDir, s.targetDir);
    if (FsResult written = writeCopy(s, !batched); !written)
        return written;
    copied = true;
    if (batched) {
        options.removals->addFile(source, target, s.entry, s.data);
        return {};
    }
    return removeSource(s);
}

FsResult removeMovedSource(int sourceDir, const FileLocation& source, const FileLocation& target,
                           const struct stat& entry, const struct stat& data,
                           const CopyOptions& options) {
    Step s(source, target, options);
    s.sourceDir = sourceDir;
    s.entry = entry;
    s.data = data;
    if (!S_ISLNK(entry.st_mode)) {
        // Open again for the lock and the last looks, never through a link.
        s.in.fd = ::openat(sourceDir, source.name.constData(),
                           O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
        struct stat opened {};
        if (s.in.fd < 0 && errno == ENOENT)
            return errorAt(errno, source);
        if (s.in.fd < 0 || ::fstat(s.in.fd, &opened) != 0 || !sameFile(opened, data))
            return refusal(EAGAIN, source,
                           "it changed while it was being moved: it is kept, and so is the copy");
    }
    return removeSource(s);
}
