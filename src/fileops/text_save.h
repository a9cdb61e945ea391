#pragma once

#include "core/edited_text.h"
#include "fileops/undo_journal.h"

#include <optional>
#include <sys/stat.h>

// The file a path reaches (a link followed), as the view holds it open:
// told from one changed or put there since. Nothing when there is none.
std::optional<FileIdentity> reachedFile(const QByteArray& path);

// Saves `text` over the file `path` (a link's file, not the link) as the file
// commands replace a file: the copy engine writes it beside the file, flushes
// it and renames it over, keeping the file's mode, owner, ACL and extended
// attributes; the old file goes to the Trash. `step` records the save for
// Undo. On failure the file is as it was and nothing is left behind.
FsResult saveText(const EditedText& text, const QByteArray& path, UndoStep& step);
