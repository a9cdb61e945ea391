#include "fileops/folder_tree.h"

#include "core/name_text.h"
#include "core/unique_fd.h"
#include "fileops/file_copy.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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

int openFolderAt(int dir, const char* name) {
    return ::openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names of a folder's entries but "." and "..", read in one pass so
// that no descriptor stays open below it; the program's own temporaries are
// left out (and cleared away when nothing holds them), as in a listing.
bool readNames(int dir, const QByteArray& path, std::vector<QByteArray>& names) {
    DIR* d = ::fdopendir(::dup(dir));
    if (!d)
        return false;
    while (const dirent* e = ::readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        bool givenBack = false;
        if (!FileSystem::ownTemporary(dir, path, n, givenBack))
            names.emplace_back(n);
    }
    ::closedir(d);
    return true;
}

void walk(const QByteArray& top, size_t folderAt, TreePlan& plan) {
    const TreeEntry here = plan.entries[folderAt];
    const QByteArray below = joined(here.folder, here.name);
    const QByteArray path = joined(top, below);
    UniqueFd dir{::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    std::vector<QByteArray> names;
    if (dir.fd < 0 || !readNames(dir.fd, path, names)) {
        plan.entries[folderAt].unreadable = errno;
        return;
    }
    std::vector<QByteArray> folders;
    for (const QByteArray& name : names) {
        struct stat st {};
        if (::fstatat(dir.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue; // gone since it was listed
        if (S_ISDIR(st.st_mode)) {
            folders.push_back(name);
            continue;
        }
        TreeEntry e{TreeEntry::Kind::Special, below, name, 0, 0};
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
    ::close(std::exchange(dir.fd, -1));
    for (const QByteArray& name : folders) {
        plan.entries.push_back({TreeEntry::Kind::Folder, below, name, 0, 0});
        walk(top, plan.entries.size() - 1, plan);
    }
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

FsResult planTree(const QByteArray& path, TreePlan& plan) {
    plan = {};
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return errorAt(errno, path);
    if (!S_ISDIR(st.st_mode))
        return errorAt(ENOTDIR, path);
    plan.entries.push_back({TreeEntry::Kind::Folder, {}, {}, 0, 0});
    walk(path, 0, plan);
    if (const int err = plan.entries.front().unreadable; err != 0)
        return errorAt(err, path);
    return {};
}

FsResult checkNotInside(const QByteArray& folder, const QByteArray& targetFolder) {
    struct stat moved {};
    if (::lstat(folder.constData(), &moved) != 0)
        return errorAt(errno, folder);
    UniqueFd at{::open(folderPath(targetFolder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    if (at.fd < 0)
        return errorAt(errno, targetFolder);
    struct stat here {};
    if (::fstat(at.fd, &here) != 0)
        return errorAt(errno, targetFolder);
    for (;;) {
        if (sameEntry(here, moved))
            return FsError(EINVAL, nameText(folder),
                           QStringLiteral("a folder cannot be put into itself or a folder below "
                                          "it"));
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

FsResult makeFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0)
        return errorAt(errno, path);
    return {};
}

FsResult finishFolder(const QByteArray& source, const QByteArray& path) {
    UniqueFd in{openFolderAt(AT_FDCWD, source.constData())};
    UniqueFd out{openFolderAt(AT_FDCWD, path.constData())};
    struct stat st {
    }, made{};
    if (in.fd < 0 || ::fstat(in.fd, &st) != 0)
        return errorAt(errno, source);
    if (out.fd < 0 || ::fstat(out.fd, &made) != 0)
        return errorAt(errno, path);
    if (const int err = keepAttributes(source, in.fd, st, path, out.fd, made); err != 0)
        return errorAt(err, path);
    return {};
}

FsResult removeTree(const QByteArray& path) {
    FsResult first;
    const auto note = [&first](FsResult r) {
        if (first && !r)
            first = std::move(r);
    };
    UniqueFd dir{openFolderAt(AT_FDCWD, path.constData())};
    std::vector<QByteArray> names;
    if (dir.fd < 0 || !readNames(dir.fd, path, names))
        return errorAt(errno, path);
    for (const QByteArray& name : names) {
        struct stat st {};
        if (::fstatat(dir.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode))
            note(removeTree(path + '/' + name));
        else if (::unlinkat(dir.fd, name.constData(), 0) != 0)
            note(errorAt(errno, path + '/' + name));
    }
    ::close(std::exchange(dir.fd, -1));
    if (::rmdir(path.constData()) != 0)
        note(errorAt(errno, path));
    return first;
}
