#include "fileops/file_copy.h"

#include "core/file_system.h"
#include "core/name_text.h"
#include "core/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t offloadChunk = size_t(8) << 20;
constexpr size_t bufferSize = size_t(256) << 10;

FsError errorAt(int err, const QByteArray& path) {
    return FsError::fromErrno(err, nameText(path));
}

FsError refusal(int err, const QByteArray& path, const char* reason) {
    return FsError(err, nameText(path), QString::fromLatin1(reason));
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

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

// Copies from the current offsets to the end of `in`; 0 or an errno, and
// whether the error came from reading.
struct DataResult {
    int err = 0;
    bool reading = false;
};

DataResult copyData(int in, int out, off_t size, const CopyOptions& options) {
    off_t done = 0;
    bool offload = options.offload && !options.write;
    while (offload && done < size) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, offloadChunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                      errno == EBADF || errno == EPERM)) {
            offload = false; // not offered here: read and write from where it stopped
            break;
        }
        if (n < 0)
            return {errno, false};
        if (n == 0)
            break; // shorter than it said; read on to the real end
        done += n;
        if (options.onChunk)
            options.onChunk();
    }
    // Reading on finds whatever is left: the rest after a fallback, growth since the stat.
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t got = ::read(in, buffer.get(), bufferSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {errno, true};
        if (got == 0)
            return {};
        if (!writeAll(options, out, buffer.get(), static_cast<size_t>(got)))
            return {errno, false};
        if (options.onChunk)
            options.onChunk();
    }
}

// The refusals that a copy and a move share: the source a regular file (a
// link to one for a copy), the target free or a file that may be replaced.
// Fills `src` from the source and `replacing` with whether the target exists.
FsResult checkTransfer(const QByteArray& source, const QByteArray& target, struct stat& src,
                       bool& replacing) {
    if (::stat(source.constData(), &src) != 0)
        return errorAt(errno, source);
    if (!S_ISREG(src.st_mode))
        return refusal(EINVAL, source, "only regular files can be copied");

    struct stat dst {};
    replacing = ::lstat(target.constData(), &dst) == 0;
    if (!replacing && errno != ENOENT)
        return errorAt(errno, target);
    if (replacing) {
        struct stat reached {};
        if (sameFile(dst, src) ||
            (::stat(target.constData(), &reached) == 0 && sameFile(reached, src)))
            return refusal(EINVAL, target, "the source and the target are the same file");
        if (S_ISDIR(dst.st_mode))
            return errorAt(EISDIR, target);
        if (!S_ISREG(dst.st_mode) && !S_ISLNK(dst.st_mode))
            return refusal(EINVAL, target, "only a regular file can be replaced");
        if (S_ISREG(dst.st_mode) && !(dst.st_mode & S_IWUSR))
            return refusal(EACCES, target, "the file is read-only");
    }
    return {};
}

} // namespace

FsResult copyRegularFile(const QByteArray& source, const QByteArray& target,
                         const CopyOptions& options) {
    struct stat src {};
    bool replacing = false;
    if (FsResult checked = checkTransfer(source, target, src, replacing); !checked)
        return checked;

    // Non-blocking, so an entry swapped for a FIFO since the check cannot hang us.
    UniqueFd in{::open(source.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)};
    if (in.fd < 0)
        return errorAt(errno, source);
    struct stat opened {};
    if (::fstat(in.fd, &opened) != 0 || !S_ISREG(opened.st_mode) || !sameFile(opened, src))
        return refusal(EAGAIN, source, "the file changed while it was being copied");
    ::fcntl(in.fd, F_SETFL, ::fcntl(in.fd, F_GETFL) & ~O_NONBLOCK);

    QByteArray temp = FileSystem::parentFolder(target) + "/.duoscope-copy-XXXXXX";
    UniqueFd out{::mkostemp(temp.data(), O_CLOEXEC)};
    if (out.fd < 0)
        return errorAt(errno, target);
    const auto fail = [&](FsError error) {
        ::unlink(temp.constData());
        return FsResult(std::move(error));
    };

    const DataResult data = copyData(in.fd, out.fd, src.st_size, options);
    if (data.err != 0)
        return fail(errorAt(data.err, data.reading ? source : target));
    const timespec times[2] = {src.st_atim, src.st_mtim};
    if (::fchmod(out.fd, src.st_mode & 07777) != 0 || ::futimens(out.fd, times) != 0)
        return fail(errorAt(errno, target));
    // Replacing: the new data must be on disk before the old file goes.
    if (replacing && ::fsync(out.fd) != 0)
        return fail(errorAt(errno, target));
    const int closed = ::close(out.fd);
    out.fd = -1;
    if (closed != 0)
        return fail(errorAt(errno, target));

    if (replacing) {
        // rename replaces a link itself, not the file it leads to.
        if (::rename(temp.constData(), target.constData()) != 0)
            return fail(errorAt(errno, target));
        return {};
    }
    // The target was free when looked at; never replace one that appeared since.
    if (FsResult moved = FileSystem::renameFile(temp, target); !moved)
        return fail(errorAt(moved.error().number(), target));
    return {};
}

namespace {

// Removes the source of a finished copy, but only the entry that was there
// before it (`before`): the entry is first taken under a private name, where
// no one else can replace it, and looked at there. One that another process
// put at the name meanwhile gets its name back.
FsResult removeCopied(const QByteArray& source, const struct stat& before) {
    QByteArray held = FileSystem::parentFolder(source) + "/.duoscope-move-XXXXXX";
    UniqueFd reserved{::mkostemp(held.data(), O_CLOEXEC)};
    if (reserved.fd < 0 || ::rename(source.constData(), held.constData()) != 0) {
        const int err = errno;
        ::unlink(held.constData());
        return errorAt(err, source);
    }
    struct stat taken {};
    if (::lstat(held.constData(), &taken) == 0 && sameFile(taken, before))
        return ::unlink(held.constData()) == 0 ? FsResult() : FsResult(errorAt(errno, source));
    if (!FileSystem::renameFile(held, source)) {
        const QString kept = QStringLiteral("it was replaced meanwhile; it is kept as %1");
        return FsError(EEXIST, nameText(source), kept.arg(nameText(held)));
    }
    return refusal(EAGAIN, source, "the file changed while it was being moved");
}

} // namespace

FsResult moveRegularFile(const QByteArray& source, const QByteArray& target,
                         const CopyOptions& options, bool& copied) {
    copied = false;
    struct stat before {};
    if (::lstat(source.constData(), &before) != 0)
        return errorAt(errno, source);
    struct stat src {};
    bool replacing = false;
    if (FsResult checked = checkTransfer(source, target, src, replacing); !checked)
        return checked;
    // One rename where it can: the file stands under one of the two names at
    // every moment. A link is copied instead: moving it would move no file.
    if (S_ISREG(before.st_mode) && !options.write) {
        FsResult moved;
        if (!replacing)
            moved = FileSystem::renameFile(source, target);
        else if (::rename(source.constData(), target.constData()) != 0)
            moved = errorAt(errno, target);
        if (moved || moved.error().number() != EXDEV) {
            copied = moved.ok();
            return moved;
        }
    }
    if (FsResult done = copyRegularFile(source, target, options); !done)
        return done;
    copied = true;
    return removeCopied(source, before);
}
