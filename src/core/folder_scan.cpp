#include "core/folder_scan.h"

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

std::vector<NameEntry> listed(const QByteArray& folder, const FilterSettings& settings, int mask) {
    std::vector<ListedName> names = FileSystem::listFolder(folder, settings.fileTypes, mask);
    std::vector<NameEntry> entries;
    entries.reserve(names.size());
    for (ListedName& n : names)
        entries.push_back({std::move(n.name), std::move(n.fileName), Side::Source});
    return entries;
}

} // namespace

void scanFolders(SortedNameList& list, const QByteArray& sourcePath,
                 const QByteArray& destinationPath, const FilterSettings& settings) {
    list.clear();
    const int mask = attributeMask(settings);
    std::vector<NameEntry> source = listed(sourcePath, settings, mask);
    std::vector<NameEntry> destination = listed(destinationPath, settings, mask);
    list.assign(std::move(source), std::move(destination));
}

std::vector<StatedRow> statRows(const std::vector<AlignedRow>& rows, const SortedNameList& list,
                                const QByteArray& sourcePath, const QByteArray& destinationPath) {
    const OpenFolder source(sourcePath);
    const OpenFolder destination(destinationPath);
    // A side whose file is gone becomes a placeholder.
    auto read = [&list](const OpenFolder& folder, qsizetype& index, FileStat& out) {
        if (index < 0)
            return;
        if (const std::optional<FileStat> st = folder.stat(list.at(index).fileName))
            out = *st;
        else
            index = -1;
    };
    std::vector<StatedRow> stated;
    stated.reserve(rows.size());
    for (const AlignedRow& r : rows) {
        StatedRow s{r, {}, {}};
        read(source, s.row.source, s.source);
        read(destination, s.row.destination, s.destination);
        if (s.row.source >= 0 || s.row.destination >= 0)
            stated.push_back(s);
    }
    return stated;
}
