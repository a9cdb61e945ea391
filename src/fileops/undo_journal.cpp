#include "fileops/undo_journal.h"

#include "base/name_text.h"
#include "fileops/side_copy.h"
#include "fs/folder_chain.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"

#include <QLocale>
#include <QSet>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folders of the command being noted, as given and as they are with the
// links on their way resolved, each held open (O_PATH): a command's steps
// share a few folders, and a folder new to it is mostly one just entered
// below one already held. That one is looked up in its parent's descriptor,
// not resolved again from the root, so a tree of any depth is noted in a
// number of steps in proportion to its entries, and a file's identity is
// taken in its folder whatever the length of its path.
class ResolvedFolders {
public:
    ResolvedFolders() = default;
    ResolvedFolders(const ResolvedFolders&) = delete;
    ResolvedFolders& operator=(const ResolvedFolders&) = delete;
    ~ResolvedFolders() { clear(); }

    void clear() {
        for (const Folder& f : m_folders)
            ::close(f.fd);
        m_folders.clear();
    }

    // The folder of `path` resolved, held at `fd` (-1 when it could not be
    // reached): the path returned names the same entry with no link on its way.
    QByteArray resolve(const QByteArray& path, int& fd) {
        fd = -1;
        if (path.isEmpty())
            return path;
        const FileLocation at = FileLocation::of(path);
        bool link = false;
        const Folder* folder = find(at.folder);
        if (!folder)
            folder = below(at.folder, link);
        // A link put in place of a folder the command made is not followed:
        // Undo then finds it on the way and leaves the step alone.
        if (!folder && !link)
            folder = fromRoot(at.folder);
        if (!folder)
            return path;
        fd = folder->fd;
        return FileLocation{folder->real, at.name}.path();
    }

private:
    struct Folder {
        QByteArray given, real;
        int fd = -1;
    };

    const Folder* find(const QByteArray& given) {
        for (size_t i = 0; i < m_folders.size(); ++i) {
            if (m_folders[i].given == given)
                return &m_folders[i];
        }
        return nullptr;
    }

    const Folder* keep(const QByteArray& given, QByteArray real, int fd) {
        if (fd < 0)
            return nullptr;
        if (m_folders.size() >= 8) {
            ::close(m_folders.front().fd);
            m_folders.erase(m_folders.begin());
        }
        m_folders.push_back({given, std::move(real), fd});
        return &m_folders.back();
    }

    // A subfolder of a folder held; `link` is set when a link stands there.
    const Folder* below(const QByteArray& given, bool& link) {
        const FileLocation at = FileLocation::of(given);
        const Folder* parent = at.folder == given ? nullptr : find(at.folder);
        if (!parent || at.name.isEmpty() || at.name == "." || at.name == "..")
            return nullptr;
        const QByteArray real = FileLocation{parent->real, at.name}.path();
        const int fd = ::openat(parent->fd, at.name.constData(),
                                O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        link = fd < 0 && (errno == ENOTDIR || errno == ELOOP);
        return keep(given, real, fd);
    }

    const Folder* fromRoot(const QByteArray& given) {
        char real[PATH_MAX];
        if (!::realpath(given.constData(), real))
            return nullptr;
        return keep(given, QByteArray(real),
                    ::open(real, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }

    std::vector<Folder> m_folders;
};

ResolvedFolders& resolvedFolders() {
    static ResolvedFolders folders;
    return folders;
}

} // namespace

void UndoJournal::begin(const QString& command, bool counted) {
    resolvedFolders().clear(); // links may lead elsewhere since the last command
    m_open = UndoRecord{command, {}};
    m_counted = counted;
}

void UndoJournal::record(UndoStep step, std::shared_ptr<FolderSide> on) {
    if (!m_open)
        return;
    if (on)
        step.side = std::move(on);
    // The paths of a side elsewhere are not this machine's to resolve: what
    // stands there is as that side tells it, reached from its root, unless
    // the step comes with it (told for many at once).
    if (step.side && !step.side->localFolder(step.side->root())) {
        const std::unique_ptr<SideWalk> walk = step.side->walk();
        const QByteArray name = FileLocation::of(step.path).name;
        struct stat st {};
        if (!step.path.isEmpty() && step.left.inode == 0 &&
            reachFolder(*walk, FileSystem::parentFolder(step.path), step.path) &&
            step.side->stat(walk->place(), name.constData(), st))
            step.left = FileIdentity::of(st);
        m_open->steps.push_back(std::move(step));
        return;
    }
    int fd = -1;
    step.oldPath = resolvedFolders().resolve(step.oldPath, fd);
    step.path = resolvedFolders().resolve(step.path, fd);
    const QByteArray name = FileLocation::of(step.path).name;
    if (const auto now =
            fd >= 0 ? FileIdentity::at(fd, name.constData()) : FileIdentity::of(step.path))
        step.left = *now;
    m_open->steps.push_back(std::move(step));
}

void UndoJournal::end() {
    resolvedFolders().clear();
    if (m_open && !m_open->steps.empty() && m_ended.isEmpty()) {
        if (m_counted) {
            // A file moved over another is two steps at one name.
            QSet<QByteArray> files;
            for (const UndoStep& s : m_open->steps) {
                if (s.kind != UndoStep::Kind::FolderMade &&
                    s.kind != UndoStep::Kind::FolderRemoved && s.kind != UndoStep::Kind::Noted)
                    files.insert(s.kind == UndoStep::Kind::Trashed ? s.oldPath : s.path);
            }
            const qsizetype n = files.size();
            m_open->title = QStringLiteral("%1 of %2 %3")
                                .arg(m_open->title, QLocale().toString(n),
                                     n == 1 ? QStringLiteral("File") : QStringLiteral("Files"));
        }
        m_records.push_back(std::move(*m_open));
    }
    m_open.reset();
}

void UndoJournal::endHistory(const QString& why) {
    m_records.clear();
    m_open.reset();
    m_ended = why;
}

UndoRecord UndoJournal::takeLast() {
    UndoRecord last = std::move(m_records.back());
    m_records.pop_back();
    return last;
}

void UndoJournal::putBack(UndoRecord record) {
    if (!record.steps.empty() && m_ended.isEmpty())
        m_records.push_back(std::move(record));
}

namespace {

FsResult failed(int err, const QByteArray& path, const QString& reason = {}) {
    if (reason.isEmpty())
        return FsError::fromErrno(err, nameText(path));
    return FsError(err, nameText(path), reason);
}

// One chain of folders that an Undo moves from one step's folder to the
// next by what their paths do not share, leaving and entering only that:
// steps of one folder or of folders side by side cost a few system calls
// whatever the depth. The first folder is reached from the root, one name at
// a time with no link followed (reachFolder), as is any folder the chain
// cannot reach from where it stands.
class Reacher {
public:
    // The folder `folder` on `side`.
    FsResult reach(FolderSide& side, const QByteArray& folder, const QByteArray& told) {
        const std::optional<QByteArray> plain = plainPath(folder);
        if (plain && m_path && m_side == &side && !m_chain->empty() && climb(*plain))
            return {};
        m_side = &side;
        m_chain = side.walk();
        FsResult reached = reachFolder(*m_chain, folder, told);
        m_path = reached ? plain : std::nullopt;
        if (!reached)
            m_chain.reset();
        return reached;
    }
    SidePlace place() const { return m_chain->place(); }

private:
    // An absolute path of names alone, without its trailing "/" ("" for the
    // root), which the chain's levels follow one for one; else nothing.
    static std::optional<QByteArray> plainPath(QByteArray path) {
        while (path.endsWith('/'))
            path.chop(1);
        const QByteArray tail = path.sliced(path.lastIndexOf('/') + 1);
        if (!(path + '/').startsWith('/') || path.contains("//") || path.contains("/./") ||
            path.contains("/../") || tail == "." || tail == "..")
            return std::nullopt;
        return path;
    }

    // From the folder the chain stands in up to the last folder it shares
    // with `folder`, then down to it. False when a step failed.
    bool climb(const QByteArray& folder) {
        const QByteArray& now = *m_path;
        qsizetype n = 0;
        while (n < now.size() && n < folder.size() && now[n] == folder[n])
            ++n;
        const bool whole =
            (n == now.size() || now[n] == '/') && (n == folder.size() || folder[n] == '/');
        const qsizetype shared = whole ? n : now.lastIndexOf('/', n - 1);
        for (qsizetype up = now.sliced(shared).count('/'); up > 0; --up) {
            if (!m_chain->leave())
                return false;
        }
        m_path = now.first(shared);
        for (const QByteArray& name : folder.sliced(shared).split('/')) {
            if (name.isEmpty())
                continue;
            if (!m_chain->enter(name))
                return false;
            *m_path += '/' + name;
        }
        return true;
    }

    FolderSide* m_side = nullptr;
    std::unique_ptr<SideWalk> m_chain;
    std::optional<QByteArray> m_path; // where the chain stands, as plainPath gives it
};

// The folder a step acts in, reached with no link followed, and the step's
// entry in it: nothing is done through a folder swapped for a link since the
// command.
struct Place {
    FolderSide& side;
    Reacher& folder;
    QByteArray name;
    FsResult reached;
    Place(FolderSide& on, Reacher& reacher, const QByteArray& path)
        : side(on), folder(reacher), name(FileLocation::of(path).name),
          reached(reacher.reach(on, FileSystem::parentFolder(path), path)) {}
    SidePlace where() const { return folder.place(); }
    bool look(struct stat& st) const { return side.stat(where(), name.constData(), st); }
};

// What one Undo carries from step to step: the chains that reach the steps'
// folders (the first for where a step is now, the second for where it goes
// back to), and the copies with more names whose other name it removed, as
// they were left then.
struct UndoWalk {
    Reacher reachers[2];
    std::map<std::pair<dev_t, ino_t>, FileIdentity> linksRemoved;
};

// A file moved or replaced goes back, or to the Trash: nothing is lost, so
// the change time, which the command's own later renames move, is not asked.
FsResult stillLeft(const UndoStep& step, const Place& at) {
    struct stat st {};
    if (!at.look(st))
        return failed(errno, step.path);
    if (!FileIdentity::of(st).sameButChange(step.left))
        return failed(ESTALE, step.path, QStringLiteral("changed since"));
    return {};
}

// `file` is told as the one not undone, `place` as where it cannot go.
FsResult placeFree(const QByteArray& file, const QByteArray& place, const Place& at) {
    struct stat st {};
    if (at.look(st))
        return failed(EEXIST, file, QStringLiteral("%1 is taken").arg(nameText(place)));
    return {};
}

// A copy still exactly as the command wrote it was never anything but that
// copy: it goes for good. One changed since may hold someone's work, even
// rewritten in place with its size and time put back (its change time
// moved): it goes to the Trash. The file looked at is the one removed,
// through its folder.
FsResult takeBackCopy(const UndoStep& step, const Place& at, UndoWalk& walk) {
    struct stat st {};
    if (!at.look(st))
        return failed(errno, step.path);
    const FileIdentity now = FileIdentity::of(st);
    const auto other = walk.linksRemoved.find({now.device, now.inode});
    if (now == step.left || (other != walk.linksRemoved.end() && now == other->second)) {
        // A copy with another name in the tree, which Undo takes too: the
        // name it loses moves the change time of the one left.
        struct stat left {};
        if (FsResult removed = at.side.removeFile(at.where(), at.name, step.path,
                                                  st.st_nlink > 1 ? &left : nullptr);
            !removed)
            return removed;
        if (left.st_nlink > 0)
            walk.linksRemoved[{now.device, now.inode}] = FileIdentity::of(left);
        return {};
    }
    TrashEntry entry;
    return at.side.trash(at.where(), at.name, step.path, entry);
}

// A file moved or renamed goes back from `at` to `home`, within one file
// system in one rename, else as a move copies it, both folders as reached.
FsResult moveBack(const UndoStep& step, const Place& at, const Place& home,
                  const CopyOptions& options) {
    if (FsResult free = placeFree(step.path, step.oldPath, home); !free)
        return free;
    if (at.side.rename(at.where(), at.name, home.where(), home.name))
        return {};
    if (errno != EXDEV)
        return failed(errno, step.path);
    const FileLocation from = FileLocation::of(step.path), to = FileLocation::of(step.oldPath);
    CopyOptions held = options;
    if (!lendPlaces(held, {at.side, at.where(), from.folder}, {home.side, home.where(), to.folder}))
        return failed(errno, step.path);
    bool copied = false;
    return moveFile(from, to, Existing::Keep, held, copied);
}

FsResult undoStep(const UndoStep& step, const CopyOptions& options, UndoWalk& walk) {
    Reacher(&reachers)[2] = walk.reachers;
    FolderSide& side = step.side ? *step.side : *localSide();
    using Kind = UndoStep::Kind;
    if (step.kind == Kind::Trashed) {
        const Place home(side, reachers[1], step.trashed.originalPath);
        if (!home.reached)
            return home.reached;
        if (FsResult free = placeFree(step.trashed.originalPath, step.trashed.originalPath, home);
            !free)
            return free;
        return side.restore(step.trashed);
    }
    const Place at(side, reachers[0], step.kind == Kind::FolderRemoved ? step.oldPath : step.path);
    if (!at.reached)
        return at.reached;
    if (step.kind == Kind::FolderRemoved)
        return side.makeFolder(at.where(), at.name, step.mode) ? FsResult()
                                                               : failed(errno, step.oldPath);
    if (step.kind == Kind::FolderMade) {
        // What is left in it now was put there by someone else: it stays.
        if (!side.removeFolder(at.where(), at.name) && errno != ENOTEMPTY && errno != EEXIST)
            return failed(errno, step.path);
        return {};
    }
    if (step.kind == Kind::Copied)
        return takeBackCopy(step, at, walk);
    if (step.kind == Kind::Noted) {
        FsResult removed = side.removeFile(at.where(), at.name, step.path, nullptr);
        return removed || removed.error().number() == ENOENT ? FsResult() : removed;
    }
    if (FsResult same = stillLeft(step, at); !same)
        return same;
    switch (step.kind) {
    case Kind::Replaced: {
        // The copy goes to the Trash by a second name first, so the old file
        // takes its place in one rename and the name is never empty.
        TrashEntry copy;
        if (FsResult kept = side.keepInTrash(at.where(), at.name, step.path, copy); !kept)
            return kept;
        FsResult back = side.restore(step.trashed, true);
        if (!back)
            side.discard(copy);
        return back;
    }
    case Kind::Moved:
    case Kind::Renamed: {
        const Place home(side, reachers[1], step.oldPath);
        return home.reached ? moveBack(step, at, home, options) : home.reached;
    }
    case Kind::Copied:
    case Kind::Trashed:
    case Kind::FolderMade:
    case Kind::FolderRemoved:
    case Kind::Noted:
        break;
    }
    return {};
}

} // namespace

QStringList undoRecord(const UndoRecord& record, const CopyOptions& options,
                       const std::function<bool(int)>& next) {
    QStringList notUndone;
    UndoWalk walk;
    for (int i = static_cast<int>(record.steps.size()) - 1; i >= 0; --i) {
        if (next && !next(i))
            break;
        if (FsResult done = undoStep(record.steps[static_cast<size_t>(i)], options, walk); !done)
            notUndone << done.error().description();
    }
    return notUndone;
}
