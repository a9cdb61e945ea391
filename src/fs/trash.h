#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QDateTime>
#include <ctime>
#include <optional>
#include <sys/types.h>

// One entry this program put in a freedesktop Trash: enough to find it again
// and to put it back where it was.
struct TrashEntry {
    QByteArray folder;       // the trash folder, holding files/ and info/
    QByteArray name;         // the entry's name in files/; info/ adds ".trashinfo"
    QByteArray originalPath; // the absolute path it had, as bytes
    FileIdentity identity;   // the trashed entry, told from anything put there since

    QByteArray filePath() const { return folder + "/files/" + name; }
    QByteArray infoPath() const { return folder + "/info/" + name + ".trashinfo"; }
};

// The Trash as desktops share it: the home trash ($XDG_DATA_HOME/Trash) for
// files on its file system, and on other file systems the administrator's
// sticky "$topdir/.Trash/$uid" or else the user's own "$topdir/.Trash-$uid".
// Nothing is ever copied: a file that cannot be renamed into a trash on its
// own file system fails with ENOTSUP, and the caller may offer to delete it.
namespace Trash {

// Whether `name`, in a drive's top folder, is a trash there: ".Trash" (the
// administrator's, one folder a user) or ".Trash-" and a user's number.
bool isTopTrashName(const char* name);

// The text of an info file: the original path percent-encoded byte by byte,
// and the deletion time in local time.
QByteArray infoText(const QByteArray& pathInInfo, const QDateTime& deleted);

// Moves the entry at `path` (a file, a link or a whole folder) into the trash
// of its file system: the info file is written first, reserving the name,
// then the entry is renamed in. On failure nothing is left behind.
FsResult moveToTrash(const QByteArray& path, TrashEntry& entry,
                     const QDateTime& deleted = QDateTime::currentDateTime());

// Gives the file at `path` a second name in its trash, so that a new file
// renamed over `path` next leaves the old one in the trash: at no moment is
// there neither. discard() takes the entry back when that rename fails.
FsResult linkIntoTrash(const QByteArray& path, TrashEntry& entry,
                       const QDateTime& deleted = QDateTime::currentDateTime());
void discard(const TrashEntry& entry);
// The two above for the entry `name` of the folder `dir`, held open by the
// caller: reached from it, never through a path (`path` names it in messages).
FsResult moveToTrashAt(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                       const QDateTime& deleted = QDateTime::currentDateTime());
FsResult linkIntoTrashAt(int dir, const QByteArray& name, const QByteArray& path, TrashEntry& entry,
                         const QDateTime& deleted = QDateTime::currentDateTime());

// Puts an entry back at its original path, when it is still the entry that
// was trashed. `replace` lets it take the place of what stands there now
// (in one rename); otherwise a taken place fails with EEXIST.
FsResult restore(const TrashEntry& entry, bool replace = false);

} // namespace Trash
