#pragma once

#include "fileops/command_host.h"
#include "fileops/file_steps.h"
#include "fileops/undo_journal.h"
#include "fs/folder_side.h"

#include <QByteArray>
#include <QString>
#include <memory>

// Delete and Rename of an entry of a pane whose folder lies on another host
// (`folder`, a path there ending with "/"), through its side, with the
// questions and the Undo journal of the same commands here.

// Asks, then deletes the entry `name` (a folder with all it holds, a link
// alone) as it was when asked about: another entry put at its name
// meanwhile is not deleted. A failure is told, and questions name the entry
// in `shownFolder` (the folder as the user gave it).
bool deleteOnSide(CommandHost& host, const std::shared_ptr<FolderSide>& side,
                  const QByteArray& folder, const QByteArray& shownFolder, const QByteArray& name,
                  DeleteWay way, UndoJournal* journal);

// Renames the entry `name` to `newName` (typed: its bytes as nameBytes()
// gives them), never over another entry.
FsResult renameOnSide(const std::shared_ptr<FolderSide>& side, const QByteArray& folder,
                      const QByteArray& name, const QString& newName, UndoJournal* journal);
