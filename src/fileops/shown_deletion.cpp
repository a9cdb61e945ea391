#include "fileops/shown_deletion.h"

#include "fs/folder_chain.h"
#include "sync/sync_plan.h"

bool deleteShown(CommandHost& host, int dir, const FileLocation& folder,
                 const FilterSettings& filters, const QByteArray& relative, DeleteWay way,
                 UndoJournal* journal) {
    FolderChain chain;
    const auto walk = [&](const auto& self, const QByteArray& at, const QByteArray& below) -> bool {
        const FolderListing listing = listShown(chain.fd(), at, filters, below);
        bool all = true;
        for (qsizetype i = 0; i < listing.count(); ++i) {
            const FileLocation entry{at, listing.fileName(i).toByteArray()};
            const bool sub = listing.isFolder(i) && !listing.isLink(i);
            const QByteArray inside = below + entry.name + '/';
            if (!sub || !filtersHideBelow(chain.fd(), entry.name, entry.path(), filters, inside)) {
                all = deleteChosen(host, entry, way, journal, sub, chain.fd()) && all;
                continue;
            }
            if (!chain.enter(entry.name)) {
                all = false;
                continue;
            }
            all = self(self, entry.path(), inside) && all;
            if (!chain.leave())
                return false;
        }
        return all;
    };
    try {
        if (!chain.openTopAt(dir, folder.name, folder.path()))
            throw FsError::fromErrno(errno, folder.text());
        return walk(walk, folder.path(), relative);
    } catch (const FsError& e) {
        tellFailure(host, QStringLiteral("%1 could not be deleted.").arg(folder.text()), e);
        return false;
    }
}
