#include "fileops/tree_transfer.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "fileops/command_host.h"
#include "fileops/side_copy.h"
#include "fileops/source_removals.h"
#include "fileops/undo_journal.h"
#include "fs/local_side.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray at(const QByteArray& top, const QByteArray& below) {
    return below.isEmpty() ? top : top + '/' + below;
}

// True when `below` is the folder `folder` or lies under it.
bool holds(const QByteArray& folder, const QByteArray& below) {
    return folder.isEmpty() || below == folder || below.startsWith(folder + '/');
}

// A folder of the copy between its making and its finishing: both chains
// stand in it while its entries are copied.
struct OpenFolder {
    QByteArray below;  // its path below the top, "" for the top
    QByteArray name;   // its name in the folder above
    FolderId id;       // the source folder as the plan found it
    bool made = false; // made by the copy, not merged into one that was there
};

// The target folder `name` at `place` on `side`: made open to the user alone
// while the copy fills it (`made`), or one that is there, merged into.
// Entered in `chain` (without following a link), as its `top`.
FsResult enterTarget(FolderSide& side, SideWalk& chain, const SidePlace& place,
                     const QByteArray& name, const QByteArray& path, bool top, bool& made) {
    made = side.makeFolder(place, name, 0700);
    if (!made && errno != EEXIST)
        return FsError::fromErrno(errno, nameText(path));
    const bool entered = top ? chain.openTopAt(place, name, path) : chain.enter(name);
    if (!entered) // something else than a folder stands where the folder goes
        return FsError::fromErrno(errno == ELOOP ? ENOTDIR : errno, nameText(path));
    return {};
}

// The copies made of files with more names in the tree, by the source's
// identity: their other names become links to the copy, as `cp -a` keeps
// them. Held as descriptors (a few hundred at most; past that the rest
// are copied) so no path of the target is followed to reach them again.
class FirstCopies {
public:
    // The entry `name` of `dir` when it is free: a name a copy may then take.
    static bool isFree(int dir, const QByteArray& name) {
        struct stat st {};
        return ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    }
    // Notes the copy of `e` just made at `name` in `dir`.
    void note(const TreeEntry& e, int dir, const QByteArray& name) {
        if (m_copies.size() >= 256 || m_copies.count(key(e)))
            return;
        const int fd = ::openat(dir, name.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            m_copies[key(e)] = fd;
        else if (fd >= 0)
            ::close(fd);
    }
    // Gives the copy of a file `e` already copied the free name `name` in `dir`.
    bool link(const TreeEntry& e, int dir, const QByteArray& name) const {
        const auto it = m_copies.find(key(e));
        if (it == m_copies.end())
            return false;
        const QByteArray held = "/proc/self/fd/" + QByteArray::number(it->second);
        return ::linkat(AT_FDCWD, held.constData(), dir, name.constData(), AT_SYMLINK_FOLLOW) == 0;
    }
    ~FirstCopies() {
        for (const auto& [k, fd] : m_copies)
            ::close(fd);
    }

private:
    static std::pair<dev_t, ino_t> key(const TreeEntry& e) { return {e.id.device, e.id.inode}; }
    std::map<std::pair<dev_t, ino_t>, int> m_copies;
};

FsError changedError(int err, const QByteArray& path) {
    if (err == ESTALE || err == ELOOP || err == ENOTDIR)
        return FsError(err, nameText(path),
                       QStringLiteral("the folder was replaced since it was read: nothing in it "
                                      "was touched"));
    return FsError::fromErrno(err, nameText(path));
}

} // namespace

AfterFile transferFolder(CommandHost& host, const Transfer& t, const TreePlan& plan,
                         const CopyOptions& options, TreeRun& run) {
    const QByteArray from = t.source.path();
    const FileLocation topTarget = pasteTarget(t);
    const QByteArray top = topTarget.path();
    FolderSide& fromSide = t.sides[0] ? *t.sides[0] : *localSide();
    FolderSide& toSide = t.sides[1] ? *t.sides[1] : *localSide();
    const auto tell = [&](const QString& what, const FsError& error) {
        return tellFailure(host, what, error, t.othersFollow);
    };
    const QString notCopied = QStringLiteral("%1 could not be copied.");
    // The copy engine reads and writes the folders here: a side elsewhere
    // copies a tree with its own transfer, and no local folder of its name is opened.
    if (!fromSide.localFolder(fromSide.root()) || !toSide.localFolder(toSide.root()))
        return tell(notCopied.arg(t.source.text()), FsError::fromErrno(EREMOTE, nameText(from)))
                   ? AfterFile::Stop
                   : AfterFile::GoOn;
    // The folders holding the two tops, as the command holds them (else
    // opened here, from the folders chosen): each top is named at its folder.
    UniqueFd ownFrom, ownTop;
    const int fromDir = openFolderOf(options, t.source.folder, O_RDONLY, ownFrom);
    const int topDir = fromDir < 0 ? -1 : openFolderOf(options, t.targetFolder, O_RDONLY, ownTop);
    if (topDir < 0)
        return tell(notCopied.arg(t.source.text()),
                    FsError::fromErrno(errno,
                                       nameText(fromDir < 0 ? t.source.folder : t.targetFolder)))
                   ? AfterFile::Stop
                   : AfterFile::GoOn;
    const SidePlace fromPlace = SidePlace::descriptor(fromDir),
                    topPlace = SidePlace::descriptor(topDir);
    const QByteArray &fromName = t.source.name, &topName = topTarget.name;
    if (FsResult inside = checkNotInside(from, t.targetFolder, plan); !inside)
        return tell(notCopied.arg(t.source.text()), inside.error()) ? AfterFile::Stop
                                                                    : AfterFile::GoOn;
    if (t.move) {
        // Within one file system the whole tree moves in one rename.
        if (&fromSide == &toSide && fromSide.rename(fromPlace, fromName, topPlace, topName)) {
            if (t.journal)
                t.journal->record({UndoStep::Kind::Moved, top, from, {}, {}}, t.sides[1]);
            run.advanced(plan.files, plan.bytes);
            return AfterFile::GoOn;
        }
        if (&fromSide == &toSide && errno != EXDEV && errno != EEXIST && errno != ENOTEMPTY)
            return tell(notCopied.arg(t.source.text()), FsError::fromErrno(errno, nameText(from)))
                       ? AfterFile::Stop
                       : AfterFile::GoOn;
    }
    size_t lastFile = 0;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (plan.entries[i].kind != TreeEntry::Kind::Folder)
            lastFile = i;
    }
    // The folders are entered from their parents, each source folder only
    // as the plan found it: no one writing in either tree meanwhile can
    // send the copy, or a move's removals, elsewhere.
    const std::unique_ptr<SideWalk> in = fromSide.walk(), out = toSide.walk();
    std::vector<OpenFolder> open;
    AfterFile after = AfterFile::GoOn;
    bool lost = false; // a folder above moved away: the copy cannot go on
    // Each folder's files reach it through the chains' descriptors, lent to
    // the file steps while they are copied. A move's sources go a batch at a
    // time, once the batch's copies are on disk.
    CopyOptions fileOptions = options;
    const auto removals = options.removals ? options.removals
                          : t.move         ? std::make_shared<SourceRemovals>()
                                           : nullptr;
    fileOptions.removals = removals;
    const auto flushRemovals = [&] {
        if (removals && removals->flush(fileOptions) == SourceRemovals::After::Stop)
            after = AfterFile::Stop;
    };
    // A name that goes with the batch, when it is still the entry `id`.
    const auto removeLater = [&](int dir, const QByteArray& name, const FolderId& id, bool folder,
                                 SourceRemovals::Then then) {
        if (!removals->addName(dir, name, id.device, id.inode, folder, then)) {
            flushRemovals(); // too many folders held: the batch goes now
            if (!removals->addName(dir, name, id.device, id.inode, folder, then))
                then(FsError::fromErrno(errno, nameText(name)), false);
        }
        if (removals->full())
            flushRemovals();
    };
    // Times go on last, as the entries made in a folder change them; a moved
    // tree's source folder goes once it is empty.
    const auto close = [&] {
        const OpenFolder f = open.back();
        open.pop_back();
        const QByteArray source = at(from, f.below), target = at(top, f.below);
        if (f.made) {
            if (FsResult kept = finishFolder(in->place().fd(), source, out->place().fd(), target);
                !kept)
                tellFailure(host, notCopied.arg(nameText(source)), kept.error());
        }
        const FolderId id = in->id();
        if (!in->leave() || !out->leave()) {
            lost = true;
            tell(notCopied.arg(nameText(source)), changedError(ESTALE, source));
            return;
        }
        struct stat st {};
        const SidePlace at = in->empty() ? fromPlace : in->place();
        const QByteArray name = in->empty() ? fromName : f.name;
        if (!t.move || !fromSide.stat(at, name.constData(), st) || !(FolderId::of(st) == id))
            return;
        const int dir = *fromSide.localFolder(at); // a move's batch is the copy engine's
        const mode_t mode = st.st_mode & 07777;
        removeLater(dir, name, id, true, [&t, source, mode](const FsResult& removed, bool) {
            if (removed && t.journal) {
                UndoStep step{UndoStep::Kind::FolderRemoved, {}, source, {}, {}};
                step.mode = mode;
                t.journal->record(step, t.sides[0]);
            }
            return SourceRemovals::After::GoOn;
        });
    };
    // A file's further name in the tree: linked to its copy; when moving,
    // the source's name goes once it is still that file.
    FirstCopies firstCopies;
    const auto linkedAgain = [&](const TreeEntry& e, const QByteArray& source) {
        const QByteArray target = at(at(top, e.folder), e.name);
        const auto note = [&t, target, source](bool moved) {
            if (t.journal && moved)
                t.journal->record({UndoStep::Kind::Moved, target, source, {}, {}}, t.sides[1]);
            else if (t.journal)
                t.journal->record({UndoStep::Kind::Copied, target, {}, {}, {}}, t.sides[1]);
        };
        if (!t.move)
            return note(false);
        removeLater(in->place().fd(), e.name, e.id, false, [note](const FsResult& removed, bool) {
            note(removed.ok());
            return SourceRemovals::After::GoOn;
        });
    };
    QByteArray passedOver; // a folder that could not be entered or made, with what is below it
    bool passing = false;
    for (size_t i = 0; i < plan.entries.size() && after == AfterFile::GoOn && !lost; ++i) {
        if (run.cancelled && run.cancelled())
            break;
        const TreeEntry& e = plan.entries[i];
        const QByteArray source = entryPath(from, e);
        if (e.kind == TreeEntry::Kind::Folder) {
            const QByteArray below = entryPath({}, e);
            while (!open.empty() && !lost && !holds(open.back().below, below))
                close();
            if (lost || (passing && holds(passedOver, below)))
                continue;
            passing = false;
            const QByteArray target = entryPath(top, e);
            OpenFolder f{below, e.name, e.id, false};
            FsResult entered;
            if (!(i == 0 ? in->openTopAt(fromPlace, fromName, from, &e.id)
                         : in->enter(e.name, &e.id)))
                entered = changedError(errno, source);
            else if (entered =
                         i == 0 ? enterTarget(toSide, *out, topPlace, topName, target, true, f.made)
                                : enterTarget(toSide, *out, out->place(), e.name, target, false,
                                              f.made);
                     !entered)
                (void)in->leave(); // back where the target's parent is
            if (!entered) {
                // Nothing below it is copied.
                const bool skipRest = tell(notCopied.arg(nameText(source)), entered.error());
                if (i == 0)
                    return skipRest ? AfterFile::Stop : AfterFile::GoOn;
                if (skipRest)
                    after = AfterFile::Stop;
                passing = true;
                passedOver = below;
                continue;
            }
            if (f.made && t.journal)
                t.journal->record({UndoStep::Kind::FolderMade, target, {}, {}, {}}, t.sides[1]);
            open.push_back(f);
            if (!lendPlaces(fileOptions, {fromSide, in->place(), source},
                            {toSide, out->place(), target})) {
                lost = true; // no file of it can be copied here
                tell(notCopied.arg(nameText(source)), FsError::fromErrno(errno, nameText(source)));
                continue;
            }
            if (e.unreadable != 0)
                run.unreadable << FsError::fromErrno(e.unreadable, nameText(source)).description();
            continue;
        }
        if (!(passing && holds(passedOver, e.folder))) {
            if (e.kind == TreeEntry::Kind::Special) {
                run.skipped << nameText(source);
            } else if (e.links > 1 && FirstCopies::isFree(out->place().fd(), e.name) &&
                       firstCopies.link(e, out->place().fd(), e.name)) {
                linkedAgain(e, source);
            } else {
                const bool free = e.links > 1 && FirstCopies::isFree(out->place().fd(), e.name);
                Transfer file = t;
                file.source = {at(from, e.folder), e.name};
                file.folder = false;
                file.targetFolder = at(top, e.folder);
                file.linkItself = e.kind == TreeEntry::Kind::Link;
                file.othersFollow = t.othersFollow || i < lastFile;
                after = transferFile(host, file, fileOptions);
                if (free)
                    firstCopies.note(e, out->place().fd(), e.name);
                if (removals && removals->full())
                    flushRemovals();
            }
        }
        run.advanced(1, e.size);
    }
    while (!open.empty() && !lost)
        close();
    flushRemovals();
    return lost ? AfterFile::Stop : after;
}

void tellSkipped(CommandHost& host, const TreeRun& run) {
    if (run.skipped.isEmpty() && run.unreadable.isEmpty())
        return;
    constexpr int shownAtMost = 20;
    const auto listed = [](const QStringList& names) {
        QString text = names.mid(0, shownAtMost).join(QStringLiteral("\r\n"));
        if (names.size() > shownAtMost)
            text += QStringLiteral("\r\n... and %1 more").arg(names.size() - shownAtMost);
        return text;
    };
    QStringList parts;
    if (!run.unreadable.isEmpty())
        parts << QStringLiteral("%1 could not be read: what %2 was left where it is.\r\n\r\n")
                         .arg(run.unreadable.size() == 1
                                  ? QStringLiteral("1 folder")
                                  : QStringLiteral("%1 folders").arg(run.unreadable.size()),
                              run.unreadable.size() == 1 ? QStringLiteral("it holds")
                                                         : QStringLiteral("they hold")) +
                     listed(run.unreadable);
    if (!run.skipped.isEmpty())
        parts << QStringLiteral("Only files, links and folders are copied. Skipped:\r\n\r\n") +
                     listed(run.skipped);
    host.ask(parts.join(QStringLiteral("\r\n\r\n")),
             run.unreadable.isEmpty() ? MsgStyle::Information : MsgStyle::Critical);
}
