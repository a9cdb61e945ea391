#include "fileops/text_save.h"

#include "base/name_text.h"
#include "fileops/file_copy.h"
#include "fs/file_system.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool heldUnchanged(const ReadFile& file) {
    struct stat st {};
    return ::fstat(file.file->fd, &st) == 0 && sameEntry(st, file.held);
}

// Where the file's name in the folder held open stands now: the folder, or
// one above it, may have been renamed since it was opened.
QByteArray whereNow(const ReadFile& file) {
    char folder[PATH_MAX];
    const QByteArray held = "/proc/self/fd/" + QByteArray::number(file.folder->fd);
    const ssize_t n = ::readlink(held.constData(), folder, sizeof folder);
    if (n <= 0 || folder[0] != '/' || size_t(n) == sizeof folder)
        return file.reached;
    return FileLocation{QByteArray(folder, n), file.name}.path();
}

FsError changedMeanwhile(const ReadFile& file) {
    return {EAGAIN, nameText(file.path), QStringLiteral("it changed while it was being saved")};
}

} // namespace

bool sameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

bool heldIntact(ReadFile& file) {
    struct stat st {};
    if (::fstat(file.file->fd, &st) != 0)
        return false;
    if (sameEntry(st, file.held))
        return true;
    if (!file.text || !file.text->intact())
        return false;
    file.held = st;
    return true;
}

NameNow lookAtName(ReadFile& file, struct stat& now) {
    const bool there =
        ::fstatat(file.folder->fd, file.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (!there && errno != ENOENT)
        return NameNow::Unreachable;
    if (!heldIntact(file))
        return NameNow::Rewritten;
    if (!there)
        return NameNow::Gone;
    if (!S_ISREG(now.st_mode))
        return NameNow::NotAFile;
    return sameEntry(now, file.seen) ? NameNow::Same : NameNow::Changed;
}

FsResult saveText(const EditedText& text, ReadFile& file, const struct stat* expected,
                  const SaveWay& way, UndoStep& step, OldFile& old) {
    const int folder = file.folder->fd;
    file.reached = whereNow(file);
    const auto failed = [&](int err) { return FsError::fromErrno(err, nameText(file.path)); };
    struct stat read {};
    if (::fstat(file.file->fd, &read) != 0)
        return failed(errno);

    // The new text, with the attributes of the file read but times of its own.
    QByteArray temp;
    struct stat made {};
    UniqueFd out(FileSystem::createTemporary(folder, temp, made));
    if (out.fd < 0)
        return failed(errno);
    const auto fail = [&](FsResult result) {
        ::unlinkat(folder, temp.constData(), 0);
        return result;
    };
    const QByteArray tempPath = FileLocation{FileLocation::of(file.reached).folder, temp}.path();
    if (!text.write(out.fd))
        return fail(failed(errno));
    if (const int err = keepAttributes(file.reached, file.file->fd, read, tempPath, out.fd, made))
        return fail(failed(err));
    const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    if (::futimens(out.fd, now) != 0 || ::fdatasync(out.fd) != 0 ||
        ::close(std::exchange(out.fd, -1)) != 0)
        return fail(failed(errno));
    for (const ReadFile* source : way.sources) {
        if (!heldUnchanged(*source))
            return fail(changedMeanwhile(*source));
    }

    // The name must still hold what the user chose to replace.
    struct stat there {};
    const bool taken = ::fstatat(folder, file.name.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0;
    if (taken != (expected != nullptr) || (taken && !sameEntry(there, *expected)))
        return fail(changedMeanwhile(file));
    old = taken ? OldFile::Trashed : OldFile::None;
    TrashEntry kept;
    if (taken) {
        // The old file keeps a name in the Trash, so the rename over it leaves it there.
        FsResult trashed = way.toTrash ? Trash::linkIntoTrash(file.reached, kept)
                                       : FsError(ENOTSUP, nameText(file.path),
                                                 QStringLiteral("the Trash is turned off"));
        struct stat inTrash {};
        if (trashed && (::lstat(kept.filePath().constData(), &inTrash) != 0 ||
                        inTrash.st_ino != there.st_ino || inTrash.st_dev != there.st_dev)) {
            Trash::discard(kept); // reached another file than the folder held
            return fail(changedMeanwhile(file));
        }
        if (!trashed) {
            if (!way.replaceForGood || !way.replaceForGood(trashed.error().reason()))
                return fail(FsError(ECANCELED, nameText(file.path), QStringLiteral("not saved")));
            old = OldFile::Gone;
        }
    }
    const int renamed = taken ? ::renameat(folder, temp.constData(), folder, file.name.constData())
                              : ::renameat2(folder, temp.constData(), folder, file.name.constData(),
                                            RENAME_NOREPLACE);
    if (renamed != 0) {
        const int err = errno;
        if (old == OldFile::Trashed)
            Trash::discard(kept);
        return fail(failed(err));
    }
    if (::fstatat(folder, file.name.constData(), &file.seen, AT_SYMLINK_NOFOLLOW) != 0)
        file.seen = {};
    // The file read was given a name in the Trash: its change time moved, not its bytes.
    ::fstat(file.file->fd, &file.held);
    step = old == OldFile::Trashed
               ? UndoStep{UndoStep::Kind::Replaced, file.reached, {}, {}, kept, 0}
               : UndoStep{UndoStep::Kind::Copied, file.reached, {}, {}, {}, 0};
    return {};
}
