#pragma once

#include "fileops/file_steps.h"
#include "sync/sync_plan.h"

#include <memory>
#include <vector>

class CommandHost;
class FolderSide;
class UndoJournal;

// What became of one entry of a plan that was run.
enum class SyncOutcome {
    Done,
    NotActed, // a conflict, an unreadable row or one skipped: nothing to do
    Changed,  // a file the entry names changed since the plan: left alone
    Failed,   // tried, and the host was told why it failed, or stopped before
};

// Carries out a plan as its entries' actions now say (the user may have
// changed them): deletions first (a folder may replace a file of its name),
// to the Trash unless `way` says otherwise, then every copy, all under one
// progress of files and bytes, replacing the files the plan replaces (kept
// in the Trash unless deleting permanently). The plan is what the user
// agreed to: nothing is asked per file but what the drive's lack of a Trash
// asks. An entry whose file on either side is no longer what the plan saw
// (size, time, kind, there or not) is left alone. Failures are told through
// the host, which may stop the run between files. What the pair then holds
// the same on both sides is saved as its state (sync_state.h). With a
// journal, the run is one Undo record, "Synchronize of N Files", whose Undo
// also forgets that state. One outcome per entry.
std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal = nullptr);
// The same with the plan's folders each on its side (folder_side.h), kept
// by the run's Undo record to take its steps back there.
std::vector<SyncOutcome> runSyncPlan(CommandHost& host, const SyncPlan& plan, DeleteWay way,
                                     UndoJournal* journal, std::shared_ptr<FolderSide> source,
                                     std::shared_ptr<FolderSide> destination);
