#pragma once

#include "fs/file_system.h"
#include "fs/folder_chain.h"
#include "fs/tree_removal.h"

#include <QByteArray>
#include <sys/types.h>
#include <vector>

// One entry below a folder that a command copies, moves or deletes whole.
struct TreeEntry {
    enum class Kind { Folder, File, Link, Special };
    Kind kind = Kind::File;
    QByteArray folder; // below the top folder: "" for its own entries, else "a/b"
    QByteArray name;
    qint64 size = 0;
    // A folder that could not be read: its entries are not in the plan.
    int unreadable = 0;
    // The entry as the plan found it: the command acts in that very folder;
    // a file with more than one name (`links`) is copied once, then linked.
    FolderId id;
    nlink_t links = 1;
};

// A folder's tree as a walk that never follows links finds it: each folder
// before its entries, a folder's files, links and special files together,
// then its subfolders (each with everything below it).
struct TreePlan {
    std::vector<TreeEntry> entries;
    qint64 files = 0; // every entry but the folders
    qint64 bytes = 0; // the sizes of the regular files
};

// How much a plan holds: every entry as it stands (for a copy), or its
// folders and only the number of the rest (for a question about deleting).
enum class PlanDetail { Entries, Counted };

// The tree below the folder at `path`; fails when `path` is not a folder
// (a link to one included) or cannot be read.
FsResult planTree(const QByteArray& path, TreePlan& plan, PlanDetail detail = PlanDetail::Entries);
// The same for the entry `name` of the folder `dir`, held by the caller
// (`path` names it in messages).
FsResult planTreeAt(int dir, const QByteArray& name, const QByteArray& path, TreePlan& plan,
                    PlanDetail detail = PlanDetail::Entries);

// True when `path` is a link (which a folder row may stand for).
bool isLink(const QByteArray& path);

// The path of `entry` below `top`.
QByteArray entryPath(const QByteArray& top, const TreeEntry& entry);

// Refuses a folder to be put into `targetFolder` when that is the folder
// itself or a folder below it, compared by device and inode along the
// target's parents, so other spellings and links to them are caught too,
// and with every folder of its `plan`, so a bind mount of one of them is.
FsResult checkNotInside(const QByteArray& folder, const QByteArray& targetFolder,
                        const TreePlan& plan);

// Gives a folder made for a copy (open to the user alone while the copy
// fills it) what `cp -a` keeps of the folder `in`: owner and group where the
// user may set them, extended attributes, ACL, mode and times; after its
// entries, which change its time. The paths are for messages.
FsResult finishFolder(int in, const QByteArray& source, int out, const QByteArray& path);
