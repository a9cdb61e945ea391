#include "fileops/sync_run.h"

#include "core/flat_rows.h"
#include "core/name_text.h"
#include "core/trash.h"
#include "fileops/command_host.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"

#include <QScopeGuard>

namespace {

QByteArray top(const SyncPlan& plan, Side side) {
    return folderPath(side == Side::Source ? plan.sourceFolder : plan.destinationFolder);
}

// True when the entry on `side` is what the plan saw: there or not, of the
// same kind, and a file of the same size and time. A folder's own time moves
// with what it holds, so only its being a folder counts.
bool asPlanned(const SyncPlan& plan, const SyncEntry& e, Side side) {
    const qint32 i = plan.rows->entry(e.row, side);
    if (i < 0)
        return true; // none seen: the copy's own check
    const QByteArray path = top(plan, side) + plan.path(e, side).toByteArray();
    const std::optional<FileIdentity> now = FileIdentity::of(path);
    if (!now)
        return false;
    const FileStat seen = plan.rows->listing(side).stat(i);
    if (seen.folder)
        return FileSystem::stat(path).folder;
    return now->size == seen.size && now->modified.tv_sec == seen.modified;
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
    const std::optional<FileIdentity> chosen = FileIdentity::of(file.path());
    const bool folder = plan.rows->listing(side).isFolder(plan.rows->entry(e.row, side));
    return chosen && deleteFileAsked(host, file, way, journal, folder, &*chosen)
               ? SyncOutcome::Done
               : SyncOutcome::Failed;
}

} // namespace

std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal) {
    if (journal)
        journal->begin(QStringLiteral("Synchronize"));
    const auto ended = qScopeGuard([journal] {
        if (journal)
            journal->end();
    });
    std::vector<SyncOutcome> outcomes(plan.entries.size(), SyncOutcome::NotActed);
    std::vector<Transfer> transfers;
    std::vector<size_t> copied;                        // the entry of each transfer
    std::vector<std::optional<FileIdentity>> replaced; // what each found at its target
    // Deletions first: a folder copied may take the name of a file deleted.
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncAction a = plan.entries[k].action;
        if (a == SyncAction::DeleteLeft || a == SyncAction::DeleteRight)
            outcomes[k] = deleteEntry(host, plan, plan.entries[k], way, journal);
    }
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (e.action != SyncAction::CopyRight && e.action != SyncAction::CopyLeft)
            continue;
        if (!asPlanned(plan, e, Side::Source) || !asPlanned(plan, e, Side::Destination)) {
            outcomes[k] = SyncOutcome::Changed;
            continue;
        }
        const Side from = e.action == SyncAction::CopyRight ? Side::Source : Side::Destination;
        const FileLocation target = targetOf(plan, e, from);
        // A file put where the plan saw none is not the plan's to replace.
        if (plan.path(e, from == Side::Source ? Side::Destination : Side::Source).isEmpty() &&
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
        t.journal = journal;
        transfers.push_back(std::move(t));
        copied.push_back(k);
        replaced.push_back(FileIdentity::of(target.path()));
    }
    CopyOptions options;
    options.folders = std::make_shared<HeldFolders>();
    runTransfers(host, transfers, options);
    // What each copy left: at the target, another entry than the one it
    // found, now what the source is (a folder: a folder).
    for (size_t c = 0; c < copied.size(); ++c) {
        const Transfer& t = transfers[c];
        const FileLocation target{t.targetFolder, t.source.name};
        const std::optional<FileIdentity> made = FileIdentity::of(target.path());
        const std::optional<FileIdentity> from = FileIdentity::of(t.source.path());
        const bool done =
            made && from &&
            (!replaced[c] || made->device != replaced[c]->device ||
             made->inode != replaced[c]->inode) &&
            (t.folder ? FileSystem::stat(target.path()).folder
                      : made->size == from->size && made->modified.tv_sec == from->modified.tv_sec);
        outcomes[copied[c]] = done ? SyncOutcome::Done : SyncOutcome::Failed;
    }
    return outcomes;
}
