#pragma once

#include "fileops/file_steps.h"
#include "fs/file_system.h"
#include "fs/filter_settings.h"

#include <QByteArray>
#include <memory>

class CommandHost;
class UndoJournal;

// Deletes from the folder `folder` (its entry `folder.name` at `place` on
// `side`, held by the caller) what `filters` show, at any depth, and leaves
// what they hide with the folders that hold it, as `rsync --delete
// --exclude` keeps a folder that is not empty. Each entry goes as
// deleteChosenAt() deletes one, reached from its folder's place; a
// folder that hides nothing goes whole. `relative` is the folder's place
// below the folders compared, ending with "/", for the exclusions. True
// when everything shown went.
bool deleteShown(CommandHost& host, const std::shared_ptr<FolderSide>& side, const SidePlace& place,
                 const FileLocation& folder, const FilterSettings& filters,
                 const QByteArray& relative, DeleteWay way, UndoJournal* journal);
