#pragma once

#include "fs/file_system.h"
#include "fs/trash.h"

#include <utility>
#include <vector>

class SshLink;

// The Trash of the link's host, as desktops share it there: the remote
// user's home trash for entries on its file system, else the
// administrator's sticky "$topdir/.Trash/$uid" or the user's own
// "$topdir/.Trash-$uid", written by commands over the link. As here,
// nothing is ever copied: an entry that cannot be renamed into a trash on
// its own file system fails with ENOTSUP. Names travel as data.

// Moves the entry `name` of the host folder `folder` into the trash, only
// while it has the identity `expected` (as the host's find prints
// "%D %i %s %T@ %C@"; "" for any), telling where in `entry`.
FsResult trashRemote(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                     const QByteArray& expected, TrashEntry& entry);

// Gives the file `name` of `folder` a second name in the trash, where it
// stays too (a hard link), as trashRemote tells it; discardRemote() takes
// a trash entry away for good.
FsResult linkIntoTrashRemote(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                             TrashEntry& entry);
void discardRemote(const SshLink& link, const TrashEntry& entry);
// The same for many files, each its folder and its name, in two commands:
// each one's result, and its place in `entries`.
using TrashedName = std::pair<QByteArray, QByteArray>;
std::vector<FsResult> linkIntoTrashRemote(const SshLink& link,
                                          const std::vector<TrashedName>& names,
                                          std::vector<TrashEntry>& entries);

// Puts a trashed entry back at its original path, only while it is the
// entry trashed; over what stands there now only with `replace`, else
// EEXIST.
FsResult restoreRemote(const SshLink& link, const TrashEntry& entry, bool replace = false);
