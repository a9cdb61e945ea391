#pragma once

#include "fileops/sync_run.h"
#include "fs/file_system.h"

#include <QByteArrayView>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class CommandHost;

// Saves as the pair's state (sync_state.h) what the pair holds the same on
// both sides after `plan` ran with `outcomes` (one per entry; none when
// nothing was run, as for a plan with nothing to do): every row the plan
// found the same, whether a window showed it or not, and the files copied.
// A row not acted on keeps what the state said of it (a conflict left alone
// is one again at the next run). Folders copied whole and files deleted
// leave no entry: a later plan sees what they hold. Nothing, or why the
// state could not be written. `look` gives an entry's identity as the run
// left it, from the folders the run holds (never a path from the root):
// needed only after a run, for the files it copied or gave a time.
using LookAtEntry = std::function<std::optional<FileIdentity>(Side, QByteArrayView relative)>;
FsResult saveSyncState(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes = {},
                       const LookAtEntry& look = {});

// What the user is told when the state could not be saved.
QString syncStateNotSavedText(const FsError& error);
// The same, telling the host why when the state could not be saved: false then.
bool saveSyncState(CommandHost& host, const SyncPlan& plan,
                   const std::vector<SyncOutcome>& outcomes, const LookAtEntry& look);
