#include "fileops/sync_run.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/flat_rows.h"
#include "fileops/command_host.h"
#include "fileops/remote_copy.h"
#include "fileops/shown_deletion.h"
#include "fileops/side_copy.h"
#include "fileops/sync_sides.h"
#include "fileops/sync_state_save.h"
#include "fileops/sync_times.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "fs/local_side.h"
#include "fs/trash.h"
#include "fs/unique_fd.h"
#include "remote/remote_side.h"
#include "sync/sync_state.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

SyncOutcome deleteEntry(CommandHost& host, const SyncPlan& plan, const SyncEntry& e, DeleteWay way,
                        UndoJournal* journal, SyncSides& sides,
                        const std::shared_ptr<FolderSide> (&owners)[2]) {
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
    const std::shared_ptr<FolderSide>& owner = owners[int(side)];
    const SidePlace dir = sides[side].place();
    const QByteArray below = plan.relativeTop + relative.toByteArray() + '/';
    bool done = false;
    // A folder goes whole only while it holds nothing the plan did not show.
    if (folder && !plan.rows->listing(side).isLink(i) &&
        filtersHideBelow(*owner, dir, entry.name, entry.path(), plan.filters, below)) {
        if (plan.mode == SyncMode::TwoWay) // the plan saw only what the state knew
            return SyncOutcome::Changed;
        sides.kept(entry.path());
        done = deleteShown(host, owner, dir, entry, plan.filters, below, way, journal);
    } else {
        done = deleteChosenAt(host, entry, way, journal, folder, owner, dir, entry.name);
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

bool onHost(const FolderSide& side) {
    return !side.localFolder(side.root());
}

// Each entry's identity as a run with a side on another host saw it last,
// so that the pair's state asks the host nothing again.
using Known = QHash<QByteArray, std::optional<struct stat>>;

// The plan's copies of one direction between a folder here and one on
// another host, by one rsync: each entry begins only with both its sides as
// the plan saw them (the host's entries and their folders told in one
// command), and what each left is checked after.
struct Across {
    CommandHost& host;
    const SyncPlan& plan;
    SyncSides& sides;
    const std::shared_ptr<FolderSide> (&owners)[2];
    const QSet<QByteArrayView> (&freed)[2];
    std::vector<SyncOutcome>& outcomes;
    Known (&known)[2];

    void run(Side from, const std::vector<size_t>& entries, DeleteWay way, UndoJournal* journal,
             TransferProgress& progress) {
        const Side to = otherSide(from);
        const Side far = onHost(*owners[0]) ? Side::Source : Side::Destination;
        const Side near = otherSide(far);
        if (onHost(*owners[int(near)])) {
            host.ask(QStringLiteral("Nothing is copied between two hosts: copy to a folder here "
                                    "first, then from it."),
                     MsgStyle::Critical);
            return;
        }
        const RemoteSide& remote = static_cast<const RemoteSide&>(*owners[int(far)]);
        const QByteArray farTop = sides[far].top();
        std::vector<QByteArray> asked;
        for (const size_t k : entries) {
            const QByteArrayView relative = plan.path(plan.entries[k], from);
            asked.push_back(relative.toByteArray());
            asked.push_back(folderPart(relative).toByteArray());
        }
        std::sort(asked.begin(), asked.end());
        asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
        const std::vector<std::optional<struct stat>> told = statOnHost(remote, farTop, asked);
        const auto onFar = [&](QByteArrayView relative) {
            const auto at = std::lower_bound(asked.begin(), asked.end(), relative);
            return at != asked.end() && *at == relative ? told[size_t(at - asked.begin())]
                                                        : std::nullopt;
        };
        std::vector<AcrossFile> files;
        std::vector<size_t> of;
        std::vector<std::optional<struct stat>> source;
        for (const size_t k : entries) {
            const SyncEntry& e = plan.entries[k];
            const QByteArray relative = plan.path(e, from).toByteArray();
            const QByteArrayView folder = folderPart(relative);
            const std::optional<struct stat> parent = onFar(folder);
            const FolderId* seen = plan.folders[int(far)]->find(folder);
            outcomes[k] = SyncOutcome::Changed;
            if (!parent || !S_ISDIR(parent->st_mode) ||
                (seen && !(FolderId::of(*parent) == *seen)) ||
                !asPlannedNow(plan, e, far, onFar(relative)) || !asPlanned(plan, e, near, sides) ||
                !sides.reach(near, relative))
                continue;
            const std::optional<struct stat> now[2] = {
                from == far ? onFar(relative) : sides.entry(from, relative),
                to == far ? onFar(relative) : sides.entry(to, relative)};
            // A file put where the plan saw none is not the plan's to replace.
            if (!now[0] ||
                (now[1] && plan.path(e, to).isEmpty() && !freed[int(to)].contains(relative)) ||
                (now[1] && S_ISDIR(now[1]->st_mode)))
                continue;
            outcomes[k] = SyncOutcome::Failed;
            const qint32 i = plan.rows->entry(e.row, from);
            const FolderListing& listing = plan.rows->listing(from);
            files.push_back({relative, listing.isFolder(i) && !listing.isLink(i),
                             plan.bytesCopied(e), now[1], std::nullopt});
            of.push_back(k);
            source.push_back(now[0]);
        }
        if (files.empty())
            return;
        // rsync reaches the folder here through the descriptor the run holds.
        if (!sides.reachFolder(near, {}))
            return;
        const UniqueFd top(::fcntl(sides[near].place().fd(), F_DUPFD_CLOEXEC, 0));
        AcrossEnd ends[2];
        ends[int(far)] = {owners[int(far)], farTop, -1, {}};
        ends[int(near)] = {owners[int(near)], sides[near].top(), top.fd,
                           [&](QByteArrayView folder) -> std::optional<SidePlace> {
                               if (!sides.reachFolder(near, folder))
                                   return std::nullopt;
                               return sides[near].place();
                           }};
        copyAcross(host, ends[int(from)], ends[int(to)], files, way == DeleteWay::ToTrash, journal,
                   progress);
        for (size_t c = 0; c < files.size(); ++c) {
            const size_t k = of[c];
            if (madeByCopy(files[c].made, source[c], files[c].replaced))
                outcomes[k] = SyncOutcome::Done;
            known[int(from)].insert(files[c].relative, source[c]);
            known[int(to)].insert(files[c].relative, files[c].made);
        }
    }
};

} // namespace

std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal) {
    return runSyncPlan(host, plan, way, journal, localSide(), localSide());
}

std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal, std::shared_ptr<FolderSide> sourceSide,
                                     std::shared_ptr<FolderSide> destinationSide) {
    std::vector<SyncOutcome> outcomes(plan.entries.size(), SyncOutcome::NotActed);
    if (journal)
        journal->begin(QStringLiteral("Synchronize"));
    SyncSides sides(plan, sourceSide.get(), destinationSide.get());
    const std::shared_ptr<FolderSide> owners[2] = {sourceSide, destinationSide};
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
    std::vector<size_t> copied; // the entry of each transfer
    // With a folder on another host, every copy goes by rsync, one a direction.
    const bool across = onHost(*sourceSide) || onHost(*destinationSide);
    std::vector<size_t> acrossFrom[2];
    ForAll replace = ForAll::Replace; // the plan replaces what it names
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isCopy(e.action))
            continue;
        const Side from = sideOf(e.action);
        if (across) {
            acrossFrom[int(from)].push_back(k);
            planned.files += 1;
            planned.bytes += plan.bytesCopied(e);
            continue;
        }
        const QByteArrayView relative = plan.path(e, from);
        const qint32 i = plan.rows->entry(e.row, from);
        const FolderListing& listing = plan.rows->listing(from);
        const FileLocation source = sides.location(from, relative);
        Transfer t{source, listing.isFolder(i) && !listing.isLink(i),
                   sides.location(otherSide(from), relative).folder};
        t.linkItself = listing.isLink(i); // a link is copied as the link it is
        t.sides[0] = owners[int(from)];
        t.sides[1] = owners[int(otherSide(from))];
        t.keepReplaced = way == DeleteWay::ToTrash;
        t.forAll = &replace;
        t.journal = journal;
        TreePlan tree;
        FsResult ready;
        if (t.folder)
            ready = sides.reach(from, relative)
                        ? planTreeOn(sides[from].side(), sides[from].place(), source, tree)
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
        outcomes[k] = deleteEntry(host, plan, plan.entries[k], way, journal, sides, owners);
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
        const Transfer& t = planned.transfers[c];
        begun[c] = lendPlaces(options, {sides[from].side(), sides[from].place(), t.source.folder},
                              {sides[to].side(), sides[to].place(), t.targetFolder});
        return bool(begun[c]);
    };
    Known known[2];
    if (across) {
        Across copies{host, plan, sides, owners, freed, outcomes, known};
        for (const Side from : {Side::Source, Side::Destination}) {
            if (!host.cancelled())
                copies.run(from, acrossFrom[int(from)], way, journal, progress);
        }
    } else {
        runPlanned(host, planned, CopyOptions(), progress);
    }
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
    const bool saved = saveSyncState(host, plan, outcomes, [&](Side side, QByteArrayView relative) {
        const auto told = known[int(side)].constFind(relative.toByteArray());
        const std::optional<struct stat> st =
            told != known[int(side)].cend() ? *told : sides.entry(side, relative);
        return st ? std::optional(FileIdentity::of(*st)) : std::nullopt;
    });
    if (journal) {
        // Undone first: once files are put back, the state no longer holds.
        if (saved && std::count(outcomes.begin(), outcomes.end(), SyncOutcome::Done))
            journal->record({UndoStep::Kind::Noted,
                             SyncState::pathFor(plan.stateFolder(Side::Source),
                                                plan.stateFolder(Side::Destination)),
                             {},
                             {},
                             {}});
        journal->end();
    }
    return outcomes;
}
