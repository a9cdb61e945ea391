#pragma once

#include "fileops/undo_journal.h"
#include "text/text_diff.h"

#include <functional>
#include <sys/stat.h>
#include <vector>

// What stands at the name of a file the view read, looked at in the folder
// held open since.
enum class NameNow {
    Same,      // the file as read, or as saved last
    Changed,   // another file, or the same one touched: the bytes read are still known
    Rewritten, // the bytes read are gone (the file read was rewritten in place)
    Gone,      // nothing
    NotAFile,  // a link, a folder, a pipe...: never written through nor replaced
    Unreachable,
};
// `now` is what stands there (for Changed, what a save may replace).
NameNow lookAtName(ReadFile& file, struct stat& now);

// Whether the file read still holds the bytes split from it: looked at again
// (hashed) only when its change time has moved.
bool heldIntact(ReadFile& file);

// Whether two looks saw the same entry: device, inode, size, modification
// and change time to the nanosecond.
bool sameEntry(const struct stat& a, const struct stat& b);

// How a save treats the file it replaces.
struct SaveWay {
    bool toTrash = true;
    // Asked once when the old file cannot be kept in the Trash (with why):
    // true replaces it for good.
    std::function<bool(const QString&)> replaceForGood;
    // The files the text's unedited lines are read from: a save whose data
    // changed under it while it was written is not renamed in.
    std::vector<const ReadFile*> sources;
};

// What became of the file the save replaced.
enum class OldFile { Trashed, Gone, None };

// Writes `text` once, as a new file in `file`'s folder (at its descriptor)
// with the attributes of the file read, flushes it and renames it over the
// name, only while the name still holds `expected` (a regular file; null for
// a free name). The replaced file goes to the Trash, or with the user's
// leave is replaced for good. `step` records the save for Undo (not when the
// old file is gone). On failure the name is as it was and nothing is left
// behind; a save the user called off fails with ECANCELED.
FsResult saveText(const EditedText& text, ReadFile& file, const struct stat* expected,
                  const SaveWay& way, UndoStep& step, OldFile& old);
