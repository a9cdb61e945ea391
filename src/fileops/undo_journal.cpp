#include "fileops/undo_journal.h"

#include "core/folder_chain.h"
#include "core/name_text.h"
#include "core/unique_fd.h"

#include <QLocale>
#include <QSet>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folders of the command being noted, as given and as they are with the
// links on their way resolved: a command's files share a few folders.
std::vector<std::pair<QByteArray, QByteArray>>& resolvedFolders() {
    static std::vector<std::pair<QByteArray, QByteArray>> folders;
    return folders;
}

// `path` with its folder's links resolved while they lead where the user
// chose: Undo reaches that folder again with no link followed.
QByteArray withoutLinks(const QByteArray& path) {
    if (path.isEmpty())
        return path;
    const FileLocation at = FileLocation::of(path);
    auto& known = resolvedFolders();
    for (const auto& [given, real] : known) {
        if (given == at.folder)
            return FileLocation{real, at.name}.path();
    }
    char real[PATH_MAX];
    if (!::realpath(at.folder.constData(), real))
        return path;
    if (known.size() >= 8)
        known.erase(known.begin());
    known.emplace_back(at.folder, QByteArray(real));
    return FileLocation{known.back().second, at.name}.path();
}

} // namespace

void UndoJournal::begin(const QString& command, bool counted) {
    resolvedFolders().clear(); // links may lead elsewhere since the last command
    m_open = UndoRecord{command, {}};
    m_counted = counted;
}

void UndoJournal::record(UndoStep step) {
    if (!m_open)
        return;
    step.path = withoutLinks(step.path);
    step.oldPath = withoutLinks(step.oldPath);
    if (const auto now = FileIdentity::of(step.path))
        step.left = *now;
    m_open->steps.push_back(std::move(step));
}

void UndoJournal::end() {
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

// The folder a step acts in, reached from the root with no link followed,
// and the step's entry in it: nothing is done through a folder swapped for
// a link since the command.
struct Place {
    FolderChain folder;
    QByteArray name;
    FsResult reached;
    explicit Place(const QByteArray& path)
        : name(FileLocation::of(path).name),
          reached(reachFolder(folder, FileSystem::parentFolder(path), path)) {}
    int fd() const { return folder.fd(); }
    bool look(struct stat& st) const {
        return ::fstatat(fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    }
};

FileIdentity identityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

FsResult stillLeft(const UndoStep& step, const Place& at) {
    struct stat st {};
    if (!at.look(st))
        return failed(errno, step.path);
    if (!(identityOf(st) == step.left))
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
// copy: it goes for good. One changed since may hold someone's work: it goes
// to the Trash. The file looked at is the one removed, through its folder.
FsResult takeBackCopy(const UndoStep& step, const Place& at) {
    struct stat st {};
    if (!at.look(st))
        return failed(errno, step.path);
    if (identityOf(st) == step.left)
        return ::unlinkat(at.fd(), at.name.constData(), 0) == 0 ? FsResult()
                                                                : failed(errno, step.path);
    TrashEntry entry;
    return Trash::moveToTrash(step.path, entry);
}

// A file moved or renamed goes back from `at` to `home`, within one file
// system in one rename, else as a move copies it, both folders as reached.
FsResult moveBack(const UndoStep& step, const Place& at, const Place& home,
                  const CopyOptions& options) {
    if (FsResult free = placeFree(step.path, step.oldPath, home); !free)
        return free;
    if (::renameat2(at.fd(), at.name.constData(), home.fd(), home.name.constData(),
                    RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EXDEV)
        return failed(errno, step.path);
    const FileLocation from = FileLocation::of(step.path), to = FileLocation::of(step.oldPath);
    CopyOptions held = options;
    held.folders = std::make_shared<HeldFolders>();
    held.folders->lend(folderPath(from.folder), at.fd());
    held.folders->lend(folderPath(to.folder), home.fd());
    bool copied = false;
    return moveFile(from, to, Existing::Keep, held, copied);
}

FsResult undoStep(const UndoStep& step, const CopyOptions& options) {
    using Kind = UndoStep::Kind;
    if (step.kind == Kind::Trashed) {
        const Place home(step.trashed.originalPath);
        if (!home.reached)
            return home.reached;
        if (FsResult free = placeFree(step.trashed.originalPath, step.trashed.originalPath, home);
            !free)
            return free;
        return Trash::restore(step.trashed);
    }
    const Place at(step.kind == Kind::FolderRemoved ? step.oldPath : step.path);
    if (!at.reached)
        return at.reached;
    if (step.kind == Kind::FolderRemoved)
        return ::mkdirat(at.fd(), at.name.constData(), step.mode) == 0
                   ? FsResult()
                   : failed(errno, step.oldPath);
    if (step.kind == Kind::FolderMade) {
        // What is left in it now was put there by someone else: it stays.
        if (::unlinkat(at.fd(), at.name.constData(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
            errno != EEXIST)
            return failed(errno, step.path);
        return {};
    }
    if (step.kind == Kind::Copied)
        return takeBackCopy(step, at);
    if (step.kind == Kind::Noted)
        return ::unlinkat(at.fd(), at.name.constData(), 0) == 0 || errno == ENOENT
                   ? FsResult()
                   : failed(errno, step.path);
    if (FsResult same = stillLeft(step, at); !same)
        return same;
    switch (step.kind) {
    case Kind::Replaced: {
        // The copy goes to the Trash by a second name first, so the old file
        // takes its place in one rename and the name is never empty.
        TrashEntry copy;
        if (FsResult kept = Trash::linkIntoTrash(step.path, copy); !kept)
            return kept;
        FsResult back = Trash::restore(step.trashed, true);
        if (!back)
            Trash::discard(copy);
        return back;
    }
    case Kind::Moved:
    case Kind::Renamed: {
        const Place home(step.oldPath);
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
    for (int i = static_cast<int>(record.steps.size()) - 1; i >= 0; --i) {
        if (next && !next(i))
            break;
        if (FsResult done = undoStep(record.steps[static_cast<size_t>(i)], options); !done)
            notUndone << done.error().description();
    }
    return notUndone;
}
