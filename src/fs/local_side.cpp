#include "fs/local_side.h"

#include "base/name_text.h"
#include "fs/tree_removal.h"
#include "fs/unique_fd.h"

#include <QCryptographicHash>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

class LocalWalk final : public SideWalk {
public:
    explicit LocalWalk(size_t held) : m_chain(held) {}
    bool openTop(const QByteArray& path, bool followLink, const FolderId* expected) override {
        return m_chain.openTop(path, followLink, expected);
    }
    bool openTopAt(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                   const FolderId* expected) override {
        return m_chain.openTopAt(place.fd(), name, path, expected);
    }
    bool enter(const QByteArray& name, const FolderId* expected) override {
        return m_chain.enter(name, expected);
    }
    bool leave() override { return m_chain.leave(); }
    bool empty() const override { return m_chain.empty(); }
    SidePlace place() const override {
        return SidePlace::descriptor(m_chain.fd(), statsInFlightHere());
    }
    const FolderId& id() const override { return m_chain.id(); }

private:
    // Chosen once per device the walk meets, not asked of the system at
    // every folder: a walk of a whole tree meets one or two.
    int statsInFlightHere() const {
        const dev_t device = m_chain.id().device;
        for (const auto& [known, choice] : m_choices) {
            if (known == device)
                return choice;
        }
        return m_choices.emplace_back(device, statsInFlightOn(m_chain.fd())).second;
    }
    FolderChain m_chain;
    mutable std::vector<std::pair<dev_t, int>> m_choices;
};

} // namespace

const std::shared_ptr<FolderSide>& localSide() {
    static const std::shared_ptr<FolderSide> side = std::make_shared<LocalSide>();
    return side;
}

std::unique_ptr<SideWalk> LocalSide::walk(size_t held) {
    return std::make_unique<LocalWalk>(held);
}

SidePlace LocalSide::root() const {
    return SidePlace::descriptor(AT_FDCWD);
}

FolderListing LocalSide::list(const SidePlace& place, const QByteArray& path,
                              const FilterSettings& settings, const ScanOptions& options) {
    return listFilesAt(place.fd(), path, settings, options, place.statsInFlight());
}

bool LocalSide::stat(const SidePlace& place, const char* name, struct stat& st, bool followLink) {
    return ::fstatat(place.fd(), name, &st,
                     AT_EMPTY_PATH | (followLink ? 0 : AT_SYMLINK_NOFOLLOW)) == 0;
}

std::optional<QByteArray> LocalSide::linkTarget(const SidePlace& place, const char* name) {
    QByteArray to(PATH_MAX, Qt::Uninitialized);
    const ssize_t n = ::readlinkat(place.fd(), name, to.data(), size_t(to.size()));
    if (n < 0)
        return std::nullopt;
    to.truncate(n);
    return to;
}

std::optional<QByteArray> LocalSide::digest(const SidePlace& place, const char* name,
                                            const std::atomic<bool>* cancel, bool followLink) {
    const UniqueFd file{
        ::openat(place.fd(), name,
                 O_RDONLY | (followLink ? 0 : O_NOFOLLOW) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0)
        return std::nullopt;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return std::nullopt;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(256 * 1024, Qt::Uninitialized);
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            errno = ECANCELED;
            return std::nullopt;
        }
        const ssize_t n = ::read(file.fd, block.data(), size_t(block.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return hash.result();
        hash.addData(QByteArrayView(block.constData(), n));
    }
}

bool LocalSide::setModified(const SidePlace& place, const char* name,
                            const struct timespec& modified) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, modified};
    if (*name)
        return ::utimensat(place.fd(), name, times, AT_SYMLINK_NOFOLLOW) == 0;
    // The folder itself, held perhaps only as a place (O_PATH), through its
    // descriptor's name.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(place.fd());
    return ::utimensat(AT_FDCWD, self.constData(), times, 0) == 0;
}

FsResult LocalSide::remove(const SidePlace& place, const QByteArray& name, const QByteArray& path) {
    // A file or a link in one call; a folder is told by EISDIR.
    if (::unlinkat(place.fd(), name.constData(), 0) == 0)
        return {};
    if (errno == EISDIR && ::unlinkat(place.fd(), name.constData(), AT_REMOVEDIR) == 0)
        return {};
    return FsError::fromErrno(errno, nameText(path));
}

FsResult LocalSide::trash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                          TrashEntry& entry) {
    return Trash::moveToTrashAt(place.fd(), name, path, entry);
}

FsResult LocalSide::restore(const TrashEntry& entry, bool replace) {
    return Trash::restore(entry, replace);
}

bool LocalSide::makeFolder(const SidePlace& place, const QByteArray& name, mode_t mode) {
    return ::mkdirat(place.fd(), name.constData(), mode) == 0;
}

bool LocalSide::removeFolder(const SidePlace& place, const QByteArray& name) {
    return ::unlinkat(place.fd(), name.constData(), AT_REMOVEDIR) == 0;
}

bool LocalSide::rename(const SidePlace& fromPlace, const QByteArray& from, const SidePlace& toPlace,
                       const QByteArray& to) {
    return FileSystem::renameNoReplace(fromPlace.fd(), from.constData(), toPlace.fd(),
                                       to.constData()) == 0;
}

FsResult LocalSide::removeTree(const SidePlace& place, const QByteArray& name,
                               const QByteArray& path) {
    return removeTreeAt(place.fd(), name, path);
}

FsResult LocalSide::removeFile(const SidePlace& place, const QByteArray& name,
                               const QByteArray& path, struct stat* left) {
    // Held by a descriptor, its data is still seen once its name is gone.
    const UniqueFd held{
        left ? ::openat(place.fd(), name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC) : -1};
    if (::unlinkat(place.fd(), name.constData(), 0) != 0)
        return FsError::fromErrno(errno, nameText(path));
    if (left && (held.fd < 0 || ::fstat(held.fd, left) != 0))
        *left = {};
    return {};
}

FsResult LocalSide::keepInTrash(const SidePlace& place, const QByteArray& name,
                                const QByteArray& path, TrashEntry& entry) {
    return Trash::linkIntoTrashAt(place.fd(), name, path, entry);
}

void LocalSide::discard(const TrashEntry& entry) {
    Trash::discard(entry);
}
