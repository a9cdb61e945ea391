#pragma once

#include "core/file_system.h"
#include "fileops/file_copy.h"

#include <QByteArray>
#include <QString>

class Platform;
class QWidget;

// One file of a paste or a drop.
struct Transfer {
    FileLocation source;
    // The bytes of the folder it goes to, as its folder box gave them.
    QByteArray targetFolder;
    // A paste gives a file copied into its own folder a copy name and beeps
    // before asking to replace; a drop does neither.
    bool pasting = false;
    // Remove the source once it is copied (Cut, then Paste).
    bool move = false;
    // More files of the same command follow: a failure offers to stop them.
    bool othersFollow = false;
};

// What the rest of a command does after one file.
enum class AfterFile { GoOn, Stop };

// Copies (or moves) one file: a free name is copied to, an existing file is
// replaced only when the user answers Yes (one that appears after the
// question is never replaced). A source that is gone, a refused or failed
// copy and a failed removal are told to the user. A moved file's source is
// removed only after its copy succeeded. Stop when the user chose, at a
// failure, to skip the files still to come.
AfterFile transferFile(Platform& platform, QWidget* owner, const Transfer& transfer,
                       const CopyOptions& options);

// Asks before deleting a file, and again when it is read-only, hidden or
// system; a failure is told. Links go, never what they lead to, and the
// file's attributes are never changed on the way. True when deleted.
bool deleteFileAsked(Platform& platform, QWidget* owner, const FileLocation& file);

// Renames a file within its folder to the name `newName` stands for (see
// nameBytes(): "\xNN" is the byte NN). Fails when those bytes are not one
// plain name (empty, ".", "..", holding "/" or NUL, too long) or when the
// name is taken.
FsResult renameInFolder(const FileLocation& file, const QString& newName);
