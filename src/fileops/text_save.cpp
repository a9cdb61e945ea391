#include "fileops/text_save.h"

#include "core/name_text.h"
#include "core/unique_fd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

std::optional<FileIdentity> reachedFile(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity::of(st);
}

FsResult saveText(const EditedText& text, const QByteArray& path, UndoStep& step) {
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved))
        return FsError::fromErrno(errno, nameText(path));
    const FileLocation at = FileLocation::of(QByteArray(resolved));
    const auto failed = [&](int err) { return FsError::fromErrno(err, at.text()); };
    const UniqueFd folder(::open(at.folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0)
        return failed(errno);
    const UniqueFd old(::openat(folder.fd, at.name.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (old.fd < 0 || ::fstat(old.fd, &st) != 0)
        return failed(errno);

    // The new text, with the old file's attributes but times of its own.
    QByteArray temp;
    struct stat made {};
    UniqueFd out(FileSystem::createTemporary(folder.fd, temp, made));
    if (out.fd < 0)
        return failed(errno);
    const FileLocation written{at.folder, temp};
    const auto fail = [&](FsResult result) {
        ::unlinkat(folder.fd, temp.constData(), 0);
        return result;
    };
    if (!text.write(out.fd))
        return fail(failed(errno));
    if (const int err = keepAttributes(at.path(), old.fd, st, written.path(), out.fd, made))
        return fail(failed(err));
    const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    if (::futimens(out.fd, now) != 0 || ::close(std::exchange(out.fd, -1)) != 0)
        return fail(failed(errno));

    // The old file keeps a name in the Trash, so the rename over it leaves it there.
    TrashEntry kept;
    if (FsResult trashed = Trash::linkIntoTrash(at.path(), kept); !trashed)
        return fail(trashed);
    if (FsResult copied = copyFile(written, at, Existing::Replace); !copied) {
        Trash::discard(kept);
        return fail(copied);
    }
    ::unlinkat(folder.fd, temp.constData(), 0);
    step = UndoStep{UndoStep::Kind::Replaced, at.path(), {}, {}, kept, 0};
    return {};
}
