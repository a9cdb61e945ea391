#pragma once

#include "fileops/sync_run.h"

#include <vector>

class FolderRows;
class SyncSides;
struct FileStat;

// Whether two entries listed have the same modification time, to the
// nanosecond where the listing kept it.
bool sameListedTime(const FileStat& a, const FileStat& b);

// Mirror makes Destination exactly Source: files left alone because their
// contents (or their times within the tolerance) are the same take Source's
// time, and so does every folder once its contents are done. The other
// modes give the folders they copied into the time of the folder copied
// from. Each set at the entry's folder, held by `sides`.
void carryTimes(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes, SyncSides& sides);

// The folders of the rows (each with those above it, the top first), in the
// rows' order: the folders both trees hold.
std::vector<QByteArray> foldersOf(const FolderRows& rows);
