#pragma once

#include "sync/sync_plan.h"

#include <QString>
#include <vector>

// What the user may do to a previewed plan's rows, and how the plan reads
// back to them.

// Whether the plan's entry may take `action`: a copy or a deletion needs a
// file on the side it starts from; an entry that could not be read is never
// acted on.
bool actionPossible(const SyncPlan& plan, const SyncEntry& entry, SyncAction action);

// The entries `chosen` (indexes into plan.entries) set to `action` where each
// allows it. Skip on entries all skipped gives each back its action as
// planned (`planned`, one per entry). False when none could take it.
bool changeActions(SyncPlan& plan, const std::vector<size_t>& chosen, SyncAction action,
                   const std::vector<SyncAction>& planned);

// "Update Destination", "Two-way"...
QString syncModeName(SyncMode mode);

// The plan in one line above the panes: its mode, its summary (sync_plan.h)
// and its note: "Update Both: 3 → 9 bytes · 1 conflict".
QString syncPreviewText(const SyncPlan& plan, bool toTrash = true);
