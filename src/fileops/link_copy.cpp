// Links copied and moved as links, as a folder copied whole holds them.
#include "fileops/file_copy.h"
#include "fileops/source_removals.h"

#include "base/name_text.h"
#include "fs/unique_fd.h"

#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FsError errorAt(int err, const FileLocation& file) {
    return FsError::fromErrno(err, file.text());
}

// What stands at `target` (the entry `name` of `dir`) may be replaced by a
// link: the same refusals as for a copied file.
FsResult mayTake(int dir, const FileLocation& target, Existing existing, bool& taken) {
    struct stat st {};
    taken = ::fstatat(dir, target.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
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

// Both folders of a link's step, from the command's held ones where it holds them.
struct LinkFolders {
    UniqueFd ownFrom, ownTo;
    int from = -1, to = -1;
    FsResult open(const FileLocation& source, const FileLocation& target,
                  const CopyOptions& options) {
        from = openFolderOf(options, source.folder, O_PATH, ownFrom);
        if (from < 0)
            return errorAt(errno, source);
        to = openFolderOf(options, target.folder, O_PATH, ownTo);
        if (to < 0)
            return errorAt(errno, target);
        return {};
    }
};

FsResult copyLinkAt(const LinkFolders& f, const FileLocation& source, const FileLocation& target,
                    Existing existing) {
    const char* from = source.name.constData();
    struct stat st {};
    if (::fstatat(f.from, from, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, source);
    if (!S_ISLNK(st.st_mode))
        return errorAt(EINVAL, source);
    QByteArray leadsTo(st.st_size > 0 ? st.st_size + 1 : 4096, '\0');
    const ssize_t n = ::readlinkat(f.from, from, leadsTo.data(), size_t(leadsTo.size()));
    if (n < 0)
        return errorAt(errno, source);
    leadsTo.truncate(n);
    bool taken = false;
    if (FsResult may = mayTake(f.to, target, existing, taken); !may)
        return may;
    // A free name is taken by the link at once; a taken one is replaced by
    // a link made beside it, so the name is never empty.
    const QByteArray& to = target.name;
    QByteArray made = to;
    if (taken)
        made = ".duoscope-copy-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    if (::symlinkat(leadsTo.constData(), f.to, made.constData()) != 0)
        return errorAt(errno, target);
    (void)::fchownat(f.to, made.constData(), st.st_uid, st.st_gid, AT_SYMLINK_NOFOLLOW);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::utimensat(f.to, made.constData(), times, AT_SYMLINK_NOFOLLOW) != 0 ||
        (taken && ::renameat(f.to, made.constData(), f.to, to.constData()) != 0)) {
        const int err = errno;
        ::unlinkat(f.to, made.constData(), 0);
        return errorAt(err, target);
    }
    return {};
}

} // namespace

FsResult copyLink(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options) {
    LinkFolders f;
    if (FsResult opened = f.open(source, target, options); !opened)
        return opened;
    return copyLinkAt(f, source, target, existing);
}

FsResult moveLink(const FileLocation& source, const FileLocation& target, Existing existing,
                  bool& copied, const CopyOptions& options) {
    copied = false;
    LinkFolders f;
    if (FsResult opened = f.open(source, target, options); !opened)
        return opened;
    bool taken = false;
    if (FsResult may = mayTake(f.to, target, existing, taken); !may)
        return may;
    const char *from = source.name.constData(), *to = target.name.constData();
    const int moved = taken ? ::renameat(f.from, from, f.to, to)
                            : FileSystem::renameNoReplace(f.from, from, f.to, to);
    if (moved == 0 || errno != EXDEV) {
        copied = moved == 0;
        return copied ? FsResult() : errorAt(errno, errno == EEXIST ? target : source);
    }
    struct stat before {
    }, now{};
    if (::fstatat(f.from, from, &before, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, source);
    if (FsResult done = copyLinkAt(f, source, target, existing); !done)
        return done;
    copied = true;
    // In a batch, the link goes once its copy is on disk with the batch's files.
    if (!taken && options.removals && options.removals->hold(f.from, f.to)) {
        options.removals->addFile(source, target, before, before);
        return {};
    }
    if (::fstatat(f.from, from, &now, AT_SYMLINK_NOFOLLOW) != 0 || now.st_ino != before.st_ino ||
        now.st_ctim.tv_sec != before.st_ctim.tv_sec ||
        now.st_ctim.tv_nsec != before.st_ctim.tv_nsec)
        return FsError(EAGAIN, source.text(),
                       QStringLiteral("it changed while it was being moved: it is kept, and so "
                                      "is the copy"));
    return ::unlinkat(f.from, from, 0) == 0 ? FsResult() : errorAt(errno, source);
}
