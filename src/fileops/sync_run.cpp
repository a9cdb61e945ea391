#include "fileops/sync_run.h"

#include "core/flat_rows.h"
#include "core/name_text.h"
#include "core/sync_state.h"
#include "core/trash.h"
#include "fileops/command_host.h"
#include "fileops/sync_state_save.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"

#include <QSet>
#include <algorithm>
#include <sys/stat.h>

namespace {

QByteArray top(const SyncPlan& plan, Side side) {
    return folderPath(side == Side::Source ? plan.sourceFolder : plan.destinationFolder);
}

// The entry itself (a link is not followed), or nothing when it is gone:
// one look, which a file taken away meanwhile cannot turn into an error.
std::optional<struct stat> entryAt(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 ? std::optional(st) : std::nullopt;
}

// True when the entry on `side` is what the plan saw: there or not, of the
// same kind, and a file of the same size and time. A folder's own time moves
// with what it holds, so only its being a folder counts (a link to a folder
// put in its place is not one).
bool asPlanned(const SyncPlan& plan, const SyncEntry& e, Side side) {
    const qint32 i = plan.rows->entry(e.row, side);
    if (i < 0)
        return true; // none seen: the copy's own check
    const std::optional<struct stat> now =
        entryAt(top(plan, side) + plan.path(e, side).toByteArray());
    if (!now)
        return false;
    const FileStat seen = plan.rows->listing(side).stat(i);
    if (seen.folder)
        return S_ISDIR(now->st_mode);
    return now->st_size == seen.size && now->st_mtime == seen.modified;
}

// The place a copy goes to: the same relative path on the other side.
FileLocation targetOf(const SyncPlan& plan, const SyncEntry& e, Side from) {
    const Side to = from == Side::Source ? Side::Destination : Side::Source;
    const QByteArrayView relative = plan.path(e, from);
    const QByteArrayView folder = folderPart(relative);
    const QByteArray toTop = top(plan, to);
    return {folder.isEmpty() ? toTop : toTop + folder.toByteArray(),
            namePart(relative).toByteArray()};
}

SyncOutcome deleteEntry(CommandHost& host, const SyncPlan& plan, const SyncEntry& e, DeleteWay way,
                        UndoJournal* journal) {
    if (!asPlanned(plan, e, Side::Source) || !asPlanned(plan, e, Side::Destination))
        return SyncOutcome::Changed;
    if (host.cancelled())
        return SyncOutcome::Failed;
    const Side side = e.action == SyncAction::DeleteLeft ? Side::Source : Side::Destination;
    const FileLocation file = FileLocation::of(top(plan, side) + plan.path(e, side).toByteArray());
    const bool folder = plan.rows->listing(side).isFolder(plan.rows->entry(e.row, side));
    return deleteChosen(host, file, way, journal, folder) ? SyncOutcome::Done : SyncOutcome::Failed;
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

} // namespace

std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal) {
    std::vector<SyncOutcome> outcomes(plan.entries.size(), SyncOutcome::NotActed);
    if (journal)
        journal->begin(QStringLiteral("Synchronize"));
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
    std::vector<Transfer> transfers;
    std::vector<size_t> copied;                        // the entry of each transfer
    std::vector<std::optional<FileIdentity>> replaced; // what each found at its target
    ForAll replace = ForAll::Replace;                  // the plan replaces what it names
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isCopy(e.action))
            continue;
        if (!asPlanned(plan, e, Side::Source) || !asPlanned(plan, e, Side::Destination)) {
            outcomes[k] = SyncOutcome::Changed;
            continue;
        }
        const Side from = sideOf(e.action);
        const Side to = from == Side::Source ? Side::Destination : Side::Source;
        const FileLocation target = targetOf(plan, e, from);
        // A file put where the plan saw none is not the plan's to replace.
        if (plan.path(e, to).isEmpty() && !freed[int(to)].contains(plan.path(e, from)) &&
            FileIdentity::of(target.path())) {
            outcomes[k] = SyncOutcome::Changed;
            continue;
        }
        const FileLocation source =
            FileLocation::of(top(plan, from) + plan.path(e, from).toByteArray());
        Transfer t{source, plan.rows->listing(from).isFolder(plan.rows->entry(e.row, from)),
                   target.folder};
        t.keepReplaced = way == DeleteWay::ToTrash;
        t.chosen = FileIdentity::of(source.path());
        t.forAll = &replace;
        t.journal = journal;
        transfers.push_back(std::move(t));
        copied.push_back(k);
        replaced.push_back(FileIdentity::of(target.path()));
    }
    std::vector<bool> folders;
    for (const Transfer& t : transfers)
        folders.push_back(t.folder);
    PlannedTransfers planned = planTransfers(std::move(transfers));
    TransferProgress progress(host, planned.files + qint64(deletions.size()), planned.bytes);
    // Deletions first: a folder copied may take the name of a file deleted.
    for (const size_t k : deletions) {
        outcomes[k] = deleteEntry(host, plan, plan.entries[k], way, journal);
        progress.advance(1, 0);
    }
    CopyOptions options;
    options.folders = std::make_shared<HeldFolders>();
    runPlanned(host, planned, options, progress);
    // What each copy left: at the target, another entry than the one it
    // found, now what the source is (a folder: a folder).
    for (size_t c = 0; c < copied.size(); ++c) {
        const Transfer& t = planned.transfers[c];
        const FileLocation target{t.targetFolder, t.source.name};
        const std::optional<struct stat> made = entryAt(target.path());
        const std::optional<FileIdentity> from = FileIdentity::of(t.source.path());
        const bool done =
            made && from &&
            (!replaced[c] || made->st_dev != replaced[c]->device ||
             made->st_ino != replaced[c]->inode) &&
            (folders[c] ? S_ISDIR(made->st_mode)
                        : made->st_size == from->size && made->st_mtime == from->modified.tv_sec);
        outcomes[copied[c]] = done ? SyncOutcome::Done : SyncOutcome::Failed;
    }
    const bool saved = saveSyncState(host, plan, outcomes);
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
