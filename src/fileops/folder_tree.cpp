#include "fileops/folder_tree.h"

#include "base/name_text.h"
#include "fileops/file_copy.h"
#include "fs/unique_fd.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

FsError errorAt(int err, const QByteArray& path) {
    return FsError::fromErrno(err, nameText(path));
}

QByteArray joined(const QByteArray& folder, const QByteArray& name) {
    if (folder.isEmpty())
        return name;
    return name.isEmpty() ? folder : folder + '/' + name;
}

// Lists the folder the chain is in into the plan, then each subfolder,
// entered from it. False when the walk lost its way back up.
bool walk(FolderChain& chain, size_t folderAt, TreePlan& plan, PlanDetail detail) {
    const QByteArray below = joined(plan.entries[folderAt].folder, plan.entries[folderAt].name);
    std::vector<Listed> names;
    if (!readNames(chain.fd(), chain.path(), names)) {
        plan.entries[folderAt].unreadable = errno;
        return true;
    }
    std::vector<std::pair<QByteArray, FolderId>> folders;
    for (const auto& [name, type] : names) {
        if (detail == PlanDetail::Counted && type != DT_UNKNOWN && type != DT_DIR) {
            ++plan.files; // the listing tells what it is: nothing more to look at
            continue;
        }
        struct stat st {};
        if (::fstatat(chain.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Listed but not reachable (a folder that may be read, not
            // entered): what it holds is not in the plan, and is told.
            if (errno != ENOENT)
                plan.entries[folderAt].unreadable = errno;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            folders.emplace_back(name, FolderId::of(st));
            continue;
        }
        TreeEntry e{TreeEntry::Kind::Special, below, name, 0, 0, FolderId::of(st), st.st_nlink};
        if (S_ISREG(st.st_mode)) {
            e.kind = TreeEntry::Kind::File;
            e.size = st.st_size;
            plan.bytes += st.st_size;
        } else if (S_ISLNK(st.st_mode)) {
            e.kind = TreeEntry::Kind::Link;
        }
        ++plan.files;
        plan.entries.push_back(std::move(e));
    }
    for (const auto& [name, id] : folders) {
        plan.entries.push_back({TreeEntry::Kind::Folder, below, name, 0, 0, id});
        const size_t at = plan.entries.size() - 1;
        if (!chain.enter(name, &id)) {
            plan.entries[at].unreadable = errno;
            continue;
        }
        if (!walk(chain, at, plan, detail) || !chain.leave())
            return false;
    }
    return true;
}

bool sameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

bool isLink(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

QByteArray entryPath(const QByteArray& top, const TreeEntry& entry) {
    return joined(top, joined(entry.folder, entry.name));
}

FsResult planTree(const QByteArray& path, TreePlan& plan, PlanDetail detail) {
    return planTreeAt(AT_FDCWD, path, path, plan, detail);
}

FsResult planTreeAt(int dir, const QByteArray& name, const QByteArray& path, TreePlan& plan,
                    PlanDetail detail) {
    plan = {};
    struct stat st {};
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, path);
    if (!S_ISDIR(st.st_mode))
        return errorAt(ENOTDIR, path);
    FolderChain chain;
    if (!chain.openTopAt(dir, name, path))
        return errorAt(errno, path);
    plan.entries.push_back({TreeEntry::Kind::Folder, {}, {}, 0, 0, chain.id()});
    if (!walk(chain, 0, plan, detail))
        return errorAt(errno, path);
    if (const int err = plan.entries.front().unreadable; err != 0)
        return errorAt(err, path);
    return {};
}

FsResult checkNotInside(const QByteArray& folder, const QByteArray& targetFolder,
                        const TreePlan& plan) {
    struct stat moved {};
    if (::lstat(folder.constData(), &moved) != 0)
        return errorAt(errno, folder);
    UniqueFd at{::open(folderPath(targetFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    if (at.fd < 0)
        return errorAt(errno, targetFolder);
    struct stat here {};
    if (::fstat(at.fd, &here) != 0)
        return errorAt(errno, targetFolder);
    const FsError inside(EINVAL, nameText(folder),
                         QStringLiteral("a folder cannot be put into itself or a folder below it"));
    // A bind mount of a folder below is that folder, under other parents.
    for (const TreeEntry& e : plan.entries) {
        if (e.kind == TreeEntry::Kind::Folder && e.id == FolderId::of(here))
            return inside;
    }
    for (;;) {
        if (sameEntry(here, moved))
            return inside;
        UniqueFd up{::openat(at.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)};
        struct stat parent {};
        if (up.fd < 0 || ::fstat(up.fd, &parent) != 0)
            return errorAt(errno, targetFolder);
        if (sameEntry(parent, here))
            return {}; // the root
        std::swap(at.fd, up.fd);
        here = parent;
    }
}

FsResult finishFolder(int in, const QByteArray& source, int out, const QByteArray& path) {
    struct stat st {
    }, made{};
    if (::fstat(in, &st) != 0)
        return errorAt(errno, source);
    if (::fstat(out, &made) != 0)
        return errorAt(errno, path);
    if (const int err = keepAttributes(source, in, st, path, out, made); err != 0)
        return errorAt(err, path);
    return {};
}
