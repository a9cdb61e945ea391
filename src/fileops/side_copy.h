#pragma once

#include "fileops/file_copy.h"
#include "fileops/folder_tree.h"
#include "fs/folder_side.h"

// A folder at a place its side holds, and the path that names it (as a
// plan or a folder box gave it) in the copy's locations and messages.
struct HeldPlace {
    const FolderSide& side;
    SidePlace place;
    QByteArray folder;
};

// Lends the folders at two places to a copy's options, so the copy engine
// (file_copy.h) reads and writes there and never at the paths again. False,
// with EREMOTE, when either side's files lie on another host: such a side
// copies in and out with its own transfer (rsync, remote_copy.h), not this
// engine.
bool lendPlaces(CopyOptions& options, const HeldPlace& from, const HeldPlace& to);

// Plans the copy of the folder `folder.name` at `place` on `side` (planTreeAt),
// read on this machine for the copy engine; EREMOTE on a side whose files lie
// elsewhere, which copies a tree with its own transfer.
FsResult planTreeOn(const FolderSide& side, const SidePlace& place, const FileLocation& folder,
                    TreePlan& plan, PlanDetail detail = PlanDetail::Entries);
