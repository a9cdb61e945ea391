#pragma once

#include "fs/folder_side.h"

#include <QByteArray>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <vector>

class CommandHost;
class RemoteSide;
class TransferProgress;
class UndoJournal;
struct Transfer;
enum class AfterFile;

// One end of copies between a folder here and a folder on another host.
struct AcrossEnd {
    std::shared_ptr<FolderSide> side;
    // The folder the names are below: its path on the host, or here (for messages).
    QByteArray top;
    // Here: that folder held open, which rsync reaches through this
    // descriptor; -1 on a host.
    int fd = -1;
    // Here: the folder `folder` below the top ("" for the top) as the
    // command reaches it, no link followed; nothing when it cannot be.
    std::function<std::optional<SidePlace>(QByteArrayView folder)> reach;
    bool onHost() const { return fd < 0; }
};

// One entry copied across, and what became of it.
struct AcrossFile {
    QByteArray relative; // below both tops
    bool folder = false; // copied whole, with everything in it
    qint64 bytes = 0;    // for the progress
    // The file or link at the target that the copy replaces.
    std::optional<struct stat> replaced;
    // Afterwards: what the target holds; nothing when nothing was copied there.
    std::optional<struct stat> made;
};

// Copies `files` from `from` to `to`, one end here and one on another
// host, by one rsync over the host's connection (names NUL-separated on
// its input, folders whole, ACLs and extended attributes where both ends
// keep them), rsync's own files as it finishes them feeding `progress`, the
// host's cancel stopping it (its file in progress not kept). A file
// replaced first gets a second name in the Trash of its side (with
// `keepReplaced`; else it is replaced for good) so that Undo, noted in
// `journal`, takes it back. A connection lost or a host without rsync is
// told through `host` with what was copied and what was not, and no
// temporary of rsync's is left beside the names sent. False when not every
// file was copied.
bool copyAcross(CommandHost& host, const AcrossEnd& from, const AcrossEnd& to,
                std::vector<AcrossFile>& files, bool keepReplaced, UndoJournal* journal,
                TransferProgress& progress);

// The entries `relatives` below the host folder `top`, in one command, each
// as stat() tells it (a link itself); nothing for one not there.
std::vector<std::optional<struct stat>> statOnHost(const RemoteSide& side, const QByteArray& top,
                                                   const std::vector<QByteArray>& relatives);

// The path of `relative` below `top`, on either kind of side.
QByteArray below(const QByteArray& top, QByteArrayView relative);

// Whether one side of a paste's or drop's file lies on another host.
bool acrossHosts(const Transfer& t);
// Copies (or moves) that file as copyAcross() does, each folder as the
// command gave it: a file at the target's name replaced only as the user
// answers (the command's standing answer first), a file moved put in the
// Trash of its side once copied, so that Undo brings it back there. Stop
// when the user chose to skip the files still to come.
AfterFile transferAcross(CommandHost& host, const Transfer& t, TransferProgress& progress);
