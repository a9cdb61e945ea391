#include "sync/row_actions.h"

#include <algorithm>

bool actionPossible(const SyncPlan& plan, const SyncEntry& entry, SyncAction action) {
    if (entry.action == SyncAction::Unreadable)
        return false;
    switch (action) {
    case SyncAction::CopyRight:
    case SyncAction::DeleteLeft:
        return plan.rows->entry(entry.row, Side::Source) >= 0;
    case SyncAction::CopyLeft:
    case SyncAction::DeleteRight:
        return plan.rows->entry(entry.row, Side::Destination) >= 0;
    default:
        return true;
    }
}

bool changeActions(SyncPlan& plan, const std::vector<size_t>& chosen, SyncAction action,
                   const std::vector<SyncAction>& planned) {
    const bool unskip = action == SyncAction::Skip && !chosen.empty() &&
                        std::all_of(chosen.begin(), chosen.end(), [&](size_t k) {
                            return plan.entries[k].action == SyncAction::Skip;
                        });
    bool changed = false;
    for (const size_t k : chosen) {
        SyncEntry& e = plan.entries[k];
        const SyncAction wanted = unskip ? planned[k] : action;
        if (actionPossible(plan, e, wanted)) {
            e.action = wanted;
            changed = true;
        }
    }
    return changed;
}

QString syncModeName(SyncMode mode) {
    static const char* const names[] = {"Update Destination", "Update Source", "Update Both",
                                        "Mirror to Destination", "Two-way"};
    return QLatin1String(names[int(mode)]);
}

QString syncPreviewText(const SyncPlan& plan, bool toTrash) {
    return syncModeName(plan.mode) + QStringLiteral(": ") + syncSummary(plan, toTrash) +
           (plan.note.isEmpty() ? QString() : QStringLiteral(". ") + plan.note);
}
