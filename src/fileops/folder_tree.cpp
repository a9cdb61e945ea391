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

// The names of a folder's entries but "." and "..", read in one pass so
// that no descriptor stays open below it; the program's own temporaries are
// left out (and cleared away when nothing holds them), as in a listing.
// Each with its type as the listing gives it (DT_UNKNOWN where it does not).
struct Listed {
    QByteArray name;
    unsigned char type;
};

bool readNames(int dir, const QByteArray& path, std::vector<Listed>& names) {
    // Opened anew, so a folder held only as a place (O_PATH) fails as unreadable.
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!d) {
        const int err = errno;
        if (fd >= 0)
            ::close(fd);
        errno = err;
        return false;
    }
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        bool givenBack = false;
        if (!FileSystem::ownTemporary(dir, path, n, givenBack))
            names.push_back({n, e->d_type});
    }
    ::closedir(d);
    return true;
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

// Empties the folder the chain is in. False when the walk lost its way back up.
bool removeBelow(FolderChain& chain, const std::function<void(FsResult)>& note) {
    std::vector<Listed> names;
    if (!readNames(chain.fd(), chain.path(), names)) {
        note(errorAt(errno, chain.path()));
        return true;
    }
    for (const auto& [name, type] : names) {
        // As `rm -r`: what the listing says is no folder goes without a look;
        // a folder put at its name since is refused (EISDIR) and entered.
        if (type != DT_DIR && type != DT_UNKNOWN &&
            (::unlinkat(chain.fd(), name.constData(), 0) == 0 || errno == ENOENT))
            continue;
        if (type != DT_DIR && type != DT_UNKNOWN && errno != EISDIR) {
            note(errorAt(errno, chain.path() + '/' + name));
            continue;
        }
        struct stat st {};
        if (::fstatat(chain.fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            if (::unlinkat(chain.fd(), name.constData(), 0) != 0)
                note(errorAt(errno, chain.path() + '/' + name));
            continue;
        }
        const FolderId id = FolderId::of(st);
        if (!chain.enter(name, &id)) {
            note(errorAt(errno, chain.path() + '/' + name));
            continue;
        }
        if (!removeBelow(chain, note) || !chain.leave())
            return false;
        if (::unlinkat(chain.fd(), name.constData(), AT_REMOVEDIR) != 0)
            note(errorAt(errno, chain.path() + '/' + name));
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

FsResult removeTree(const QByteArray& path) {
    return removeTreeAt(AT_FDCWD, path, path);
}

FsResult removeTreeAt(int dir, const QByteArray& name, const QByteArray& path) {
    FsResult first;
    const auto note = [&first](FsResult r) {
        if (first && !r)
            first = std::move(r);
    };
    FolderChain chain;
    if (!chain.openTopAt(dir, name, path))
        return errorAt(errno, path);
    if (!removeBelow(chain, note))
        return errorAt(errno, path);
    // The top goes from its folder, as it was chosen: only while it is the folder emptied.
    struct stat st {};
    const FolderId top = chain.id();
    chain.clear();
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !(FolderId::of(st) == top))
        note(errorAt(ESTALE, path));
    else if (::unlinkat(dir, name.constData(), AT_REMOVEDIR) != 0)
        note(errorAt(errno, path));
    return first;
}
