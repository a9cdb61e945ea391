#include "comparison/sync_preview.h"

#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/digest_cache.h"
#include "fileops/sync_guards.h"
#include "fileops/sync_run.h"
#include "fileops/sync_state_save.h"
#include "fs/local_side.h"
#include "sync/row_actions.h"

#include <algorithm>

SyncPreview::Outcome SyncPreview::plan(const QByteArray& source, const QByteArray& destination,
                                       TreeOptions options, const OffThread& offThread) {
    return plan(Folder{localSide(), source, {}}, Folder{localSide(), destination, {}},
                std::move(options), offThread);
}

SyncPreview::Outcome SyncPreview::plan(const Folder& source, const Folder& destination,
                                       TreeOptions options, const OffThread& offThread) {
    // The same rules as the panes: the contents of pairs of equal size when
    // they compare them, with the digests the content check keeps.
    DigestCache cache;
    options.cache = &cache;
    std::optional<SyncPlan> plan;
    offThread([&] {
        try {
            plan =
                planSync({*source.side, source.path, source.host},
                         {*destination.side, destination.path, destination.host}, m_mode, options);
        } catch (const ScanCancelled&) {
        }
        cache.save();
    });
    if (!plan || (options.cancel && *options.cancel))
        return {};
    if (!plan->refusal.isEmpty())
        return {Planned::Refused, plan->refusal, true};
    if (plan->entries.empty()) {
        // Nothing to run, but what the pair holds the same is its state all the same.
        const FsResult saved = saveSyncState(*plan);
        return {Planned::NothingToDo,
                QStringLiteral("Nothing to do: the two folders agree.") +
                    (plan->note.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + plan->note) +
                    (saved ? QString()
                           : QStringLiteral("\r\n\r\n") + syncStateNotSavedText(saved.error())),
                !saved};
    }
    m_planned.clear();
    for (const SyncEntry& e : plan->entries)
        m_planned.push_back(e.action);
    m_plan = std::move(plan);
    m_sides[0] = source.side;
    m_sides[1] = destination.side;
    Q_EMIT actionsChanged();
    return {Planned::Previewed, {}};
}

std::vector<qint32> SyncPreview::shownRows() const {
    std::vector<qint32> rows;
    if (m_plan) {
        rows.reserve(m_plan->entries.size());
        for (const SyncEntry& e : m_plan->entries)
            rows.push_back(e.row);
    }
    return rows;
}

const SyncEntry* SyncPreview::entryAt(qsizetype sharedRow) const {
    if (!m_plan)
        return nullptr;
    const std::vector<SyncEntry>& entries = m_plan->entries;
    const auto it = std::lower_bound(entries.begin(), entries.end(), sharedRow,
                                     [](const SyncEntry& e, qsizetype r) { return e.row < r; });
    return it != entries.end() && it->row == sharedRow ? &*it : nullptr;
}

bool SyncPreview::change(const std::vector<qsizetype>& sharedRows, SyncAction action) {
    if (!m_plan)
        return false;
    std::vector<size_t> chosen;
    for (const qsizetype row : sharedRows) {
        if (const SyncEntry* e = entryAt(row))
            chosen.push_back(size_t(e - m_plan->entries.data()));
    }
    if (!changeActions(*m_plan, chosen, action, m_planned))
        return false;
    Q_EMIT actionsChanged();
    return true;
}

QString SyncPreview::summary(bool toTrash) const {
    return m_plan ? syncSummary(*m_plan, toTrash) : QString();
}

QString SyncPreview::text(bool toTrash) const {
    return m_plan ? syncPreviewText(*m_plan, toTrash) : QString();
}

QStringList SyncPreview::questionsBeforeRun(bool toTrash) const {
    QStringList questions;
    if (!m_plan)
        return questions;
    const qsizetype deletions =
        m_plan->count(SyncAction::DeleteLeft) + m_plan->count(SyncAction::DeleteRight);
    if (!toTrash && deletions > 0)
        questions << QStringLiteral("The Trash is off: %1 will be deleted for good, never to be "
                                    "undone. Go on?")
                         .arg(deletions == 1 ? QStringLiteral("1 file or folder")
                                             : QStringLiteral("%1 files and folders")
                                                   .arg(TextFormats().countText(deletions)));
    if (deletesAllOfDestination(*m_plan))
        questions << everythingDeletedQuestion();
    return questions;
}

QStringList SyncPreview::run(CommandHost& host, DeleteWay way, UndoJournal* journal) {
    QStringList changed;
    if (!m_plan)
        return changed;
    const SyncPlan& plan = *m_plan;
    const std::vector<SyncOutcome> outcomes =
        runSyncPlan(host, plan, way, journal, m_sides[0], m_sides[1]);
    for (size_t k = 0; k < outcomes.size(); ++k) {
        if (outcomes[k] != SyncOutcome::Changed)
            continue;
        const SyncEntry& e = plan.entries[k];
        const QByteArrayView path = plan.path(e, Side::Source).isEmpty()
                                        ? plan.path(e, Side::Destination)
                                        : plan.path(e, Side::Source);
        changed << nameText(path.toByteArray());
    }
    return changed;
}

void SyncPreview::end() {
    m_plan.reset();
    m_planned.clear();
    m_sides[0] = m_sides[1] = nullptr;
}
