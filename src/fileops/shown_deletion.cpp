#include "fileops/shown_deletion.h"

#include "sync/sync_plan.h"

bool deleteShown(CommandHost& host, const std::shared_ptr<FolderSide>& side, const SidePlace& place,
                 const FileLocation& folder, const FilterSettings& filters,
                 const QByteArray& relative, DeleteWay way, UndoJournal* journal) {
    const std::unique_ptr<SideWalk> chain = side->walk();
    const auto walk = [&](const auto& self, const QByteArray& at, const QByteArray& below) -> bool {
        const FolderListing listing = listShown(*side, chain->place(), at, filters, below);
        bool all = true;
        for (qsizetype i = 0; i < listing.count(); ++i) {
            const FileLocation entry{at, listing.fileName(i).toByteArray()};
            const bool sub = listing.isFolder(i) && !listing.isLink(i);
            const QByteArray inside = below + entry.name + '/';
            if (!sub || !filtersHideBelow(*side, chain->place(), entry.name, entry.path(), filters,
                                          inside)) {
                all = deleteChosenAt(host, entry, way, journal, sub, side, chain->place(),
                                     entry.name) &&
                      all;
                continue;
            }
            if (!chain->enter(entry.name)) {
                all = false;
                continue;
            }
            all = self(self, entry.path(), inside) && all;
            if (!chain->leave())
                return false;
        }
        return all;
    };
    try {
        if (!chain->openTopAt(place, folder.name, folder.path()))
            throw FsError::fromErrno(errno, folder.text());
        return walk(walk, folder.path(), relative);
    } catch (const FsError& e) {
        tellFailure(host, QStringLiteral("%1 could not be deleted.").arg(folder.text()), e);
        return false;
    }
}
