#pragma once

#include "core/file_system.h"
#include "core/filter_settings.h"
#include "core/row_matching.h"
#include "core/sorted_name_list.h"

// Lists the Source and the Destination folder under the filters into the
// list (emptied first). Folder paths are bytes ending with "/". Throws
// FsError when a folder exists but cannot be read.
void scanFolders(SortedNameList& list, const QByteArray& sourcePath,
                 const QByteArray& destinationPath, const FilterSettings& settings);

// An aligned row with the length and time of the file on each side.
struct StatedRow {
    AlignedRow row;
    FileStat source;
    FileStat destination;
};

// Reads the length and time of every file of the rows, relative to the two
// folders held open. A file that is gone since the listing is left out: its
// side becomes a placeholder, and a row left with none is dropped. Throws
// FsError when a file is there but cannot be read.
std::vector<StatedRow> statRows(const std::vector<AlignedRow>& rows, const SortedNameList& list,
                                const QByteArray& sourcePath, const QByteArray& destinationPath);
