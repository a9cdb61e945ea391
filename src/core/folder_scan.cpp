#include "core/folder_scan.h"

#include "core/file_system.h"

int attributeMask(const FilterSettings& settings) {
    int mask = 0;
    if (settings.showArchive != 0)
        mask += Attr::Archive;
    if (settings.showReadOnly != 0)
        mask += Attr::ReadOnly;
    if (settings.showHidden != 0)
        mask += Attr::Hidden;
    if (settings.showSystem != 0)
        mask += Attr::System;
    return mask;
}

namespace {

std::vector<NameEntry> listed(const QString& folder, const FilterSettings& settings, int mask) {
    std::vector<ListedName> names = FileSystem::listFolder(folder, settings.fileTypes, mask);
    std::vector<NameEntry> entries;
    entries.reserve(names.size());
    for (ListedName& n : names)
        entries.push_back({std::move(n.name), std::move(n.fileName), Side::Source});
    return entries;
}

} // namespace

void scanFolders(SortedNameList& list, const QString& sourcePath, const QString& destinationPath,
                 const FilterSettings& settings) {
    list.clear();
    const int mask = attributeMask(settings);
    std::vector<NameEntry> source = listed(sourcePath, settings, mask);
    std::vector<NameEntry> destination = listed(destinationPath, settings, mask);
    list.assign(std::move(source), std::move(destination));
}
