#include "fs/trash.h"

#include "base/name_text.h"
#include "fs/folder_chain.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

FsError errorAt(int err, const QByteArray& path) {
    return FsError::fromErrno(err, nameText(path));
}

QByteArray baseName(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// The path with its folder resolved, the last name kept as it is: a link is
// trashed itself, never what it leads to.
std::optional<QByteArray> absolutePath(const QByteArray& path, int& err) {
    QByteArray trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    const QByteArray name = baseName(trimmed);
    if (name.isEmpty() || name == "." || name == "..") {
        err = EINVAL;
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    if (!::realpath(FileSystem::parentFolder(trimmed).constData(), resolved)) {
        err = errno;
        return std::nullopt;
    }
    QByteArray folder(resolved);
    return (folder == "/" ? folder : folder + '/') + name;
}

std::optional<dev_t> deviceOf(const QByteArray& path, bool followLink) {
    struct stat st {};
    const int rc = followLink ? ::stat(path.constData(), &st) : ::lstat(path.constData(), &st);
    if (rc != 0)
        return std::nullopt;
    return st.st_dev;
}

QByteArray homeTrash();

// A trash's folders, reached from the folder above it one name at a time,
// never through a link, and checked on the descriptor each time it is used
// (so a folder swapped since the last use is not): the trash and its
// files/ and info/ are the user's own, a trash at a file system's top is
// also 0700, and a shared ".Trash" above it is sticky.
struct TrashDirs {
    UniqueFd files, info;
};

FsResult openTrash(const QByteArray& folder, bool make, TrashDirs& dirs) {
    const QByteArray uid = QByteArray::number(::getuid());
    const bool shared = folder.endsWith("/.Trash/" + uid);
    const bool home = folder == homeTrash();
    const QByteArray base = shared ? folder.chopped(int(sizeof "/.Trash/") - 1 + uid.size())
                                   : FileSystem::parentFolder(folder);
    UniqueFd at(::open(base.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (at.fd < 0)
        return errorAt(errno, base);
    const FsError unsafe(EPERM, nameText(folder),
                         QStringLiteral("the trash folder is not safe to use (a link, someone "
                                        "else's, or open to others)"));
    const auto down = [&](const QByteArray& name, bool mine, bool mkdirIt) {
        if (mkdirIt)
            (void)::mkdirat(at.fd, name.constData(), 0700);
        UniqueFd next(
            ::openat(at.fd, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (next.fd < 0 || ::fstat(next.fd, &st) != 0)
            return errno == ELOOP || errno == ENOTDIR ? FsResult(unsafe) : errorAt(errno, folder);
        if (mine ? st.st_uid != ::getuid() : !(st.st_mode & S_ISVTX))
            return FsResult(unsafe);
        std::swap(at.fd, next.fd);
        return FsResult();
    };
    if (shared) {
        if (FsResult r = down(".Trash", false, false); !r)
            return r;
    }
    const QByteArray name = shared ? uid : folder.mid(folder.lastIndexOf('/') + 1);
    if (FsResult r = down(name, true, make); !r)
        return r;
    struct stat st {};
    if (!home && (::fstat(at.fd, &st) != 0 || (st.st_mode & 0777) != 0700))
        return unsafe;
    for (auto [sub, fd] : {std::pair{"files", &dirs.files}, {"info", &dirs.info}}) {
        if (make)
            (void)::mkdirat(at.fd, sub, 0700);
        fd->fd = ::openat(at.fd, sub, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd->fd < 0 || ::fstat(fd->fd, &st) != 0 || st.st_uid != ::getuid())
            return fd->fd < 0 && errno != ELOOP && errno != ENOTDIR ? errorAt(errno, folder)
                                                                    : FsResult(unsafe);
    }
    return {};
}

bool usableTrash(const QByteArray& folder) {
    TrashDirs dirs;
    return openTrash(folder, true, dirs).ok();
}

QByteArray homeTrash() {
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || !data.startsWith('/'))
        data = qgetenv("HOME") + "/.local/share";
    return data + "/Trash";
}

// The highest folder above `path` that is still on its file system.
QByteArray topFolder(const QByteArray& path, dev_t device) {
    QByteArray top = FileSystem::parentFolder(path);
    while (top != "/") {
        const QByteArray up = FileSystem::parentFolder(top);
        if (deviceOf(up, true) != device)
            break;
        top = up;
    }
    return top;
}

// A trash found for a file system, with the top folder its info paths are
// relative to ("" for absolute paths): looked up once, so a command trashing
// many files does not look for it each time; forgotten when it fails.
struct KnownTrash {
    dev_t device;
    QByteArray folder;
    QByteArray top;
};

std::vector<KnownTrash>& knownTrashes() {
    static std::vector<KnownTrash> known;
    return known;
}

std::optional<QByteArray> findTrash(const QByteArray& path, dev_t device, QByteArray& top);

// The trash for an entry on `device` at the absolute `path`, and the path its
// info file records (relative to the top folder outside the home trash).
std::optional<QByteArray> trashFor(const QByteArray& path, dev_t device, QByteArray& pathInInfo) {
    std::vector<KnownTrash>& known = knownTrashes();
    const QByteArray home = homeTrash();
    auto it = std::find_if(known.begin(), known.end(), [&](const KnownTrash& k) {
        return k.device == device && (!k.top.isEmpty() || k.folder == home);
    });
    // The user's own .Trash-$uid only while the administrator made no .Trash.
    const auto sharedMadeSince = [](const KnownTrash& k) {
        struct stat st {};
        return !k.top.isEmpty() &&
               !k.folder.endsWith("/.Trash/" + QByteArray::number(::getuid())) &&
               ::lstat((k.top + ".Trash").constData(), &st) == 0;
    };
    if (it != known.end() && (!path.startsWith(it->top) || sharedMadeSince(*it))) {
        known.erase(it);
        it = known.end();
    }
    if (it == known.end()) {
        QByteArray top;
        const std::optional<QByteArray> folder = findTrash(path, device, top);
        if (!folder)
            return std::nullopt;
        it = known.insert(known.end(), {device, *folder, top});
    }
    pathInInfo = path.mid(it->top.size());
    return it->folder;
}

std::optional<QByteArray> findTrash(const QByteArray& path, dev_t device, QByteArray& top) {
    const QByteArray home = homeTrash();
    QByteArray homeBase = home;
    while (!deviceOf(homeBase, true) && homeBase != "/")
        homeBase = FileSystem::parentFolder(homeBase);
    if (deviceOf(homeBase, true) == device) {
        QDir().mkpath(QFile::decodeName(FileSystem::parentFolder(home)));
        if (usableTrash(home))
            return home;
    }
    const QByteArray topPath = topFolder(path, device);
    const QByteArray prefix = topPath == "/" ? topPath : topPath + '/';
    top = prefix;
    const QByteArray uid = QByteArray::number(::getuid());
    struct stat st {};
    const QByteArray shared = prefix + ".Trash";
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) &&
        usableTrash(shared + '/' + uid))
        return shared + '/' + uid;
    if (usableTrash(prefix + ".Trash-" + uid))
        return prefix + ".Trash-" + uid;
    return std::nullopt;
}

// Where the search for a free "name.N" starts, by trash and name: past the
// last number this run took. Without it every file of a common name (a
// tree's thousands of "index.js") looked at every number taken before it.
class NumberHints {
public:
    int start(const std::string& key) {
        const std::lock_guard hold(m_lock);
        const auto found = m_next.find(key);
        return found == m_next.end() ? 2 : found->second;
    }
    void taken(const std::string& key, int n) {
        const std::lock_guard hold(m_lock);
        int& next = m_next[key];
        next = std::max(next, n + 1);
    }

private:
    std::mutex m_lock;
    std::unordered_map<std::string, int> m_next;
};

NumberHints& numberHints() {
    static NumberHints hints;
    return hints;
}

// Reserves a name in the trash by creating its info file, trying "name",
// "name.2", "name.3", ...; a name taken in files/ (an entry whose info is
// gone) counts as taken. An over-long name is shortened: the info file
// keeps the whole original path.
std::optional<QByteArray> reserveName(const QByteArray& folder, const TrashDirs& dirs,
                                      const QByteArray& original, const QByteArray& info,
                                      int& err) {
    QByteArray base = baseName(original);
    constexpr int room = NAME_MAX - 10 - 8; // ".trashinfo" and a ".NNNNNNN"
    constexpr int lastNumber = 9999999;
    if (base.size() > room)
        base.truncate(room);
    const std::string key = (folder + '/' + base).toStdString();
    const int from = numberHints().start(key);
    // Numbers below the hint may have been freed: the plain name is always
    // tried first, then on from where the last search ended.
    for (int n = 1; n <= lastNumber; n = n == 1 ? from : n + 1) {
        const QByteArray name = n == 1 ? base : base + '.' + QByteArray::number(n);
        struct stat st {};
        if (::fstatat(dirs.files.fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        const QByteArray infoName = name + ".trashinfo";
        UniqueFd fd(::openat(dirs.info.fd, infoName.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.fd < 0) {
            if (errno == EEXIST)
                continue;
            err = errno;
            return std::nullopt;
        }
        // Not flushed: the rename that follows reaches the disk no earlier,
        // and without its info a trashed file is still whole in files/.
        const ssize_t written = ::write(fd.fd, info.constData(), info.size());
        if (written != info.size() || ::close(std::exchange(fd.fd, -1)) != 0) {
            err = written < 0 ? errno : EIO;
            ::unlinkat(dirs.info.fd, infoName.constData(), 0);
            return std::nullopt;
        }
        if (n > 1)
            numberHints().taken(key, n);
        return name;
    }
    err = EEXIST;
    return std::nullopt;
}

enum class Way { Move, Link };

// Where the entry `name` of the folder held at `dir` is now: the folder's
// own path as the system knows it, whatever path led to it.
std::optional<QByteArray> pathAt(int dir, const QByteArray& name, int& err) {
    if (dir == AT_FDCWD)
        return absolutePath(name, err);
    char held[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(dir);
    const ssize_t n = ::readlink(link.constData(), held, sizeof held);
    if (n <= 0 || held[0] != '/') {
        err = n < 0 ? errno : ENOENT;
        return std::nullopt;
    }
    const QByteArray folder(held, n);
    return (folder == "/" ? folder : folder + '/') + name;
}

// The entry `name` of the folder `dir` (AT_FDCWD: `name` is its path),
// named `path` in messages.
FsResult putInTrashOnce(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                        const QDateTime& deleted, Way way) {
    int err = 0;
    const std::optional<QByteArray> absolute = pathAt(dir, name, err);
    if (!absolute)
        return errorAt(err, path);
    const QByteArray& at = dir == AT_FDCWD ? *absolute : name;
    struct stat st {};
    if (::fstatat(dir, at.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, path);
    QByteArray pathInInfo;
    const std::optional<QByteArray> folder = trashFor(*absolute, st.st_dev, pathInInfo);
    if (!folder)
        return FsError(ENOTSUP, nameText(path), QStringLiteral("there is no Trash on its drive"));
    TrashDirs dirs;
    if (FsResult opened = openTrash(*folder, false, dirs); !opened)
        return opened;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::optional<QByteArray> taken =
            reserveName(*folder, dirs, *absolute, Trash::infoText(pathInInfo, deleted), err);
        if (!taken)
            return errorAt(err, *folder + "/info");
        entry = {*folder, *taken, *absolute, FileIdentity::of(st)};
        const int rc = way == Way::Move
                           ? ::renameat2(dir, at.constData(), dirs.files.fd, taken->constData(),
                                         RENAME_NOREPLACE)
                           : ::linkat(dir, at.constData(), dirs.files.fd, taken->constData(), 0);
        if (rc == 0)
            return {};
        err = errno;
        ::unlinkat(dirs.info.fd, (*taken + ".trashinfo").constData(), 0);
        if (err == EEXIST)
            continue; // taken between the look and the rename: the next name
        if (err == EXDEV)
            return FsError(ENOTSUP, nameText(path),
                           QStringLiteral("there is no Trash on its drive"));
        return errorAt(err, path);
    }
    return errorAt(EEXIST, *folder + "/files");
}

FsResult putInTrash(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                    const QDateTime& deleted, Way way) {
    FsResult done = putInTrashOnce(dir, name, path, entry, deleted, way);
    // A trash removed since it was found is looked for, and made, again.
    if (!done && (done.error().number() == ENOENT || done.error().number() == ENOTDIR) &&
        !knownTrashes().empty()) {
        knownTrashes().clear();
        done = putInTrashOnce(dir, name, path, entry, deleted, way);
    }
    return done;
}

} // namespace

namespace Trash {

bool isTopTrashName(const char* name) {
    if (std::strncmp(name, ".Trash", 6) != 0)
        return false;
    if (name[6] == '\0')
        return true;
    if (name[6] != '-' || name[7] == '\0')
        return false;
    for (const char* c = name + 7; *c; ++c) {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

QByteArray infoText(const QByteArray& pathInInfo, const QDateTime& deleted) {
    return "[Trash Info]\nPath=" + pathInInfo.toPercentEncoding("/") +
           "\nDeletionDate=" + deleted.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
           '\n';
}

FsResult moveToTrash(const QByteArray& path, TrashEntry& entry, const QDateTime& deleted) {
    return putInTrash(AT_FDCWD, path, path, entry, deleted, Way::Move);
}

FsResult moveToTrashAt(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                       const QDateTime& deleted) {
    return putInTrash(dir, name, path, entry, deleted, Way::Move);
}

FsResult linkIntoTrash(const QByteArray& path, TrashEntry& entry, const QDateTime& deleted) {
    return putInTrash(AT_FDCWD, path, path, entry, deleted, Way::Link);
}

FsResult linkIntoTrashAt(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                         const QDateTime& deleted) {
    return putInTrash(dir, name, path, entry, deleted, Way::Link);
}

void discard(const TrashEntry& entry) {
    TrashDirs dirs;
    if (!openTrash(entry.folder, false, dirs))
        return;
    ::unlinkat(dirs.files.fd, entry.name.constData(), 0);
    ::unlinkat(dirs.info.fd, (entry.name + ".trashinfo").constData(), 0);
}

FsResult restore(const TrashEntry& entry, bool replace) {
    const QByteArray from = entry.filePath();
    TrashDirs dirs;
    if (FsResult opened = openTrash(entry.folder, false, dirs); !opened)
        return opened;
    struct stat st {};
    if (::fstatat(dirs.files.fd, entry.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorAt(errno, from);
    // Its renaming into the Trash moved its change time.
    if (!FileIdentity::of(st).sameButChange(entry.identity))
        return FsError(ESTALE, nameText(from), QStringLiteral("not the file that was trashed"));
    // The folder it goes back into, reached from the root one name at a
    // time: a link put in its way since is never followed.
    const QByteArray& to = entry.originalPath;
    const std::unique_ptr<SideWalk> home = LocalSide().walk();
    if (FsResult reached = reachFolder(*home, FileSystem::parentFolder(to), to); !reached)
        return reached;
    if (::renameat2(dirs.files.fd, entry.name.constData(), home->place().fd(),
                    baseName(to).constData(), replace ? 0 : RENAME_NOREPLACE) != 0)
        return errorAt(errno, to);
    ::unlinkat(dirs.info.fd, (entry.name + ".trashinfo").constData(), 0);
    return {};
}

} // namespace Trash
