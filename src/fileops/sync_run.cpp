#include "fileops/sync_run.h"

#include "core/flat_rows.h"
#include "core/message_style.h"
#include "core/name_text.h"
#include "core/sync_state.h"
#include "core/trash.h"
#include "fileops/command_host.h"
#include "fileops/plan_walk.h"
#include "fileops/shown_deletion.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"

#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

QByteArray top(const SyncPlan& plan, Side side) {
    return folderPath(side == Side::Source ? plan.sourceFolder : plan.destinationFolder);
}

Side otherSide(Side side) {
    return side == Side::Source ? Side::Destination : Side::Source;
}

bool isCopy(SyncAction a) {
    return a == SyncAction::CopyRight || a == SyncAction::CopyLeft;
}

bool isDeletion(SyncAction a) {
    return a == SyncAction::DeleteLeft || a == SyncAction::DeleteRight;
}

Side sideOf(SyncAction a) {
    return a == SyncAction::CopyRight || a == SyncAction::DeleteLeft ? Side::Source
                                                                     : Side::Destination;
}

bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Both trees of a plan, each walked from its top: every entry is reached from
// its folder, held open, and a folder that is no longer the one entered (a
// link put at its name) is not walked through but named once, for the end.
class Sides {
public:
    explicit Sides(const SyncPlan& plan)
        : m_source(top(plan, Side::Source)), m_destination(top(plan, Side::Destination)) {}

    PlanWalker& operator[](Side side) { return side == Side::Source ? m_source : m_destination; }

    // Stands in the folder of the entry `relative` on `side`.
    bool reach(Side side, QByteArrayView relative) {
        return reachFolder(side, folderPart(relative));
    }
    bool reachFolder(Side side, QByteArrayView folder) {
        PlanWalker& w = (*this)[side];
        if (w.reach(folder))
            return true;
        if (errno == ELOOP || errno == ENOTDIR || errno == ESTALE)
            m_swapped.insert(w.pathOf(w.refused()));
        return false;
    }
    // The entry itself (a link is not followed), or nothing when it is gone
    // or its folder cannot be reached.
    std::optional<struct stat> entry(Side side, QByteArrayView relative) {
        struct stat st {};
        if (!reach(side, relative) ||
            ::fstatat((*this)[side].fd(), namePart(relative).toByteArray().constData(), &st,
                      AT_SYMLINK_NOFOLLOW) != 0)
            return std::nullopt;
        return st;
    }
    // The entry's place on `side`, its folder a path for messages and for
    // the folders lent to the copy.
    FileLocation location(Side side, QByteArrayView relative) {
        const QByteArrayView folder = folderPart(relative);
        const QByteArray topPath = (*this)[side].top();
        return {folder.isEmpty() ? topPath : (*this)[side].pathOf(folder),
                namePart(relative).toByteArray()};
    }

    // A folder deleted but for what the filters hide in it.
    void kept(const QByteArray& path) { m_kept.insert(path); }

    // One message for the folders swapped since the plan, one for those
    // kept, at the end.
    void tell(CommandHost& host) const {
        const auto listed = [&](const QSet<QByteArray>& paths, const QString& what, int style) {
            if (paths.isEmpty())
                return;
            QStringList names;
            for (const QByteArray& path : paths)
                names << nameText(path);
            names.sort();
            host.ask(what + QStringLiteral("\r\n\r\n") + names.join(QStringLiteral("\r\n")), style);
        };
        listed(m_swapped,
               QStringLiteral("Since the plan, another entry (a link, another folder) stands where "
                              "these folders were: nothing in them was touched."),
               MsgStyle::Critical);
        listed(m_kept,
               QStringLiteral("These folders hold what the filters hide: only what they show was "
                              "deleted, and they stay."),
               MsgStyle::Information);
    }

private:
    PlanWalker m_source, m_destination;
    QSet<QByteArray> m_swapped, m_kept;
};

// True when the entry on `side` is what the plan saw: there or not, of the
// same kind (a link is a link), and a file or link of the same size and
// time. A folder's own time moves with what it holds, so only its being a
// folder counts.
bool asPlanned(const SyncPlan& plan, const SyncEntry& e, Side side, Sides& sides) {
    const qint32 i = plan.rows->entry(e.row, side);
    if (i < 0)
        return true; // none seen: the copy's own check
    const std::optional<struct stat> now = sides.entry(side, plan.path(e, side));
    if (!now)
        return false;
    const FolderListing& listing = plan.rows->listing(side);
    const FileStat seen = listing.stat(i);
    if (listing.isLink(i) != S_ISLNK(now->st_mode))
        return false;
    if (seen.folder && !listing.isLink(i))
        return S_ISDIR(now->st_mode);
    return !S_ISDIR(now->st_mode) && now->st_size == seen.size && now->st_mtime == seen.modified;
}

bool bothAsPlanned(const SyncPlan& plan, const SyncEntry& e, Sides& sides) {
    return asPlanned(plan, e, Side::Source, sides) && asPlanned(plan, e, Side::Destination, sides);
}

SyncOutcome deleteEntry(CommandHost& host, const SyncPlan& plan, const SyncEntry& e, DeleteWay way,
                        UndoJournal* journal, Sides& sides) {
    if (!bothAsPlanned(plan, e, sides))
        return SyncOutcome::Changed;
    if (host.cancelled())
        return SyncOutcome::Failed;
    const Side side = sideOf(e.action);
    const QByteArrayView relative = plan.path(e, side);
    if (!sides.reach(side, relative))
        return SyncOutcome::Changed;
    const qint32 i = plan.rows->entry(e.row, side);
    const bool folder = plan.rows->listing(side).isFolder(i);
    const FileLocation entry = sides.location(side, relative);
    const int dir = sides[side].fd();
    const QByteArray below = plan.relativeTop + relative.toByteArray() + '/';
    bool done = false;
    // A folder goes whole only while it holds nothing the plan did not show.
    if (folder && !plan.rows->listing(side).isLink(i) &&
        filtersHideBelow(dir, entry.name, entry.path(), plan.filters, below)) {
        if (plan.mode == SyncMode::TwoWay) // the plan saw only what the state knew
            return SyncOutcome::Changed;
        sides.kept(entry.path());
        done = deleteShown(host, dir, entry, plan.filters, below, way, journal);
    } else {
        done = deleteChosen(host, entry, way, journal, folder, dir);
    }
    return done ? SyncOutcome::Done : SyncOutcome::Failed;
}

// What a copy left at its target is what it made: the kind of its source,
// with its size and time, and not the entry the target held before it
// (another inode, or the same one made anew: a freed inode's number is
// given again, but never with the same change time).
bool madeByCopy(const std::optional<struct stat>& made, const std::optional<struct stat>& from,
                const std::optional<struct stat>& before) {
    if (!made || !from || (made->st_mode & S_IFMT) != (from->st_mode & S_IFMT))
        return false;
    if (before && made->st_dev == before->st_dev && made->st_ino == before->st_ino &&
        sameTime(made->st_ctim, before->st_ctim))
        return false;
    return S_ISDIR(made->st_mode) ||
           (made->st_size == from->st_size && sameTime(made->st_mtim, from->st_mtim));
}

// Sets the times of `to`'s folder (held by the walker) to those of `from`'s.
void takeFolderTime(Sides& sides, Side from, const QByteArray& folder) {
    const Side to = otherSide(from);
    struct stat a {
    }, b{};
    if (!sides.reachFolder(from, folder) || ::fstat(sides[from].fd(), &a) != 0 ||
        !sides.reachFolder(to, folder) || ::fstat(sides[to].fd(), &b) != 0 || !S_ISDIR(a.st_mode) ||
        sameTime(a.st_mtim, b.st_mtim))
        return;
    const struct timespec times[2] = {{0, UTIME_OMIT}, a.st_mtim};
    // A folder held only as a place (O_PATH) is reached through its descriptor's name.
    if (::futimens(sides[to].fd(), times) != 0 && errno == EBADF) {
        const QByteArray held = "/proc/self/fd/" + QByteArray::number(sides[to].fd());
        ::utimensat(AT_FDCWD, held.constData(), times, 0);
    }
}

// The folders of the rows (each with those above it, the top first), in the
// rows' order: the folders both trees hold.
std::vector<QByteArray> foldersOf(const FolderRows& rows) {
    std::vector<QByteArray> folders{QByteArray()};
    QSet<QByteArrayView> seen{QByteArrayView("")};
    for (const RowPair& p : rows.rows) {
        const bool source = p.source >= 0;
        const QByteArrayView path =
            source ? rows.source.fileName(p.source) : rows.destination.fileName(p.destination);
        const QByteArrayView folder = folderPart(path);
        if (seen.contains(folder))
            continue;
        for (qsizetype k = 0; k <= folder.size(); ++k) {
            if (k < folder.size() && folder[k] != '/')
                continue;
            if (seen.contains(folder.first(k)))
                continue;
            seen.insert(folder.first(k));
            folders.push_back(folder.first(k).toByteArray());
        }
    }
    return folders;
}

// Mirror makes Destination exactly Source: files left alone because their
// contents (or their times within the tolerance) are the same take Source's
// time, and so does every folder once its contents are done. The other
// modes give the folders they copied into the time of the folder copied from.
void carryTimes(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes, Sides& sides) {
    const FolderRows& rows = *plan.rows;
    if (plan.mode == SyncMode::Mirror) {
        for (qsizetype r = 0; r < rows.count(); ++r) {
            const RowPair& p = rows.rows[size_t(r)];
            const RowStatus status = rows.status(r);
            if (p.source < 0 || p.destination < 0 || rows.source.isFolder(p.source) ||
                (status != RowStatus::Same && status != RowStatus::SameContents) ||
                rows.source.stat(p.source).modified ==
                    rows.destination.stat(p.destination).modified)
                continue;
            const QByteArrayView path = rows.source.fileName(p.source);
            const SyncEntry e{qint32(r), SyncAction::Skip};
            const std::optional<struct stat> from = sides.entry(Side::Source, path);
            if (!from || !bothAsPlanned(plan, e, sides))
                continue;
            const struct timespec times[2] = {{0, UTIME_OMIT}, from->st_mtim};
            ::utimensat(sides[Side::Destination].fd(), namePart(path).toByteArray().constData(),
                        times, AT_SYMLINK_NOFOLLOW);
        }
        for (const QByteArray& folder : foldersOf(rows))
            takeFolderTime(sides, Side::Source, folder);
        return;
    }
    QSet<QByteArray> done;
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isCopy(e.action) || outcomes[k] != SyncOutcome::Done)
            continue;
        const QByteArray folder = folderPart(plan.path(e, sideOf(e.action))).toByteArray();
        if (!done.contains(folder)) {
            done.insert(folder);
            takeFolderTime(sides, sideOf(e.action), folder);
        }
    }
}

// What the pair holds the same on both sides after the run: the rows the
// plan found the same, and the files copied; a row not acted on keeps what
// the state said of it. Folders copied whole and files deleted leave no
// entry: a later plan sees what they hold.
bool saveState(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes) {
    QString why;
    const SyncState before = SyncState::load(plan.sourceFolder, plan.destinationFolder, why);
    const FolderRows& rows = *plan.rows;
    std::vector<qint32> entryOf(size_t(rows.count()), -1);
    for (size_t k = 0; k < plan.entries.size(); ++k)
        entryOf[size_t(plan.entries[k].row)] = qint32(k);
    SyncState after;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        const RowPair& p = rows.rows[size_t(r)];
        const qint32 k = entryOf[size_t(r)];
        const bool files = p.source >= 0 && p.destination >= 0 && !rows.source.isFolder(p.source) &&
                           !rows.destination.isFolder(p.destination);
        const RowStatus status = rows.status(r);
        if (k < 0 && files && (status == RowStatus::Same || status == RowStatus::SameContents)) {
            const FileStat s = rows.source.stat(p.source), d = rows.destination.stat(p.destination);
            after.add(rows.source.fileName(p.source), {s.size, s.modified, d.size, d.modified});
            continue;
        }
        const Side side = p.source >= 0 ? Side::Source : Side::Destination;
        const QByteArrayView path = rows.listing(side).fileName(rows.entry(r, side));
        if (k < 0 || outcomes[size_t(k)] != SyncOutcome::Done) {
            if (const SyncedFile* was = before.find(path))
                after.add(path, *was);
            before.forEachBelow(
                path, [&](QByteArrayView below, const SyncedFile& was) { after.add(below, was); });
            continue;
        }
        const SyncEntry& e = plan.entries[size_t(k)];
        const Side from = sideOf(e.action);
        if (!isCopy(e.action) || rows.listing(from).isFolder(rows.entry(r, from)))
            continue;
        const QByteArray relative = plan.path(e, from).toByteArray();
        const auto s = FileIdentity::of(top(plan, Side::Source) + relative);
        const auto d = FileIdentity::of(top(plan, Side::Destination) + relative);
        if (s && d)
            after.add(relative, {s->size, s->modified.tv_sec, d->size, d->modified.tv_sec});
    }
    return after.save(plan.sourceFolder, plan.destinationFolder);
}

} // namespace

std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal) {
    std::vector<SyncOutcome> outcomes(plan.entries.size(), SyncOutcome::NotActed);
    if (journal)
        journal->begin(QStringLiteral("Synchronize"));
    Sides sides(plan);
    // The names the deletions free on each side, which a copy may then take.
    std::vector<size_t> deletions;
    QSet<QByteArrayView> freed[2];
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isDeletion(e.action))
            continue;
        deletions.push_back(k);
        freed[int(sideOf(e.action))].insert(plan.path(e, sideOf(e.action)));
    }
    // Every copy planned before any is begun, each folder's tree read from
    // the folder that holds it, for the progress.
    PlannedTransfers planned;
    std::vector<size_t> copied;       // the entry of each transfer
    ForAll replace = ForAll::Replace; // the plan replaces what it names
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isCopy(e.action))
            continue;
        const Side from = sideOf(e.action);
        const QByteArrayView relative = plan.path(e, from);
        const qint32 i = plan.rows->entry(e.row, from);
        const FolderListing& listing = plan.rows->listing(from);
        const FileLocation source = sides.location(from, relative);
        Transfer t{source, listing.isFolder(i) && !listing.isLink(i),
                   sides.location(otherSide(from), relative).folder};
        t.linkItself = listing.isLink(i); // a link is copied as the link it is
        t.keepReplaced = way == DeleteWay::ToTrash;
        t.forAll = &replace;
        t.journal = journal;
        TreePlan tree;
        FsResult ready;
        if (t.folder)
            ready = sides.reach(from, relative)
                        ? planTreeAt(sides[from].fd(), source.name, source.path(), tree)
                        : FsResult(FsError(ESTALE, source.text(), QString()));
        planned.files += t.folder ? tree.files : 1;
        planned.bytes += tree.bytes;
        planned.transfers.push_back(std::move(t));
        planned.trees.push_back(std::move(tree));
        planned.planned.push_back(std::move(ready));
        copied.push_back(k);
    }
    TransferProgress progress(host, planned.files + qint64(deletions.size()), planned.bytes);
    // Deletions first: a folder copied may take the name of a file deleted.
    for (const size_t k : deletions) {
        outcomes[k] = deleteEntry(host, plan, plan.entries[k], way, journal, sides);
        progress.advance(1, 0);
    }
    // Each copy begins only with both its entries as the plan saw them, its
    // folders reached from the tops and lent to it: no path is followed again.
    std::vector<std::optional<struct stat>> before(copied.size());
    std::vector<bool> begun(copied.size());
    for (const size_t k : copied)
        outcomes[k] = SyncOutcome::Failed; // until the check after it
    planned.reach = [&](size_t c, CopyOptions& options) {
        const size_t k = copied[c];
        const SyncEntry& e = plan.entries[k];
        const Side from = sideOf(e.action), to = otherSide(from);
        const QByteArrayView relative = plan.path(e, from);
        outcomes[k] = SyncOutcome::Changed;
        if (!bothAsPlanned(plan, e, sides) || !sides.entry(from, relative))
            return false;
        before[c] = sides.entry(to, relative);
        // A file put where the plan saw none is not the plan's to replace.
        if (!sides.reach(to, relative) ||
            (before[c] && plan.path(e, to).isEmpty() && !freed[int(to)].contains(relative)))
            return false;
        outcomes[k] = SyncOutcome::Failed;
        begun[c] = true;
        options.folders = std::make_shared<HeldFolders>();
        options.folders->lend(folderPath(planned.transfers[c].source.folder), sides[from].fd());
        options.folders->lend(folderPath(planned.transfers[c].targetFolder), sides[to].fd());
        return true;
    };
    runPlanned(host, planned, CopyOptions(), progress);
    // What each copy begun left: at the target, what it made.
    for (size_t c = 0; c < copied.size(); ++c) {
        const size_t k = copied[c];
        if (!begun[c])
            continue;
        const SyncEntry& e = plan.entries[k];
        const Side from = sideOf(e.action);
        const QByteArrayView relative = plan.path(e, from);
        const std::optional<struct stat> source = sides.entry(from, relative);
        if (madeByCopy(sides.entry(otherSide(from), relative), source, before[c]))
            outcomes[k] = SyncOutcome::Done;
    }
    if (!host.cancelled())
        carryTimes(plan, outcomes, sides);
    sides.tell(host);
    const bool saved = saveState(plan, outcomes);
    if (journal) {
        // Undone first: once files are put back, the state no longer holds.
        if (saved && std::count(outcomes.begin(), outcomes.end(), SyncOutcome::Done))
            journal->record({UndoStep::Kind::Noted,
                             SyncState::pathFor(plan.sourceFolder, plan.destinationFolder),
                             {},
                             {},
                             {}});
        journal->end();
    }
    return outcomes;
}
