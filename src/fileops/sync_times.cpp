#include "fileops/sync_times.h"

#include "compare/flat_rows.h"
#include "fileops/sync_sides.h"

#include <QSet>
#include <cerrno>

namespace {

// Sets the time of `to`'s folder `folder` to that of `from`'s. A folder
// below the tops is looked at, and set, from its parent, held by the walker
// (a link put at its name is not followed), so the walk enters only the
// folders that hold folders.
void takeFolderTime(SyncSides& sides, Side from, const QByteArray& folder) {
    const Side to = otherSide(from);
    const QByteArray name = namePart(folder).toByteArray();
    const auto look = [&](Side side, struct stat& st) {
        return (folder.isEmpty() ? sides.reachFolder(side, {}) : sides.reach(side, folder)) &&
               sides[side].side().stat(sides[side].place(), name.constData(), st);
    };
    struct stat a {
    }, b{};
    // Only the folder the plan saw there: one put in its place is left alone.
    const FolderId* seen = sides[to].expected(folder);
    if (!look(from, a) || !look(to, b) || !S_ISDIR(a.st_mode) || !S_ISDIR(b.st_mode) ||
        (seen && !(FolderId::of(b) == *seen)) || sameTime(a.st_mtim, b.st_mtim))
        return;
    (void)sides[to].side().setModified(sides[to].place(), name.constData(), a.st_mtim);
}

} // namespace

std::vector<QByteArray> foldersOf(const FolderRows& rows) {
    std::vector<QByteArray> folders{QByteArray()};
    QSet<QByteArrayView> seen{QByteArrayView("")};
    for (const RowPair& p : rows.rows) {
        const bool source = p.source >= 0;
        const QByteArrayView path =
            source ? rows.source.fileName(p.source) : rows.destination.fileName(p.destination);
        const QByteArrayView folder = folderPart(path);
        if (seen.contains(folder))
            continue;
        for (qsizetype k = 0; k <= folder.size(); ++k) {
            if (k < folder.size() && folder[k] != '/')
                continue;
            if (seen.contains(folder.first(k)))
                continue;
            seen.insert(folder.first(k));
            folders.push_back(folder.first(k).toByteArray());
        }
    }
    return folders;
}

bool sameListedTime(const FileStat& a, const FileStat& b) {
    // To the nanosecond where the listing kept it: a second's fraction apart
    // is not "exactly Source".
    return a.identity && b.identity ? sameTime(a.identity->modified, b.identity->modified)
                                    : a.modified == b.modified;
}

void carryTimes(const SyncPlan& plan, const std::vector<SyncOutcome>& outcomes, SyncSides& sides) {
    const FolderRows& rows = *plan.rows;
    if (plan.mode == SyncMode::Mirror) {
        for (qsizetype r = 0; r < rows.count(); ++r) {
            const RowPair& p = rows.rows[size_t(r)];
            const RowStatus status = rows.status(r);
            if (p.source < 0 || p.destination < 0 || rows.source.isFolder(p.source) ||
                (status != RowStatus::Same && status != RowStatus::SameContents) ||
                sameListedTime(rows.source.stat(p.source), rows.destination.stat(p.destination)))
                continue;
            const QByteArrayView path = rows.source.fileName(p.source);
            const SyncEntry e{qint32(r), SyncAction::Skip};
            const std::optional<struct stat> from = sides.entry(Side::Source, path);
            if (!from || !bothAsPlanned(plan, e, sides))
                continue;
            const PlanWalker& to = sides[Side::Destination];
            (void)to.side().setModified(to.place(), namePart(path).toByteArray().constData(),
                                        from->st_mtim);
        }
        for (const QByteArray& folder : foldersOf(rows))
            takeFolderTime(sides, Side::Source, folder);
        return;
    }
    QSet<QByteArray> done;
    for (size_t k = 0; k < plan.entries.size(); ++k) {
        const SyncEntry& e = plan.entries[k];
        if (!isCopy(e.action) || outcomes[k] != SyncOutcome::Done)
            continue;
        const QByteArray folder = folderPart(plan.path(e, sideOf(e.action))).toByteArray();
        if (!done.contains(folder)) {
            done.insert(folder);
            takeFolderTime(sides, sideOf(e.action), folder);
        }
    }
}
