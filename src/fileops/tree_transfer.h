#pragma once

#include "fileops/file_steps.h"
#include "fileops/folder_tree.h"

#include <QStringList>
#include <functional>

// What the files of one paste or drop share beyond the standing answer.
struct TreeRun {
    // The user asked to stop: nothing more is begun.
    std::function<bool()> cancelled;
    // After each file (or link, or skipped entry) and its bytes.
    std::function<void(qint64 files, qint64 bytes)> advanced;
    // Special files (FIFOs, sockets, devices) met inside folders, which are
    // not copied: the command tells them once, at its end.
    QStringList skipped;
    // Folders that could not be read or entered, each with its reason: what
    // they hold is neither copied nor (by a Cut) removed, told once at the end.
    QStringList unreadable;
};

// Copies (or moves) the folder `t.source` with everything in it, as `plan`
// found it, into `t.targetFolder`: each file as transferFile() copies one,
// links as links, folders made with the source's mode, owner and times.
// Into a folder of that name the two trees merge, each file that exists
// asked about. A move takes the folder in one rename where it can;
// otherwise each file goes when its copy is safe, and each source folder
// when it is empty at the end. A folder is never put into itself or below
// itself. Stop when the user chose to skip the rest of the command.
AfterFile transferFolder(CommandHost& host, const Transfer& t, const TreePlan& plan,
                         const CopyOptions& options, TreeRun& run);

// The one message of a command for the folders it could not read and the
// special files it skipped, with their numbers; none when there were none.
void tellSkipped(CommandHost& host, const TreeRun& run);
