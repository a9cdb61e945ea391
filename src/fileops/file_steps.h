#pragma once

#include "fileops/file_copy.h"
#include "fs/file_system.h"
#include "fs/folder_side.h"
#include "fs/trash.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class CommandHost;
class UndoJournal;

// How one command answers the overwrite question from the moment the user
// chose "Yes to All" or "No to All": held by the command, so the next
// command asks again.
enum class ForAll { Ask, Replace, Skip };

// One file of a paste or a drop.
struct Transfer {
    FileLocation source;
    // The source is a folder, as its listing found it: copied whole.
    bool folder = false;
    // The bytes of the folder it goes to, as its folder box gave them.
    QByteArray targetFolder;
    // A paste gives a file copied into its own folder a copy name and beeps
    // before asking to replace; a drop does neither.
    bool pasting = false;
    // Remove the source once it is copied (Cut, then Paste).
    bool move = false;
    // A link is copied as a link (inside a folder copied whole), not the
    // file it leads to.
    bool linkItself = false;
    // More files of the same command follow: a failure offers to stop them,
    // and the overwrite question offers answers for all of them.
    bool othersFollow = false;
    // The command's standing answer; without one every file is asked alone.
    ForAll* forAll = nullptr;
    // A replaced file is kept in the Trash, where Undo finds it again.
    bool keepReplaced = false;
    // Where the steps done are noted for Undo; none when null.
    UndoJournal* journal = nullptr;
    // The source as the command chose it: another file put at its name
    // since is not touched.
    std::optional<FileIdentity> chosen = std::nullopt;
    // The sides its source and its target folder lie on (folder_side.h),
    // where Undo takes its steps back; none: this machine's.
    std::shared_ptr<FolderSide> sides[2] = {nullptr, nullptr};
};

// What the rest of a command does after one file.
enum class AfterFile { GoOn, Stop };

// Copies (or moves) one file: a free name is copied to, an existing file is
// replaced only when the user answers Yes (one that appears after the
// question is never replaced). A source that is gone, a refused or failed
// copy and a failed removal are told to the user. A moved file's source is
// removed only after its copy succeeded. Stop when the user chose, at a
// failure or at the question, to skip the files still to come.
AfterFile transferFile(CommandHost& host, const Transfer& transfer, const CopyOptions& options);

enum class DeleteWay { ToTrash, Permanently };

// Where a command on a pane's row reaches its file: the side the pane's
// folder lies on (this machine's when none is given) and that folder, `top`,
// opened as the user gave it (a link there followed); the folders from it
// down to a flattened row's own are entered one at a time, never through a
// link, so a folder swapped for a link since the listing is not followed.
// Without `top` the file's own folder is opened as given.
struct RowPlace {
    std::shared_ptr<FolderSide> side;
    QByteArray top;
    // `top` as its box shows it (a host's address), naming the entry in
    // questions and failures; empty: as `top` does.
    QByteArray shown = {};
};

// Asks before deleting a file, and again when it is read-only, hidden or
// system; a failure is told. Links go, never what they lead to, and the
// file's attributes are never changed on the way. To the Trash, a file whose
// drive has none is deleted for good only when the user says so. A file
// trashed is noted in `journal`; one deleted for good ends its history.
// True when deleted.
// A folder is asked about once, with the number of files below it, and goes
// with everything in it (to the Trash as one entry); links are not followed.
// `chosen`, when given, is the file as the command chose it: another file
// put at its name since is not deleted (none: the entry first looked at is
// the one asked about). The file is reached from `row`, and
// deleted, trashed and noted for Undo through its side.
bool deleteFileAsked(CommandHost& host, const FileLocation& file, DeleteWay way,
                     UndoJournal* journal = nullptr, bool folder = false,
                     const FileIdentity* chosen = nullptr, const RowPlace& row = {});

// Deletes a file, or a folder with everything in it, that the command
// already asked about, as deleteFileAsked() does after its questions: the
// drive without a Trash asked about, a failure told, the journal noted.
// With `folderFd`, the entry is reached as `file.name` in that folder, held
// by the caller, never through `file`'s path (which names it in messages).
bool deleteChosen(CommandHost& host, const FileLocation& file, DeleteWay way,
                  UndoJournal* journal = nullptr, bool folder = false, int folderFd = -1);
// The same for the entry `name` at `place` on `side`, through which its
// Undo takes it back too (`file` names it in messages).
bool deleteChosenAt(CommandHost& host, const FileLocation& file, DeleteWay way,
                    UndoJournal* journal, bool folder, const std::shared_ptr<FolderSide>& side,
                    const SidePlace& place, const QByteArray& name);

// Fails when another file than `chosen` (when given) stands at `file`'s name
// now: a command acts only on the files it chose. A file gone passes, for
// the step itself to tell. With `folderFd`, the name is looked at there;
// with `side`, at `place` on it.
FsResult stillChosen(const FileLocation& file, const FileIdentity* chosen, int folderFd = -1);
FsResult stillChosen(const FileLocation& file, const FileIdentity* chosen, FolderSide& side,
                     const SidePlace& place);

// Tells the user of a failure; true when they chose to skip the files still
// to come (offered when `othersFollow`).
bool tellFailure(CommandHost& host, const QString& what, const FsError& error,
                 bool othersFollow = false);

// The name a file or folder pasted takes in `targetFolder`: its own, or the
// first free copy name when it is pasted into its own folder.
FileLocation pasteTarget(const Transfer& t);

// Renames a file (or a folder) within its folder to the name `newName` stands for (see
// nameBytes(): "\xNN" is the byte NN). Fails when those bytes are not one
// plain name (empty, ".", "..", holding "/" or NUL, too long) or when the
// name is taken.
// A rename done is noted in `journal`. `chosen` and `row` as for deleteFileAsked().
FsResult renameInFolder(const FileLocation& file, const QString& newName,
                        UndoJournal* journal = nullptr, const FileIdentity* chosen = nullptr,
                        const RowPlace& row = {});
