#pragma once

#include "core/filter_settings.h"
#include "core/sorted_name_list.h"

// Lists the Source and the Destination folder under the filters into the
// list (emptied first). Folder paths end with "/". Throws FsError when a
// folder exists but cannot be read.
void scanFolders(SortedNameList& list, const QString& sourcePath, const QString& destinationPath,
                 const FilterSettings& settings);
