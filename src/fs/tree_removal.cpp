#include "fs/tree_removal.h"

#include "base/name_text.h"
#include "fs/folder_chain.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

FsError errorAt(int err, const QByteArray& path) {
    return FsError::fromErrno(err, nameText(path));
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

} // namespace

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
