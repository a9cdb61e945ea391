#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QString>

class SyncPlan;

// What Synchronize refuses, or asks about, before it acts: the same checks
// for the window and the command line.

// Fails when the two top folders are one folder, or one lies inside the
// other, judged by device and inode up the parents of each: other
// spellings ("..", a link, a relative path) and bind mounts are seen. A
// synchronisation would then copy a tree into itself or delete the folder it
// copies from. A folder that cannot be opened passes: the plan names it.
FsResult checkSyncFolders(const QByteArray& source, const QByteArray& destination);

// True when the plan deletes every entry Destination shows, as it would
// after an empty Source (a drive not mounted, its mount point empty).
bool deletesAllOfDestination(const SyncPlan& plan);

// The window's question before such a run.
QString everythingDeletedQuestion();
