#pragma once

#include "core/sync_plan.h"
#include "fileops/file_steps.h"

#include <vector>

class CommandHost;
class UndoJournal;

// What became of one entry of a plan that was run.
enum class SyncOutcome {
    Done,
    NotActed, // a conflict, an unreadable row or one skipped: nothing to do
    Changed,  // a file the entry names changed since the plan: left alone
    Failed,   // tried, and the host was told why it failed, or stopped before
};

// Carries out a plan: deletions first (a folder may replace a file of its
// name), to the Trash unless `way` says otherwise, then every copy under one
// progress, replacing the files the plan replaces (kept in the Trash unless
// deleting permanently). An entry whose file on either side is no longer
// what the plan saw (size, time, kind, there or not) is left alone. The
// host is asked and told as for any file command, and may stop the run
// between files. One outcome per entry.
// What it did is one record of `journal`, "Synchronize of N Files".
std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal = nullptr);
