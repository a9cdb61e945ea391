#include "fileops/sync_state_save.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/flat_rows.h"
#include "fileops/command_host.h"
#include "fileops/sync_times.h"
#include "sync/sync_state.h"

namespace {

bool isCopy(SyncAction a) {
    return a == SyncAction::CopyRight || a == SyncAction::CopyLeft;
}

} // namespace

FsResult saveSyncState(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes,
                       const LookAtEntry& look) {
    QString why;
    const SyncState before =
        SyncState::load(plan.stateFolder(Side::Source), plan.stateFolder(Side::Destination), why);
    const FolderRows& rows = *plan.rows;
    std::vector<qint32> entryOf(size_t(rows.count()), -1);
    for (size_t k = 0; k < plan.entries.size(); ++k)
        entryOf[size_t(plan.entries[k].row)] = qint32(k);
    SyncState after;
    after.sourceDevice = plan.sourceDevice;
    after.destinationDevice = plan.destinationDevice;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        const RowPair& p = rows.rows[size_t(r)];
        const qint32 k = entryOf[size_t(r)];
        const bool files = p.source >= 0 && p.destination >= 0 && !rows.source.isFolder(p.source) &&
                           !rows.destination.isFolder(p.destination);
        const RowStatus status = rows.status(r);
        if (k < 0 && files && (status == RowStatus::Same || status == RowStatus::SameContents)) {
            const FileStat s = rows.source.stat(p.source), d = rows.destination.stat(p.destination);
            std::optional<FileIdentity> dNow = d.identity;
            // A mirror run gave Destination's file Source's time since it was listed.
            if (look && plan.mode == SyncMode::Mirror && !sameListedTime(s, d))
                dNow = look(Side::Destination, rows.destination.fileName(p.destination));
            if (s.identity && dNow)
                after.add(rows.source.fileName(p.source), {*s.identity, *dNow});
            continue;
        }
        const Side side = p.source >= 0 ? Side::Source : Side::Destination;
        const QByteArrayView path = rows.listing(side).fileName(rows.entry(r, side));
        if (k < 0 || size_t(k) >= outcomes.size() || outcomes[size_t(k)] != SyncOutcome::Done) {
            if (const std::optional<SyncedFile> was = before.find(path))
                after.add(path, *was);
            before.forEachBelow(
                path, [&](QByteArrayView below, const SyncedFile& was) { after.add(below, was); });
            continue;
        }
        const SyncEntry& e = plan.entries[size_t(k)];
        const Side from = e.action == SyncAction::CopyRight ? Side::Source : Side::Destination;
        if (!look || !isCopy(e.action) || rows.listing(from).isFolder(rows.entry(r, from)))
            continue;
        const QByteArrayView relative = plan.path(e, from);
        const auto s = look(Side::Source, relative);
        const auto d = look(Side::Destination, relative);
        if (s && d)
            after.add(relative, {*s, *d});
    }
    return after.save(plan.stateFolder(Side::Source), plan.stateFolder(Side::Destination));
}

QString syncStateNotSavedText(const FsError& error) {
    return QStringLiteral("The record of this synchronization could not be saved (%1): the next "
                          "two-way synchronization of these folders will not know what this "
                          "one left the same, and will update both sides.")
        .arg(error.description());
}

bool saveSyncState(CommandHost& host, const SyncPlan& plan,
                   const std::vector<SyncOutcome>& outcomes, const LookAtEntry& look) {
    const FsResult saved = saveSyncState(plan, outcomes, look);
    if (!saved) {
        host.beep();
        host.ask(syncStateNotSavedText(saved.error()), MsgStyle::Critical);
    }
    return saved.ok();
}
