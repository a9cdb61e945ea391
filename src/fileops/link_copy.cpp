// Links copied and moved as links, as a folder copied whole holds them.
#include "fileops/file_copy.h"

#include "core/name_text.h"
#include "core/trash.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FsError errorAt(int err, const FileLocation& file) {
    return FsError::fromErrno(err, file.text());
}

// What stands at `target` may be replaced by a link: the same refusals as
// for a copied file.
FsResult mayTake(const FileLocation& target, Existing existing, bool& taken) {
    struct stat st {};
    taken = ::lstat(target.path().constData(), &st) == 0;
    if (!taken)
        return errno == ENOENT ? FsResult() : errorAt(errno, target);
    if (S_ISDIR(st.st_mode))
        return errorAt(EISDIR, target);
    if (existing == Existing::Keep)
        return errorAt(EEXIST, target);
    if (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR))
        return FsError(EACCES, target.text(), QStringLiteral("the file is read-only"));
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return FsError(EINVAL, target.text(),
                       QStringLiteral("only a regular file can be replaced"));
    return {};
}

} // namespace

FsResult copyLink(const FileLocation& source, const FileLocation& target, Existing existing) {
    const QByteArray from = source.path();
    struct stat st {};
    if (::lstat(from.constData(), &st) != 0)
        return errorAt(errno, source);
    if (!S_ISLNK(st.st_mode))
        return errorAt(EINVAL, source);
    QByteArray leadsTo(st.st_size > 0 ? st.st_size + 1 : 4096, '\0');
    const ssize_t n = ::readlink(from.constData(), leadsTo.data(), size_t(leadsTo.size()));
    if (n < 0)
        return errorAt(errno, source);
    leadsTo.truncate(n);
    bool taken = false;
    if (FsResult may = mayTake(target, existing, taken); !may)
        return may;
    // A free name is taken by the link at once; a taken one is replaced by
    // a link made beside it, so the name is never empty.
    const QByteArray to = target.path();
    QByteArray made = to;
    if (taken)
        made = folderPath(target.folder) + ".duoscope-copy-" +
               QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    if (::symlink(leadsTo.constData(), made.constData()) != 0)
        return errorAt(errno, target);
    (void)::lchown(made.constData(), st.st_uid, st.st_gid); // where the user may
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(AT_FDCWD, made.constData(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
        (taken && ::rename(made.constData(), to.constData()) != 0)) {
        const int err = errno;
        ::unlink(made.constData());
        return errorAt(err, target);
    }
    return {};
}

FsResult moveLink(const FileLocation& source, const FileLocation& target, Existing existing,
                  bool& copied) {
    copied = false;
    bool taken = false;
    if (FsResult may = mayTake(target, existing, taken); !may)
        return may;
    const QByteArray from = source.path(), to = target.path();
    const int moved =
        taken ? ::rename(from.constData(), to.constData())
              : FileSystem::renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, to.constData());
    if (moved == 0 || errno != EXDEV) {
        copied = moved == 0;
        return copied ? FsResult() : errorAt(errno, errno == EEXIST ? target : source);
    }
    const auto before = FileIdentity::of(from);
    if (FsResult done = copyLink(source, target, existing); !done)
        return done;
    copied = true;
    const auto now = FileIdentity::of(from);
    if (!before || !now || !(*now == *before))
        return FsError(EAGAIN, source.text(),
                       QStringLiteral("it changed while it was being moved: it is kept, and so "
                                      "is the copy"));
    return ::unlink(from.constData()) == 0 ? FsResult() : errorAt(errno, source);
}
