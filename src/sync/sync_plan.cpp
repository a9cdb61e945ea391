#include "sync/sync_plan.h"

#include "base/name_text.h"
#include "compare/flat_rows.h"
#include "fs/folder_chain.h"
#include "fs/folder_scan.h"
#include "fs/local_side.h"
#include "sync/sync_state.h"

#include <QLocale>
#include <QSet>
#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>

std::optional<SyncMode> syncModeFromKey(QStringView key) {
    if (key == u"update")
        return SyncMode::UpdateDestination;
    if (key == u"update-source")
        return SyncMode::UpdateSource;
    if (key == u"both")
        return SyncMode::UpdateBoth;
    if (key == u"mirror")
        return SyncMode::Mirror;
    if (key == u"two-way")
        return SyncMode::TwoWay;
    return std::nullopt;
}

QString syncActionKey(SyncAction action) {
    // In the order of SyncAction.
    static const char* const keys[] = {"copy-right", "copy-left",  "delete-left", "delete-right",
                                       "conflict",   "unreadable", "skip"};
    return QLatin1String(keys[int(action)]);
}

std::optional<SyncAction> syncActionFor(RowStatus status, SyncMode mode) {
    const bool toRight = mode != SyncMode::UpdateSource;
    const bool toLeft =
        mode == SyncMode::UpdateSource || mode == SyncMode::UpdateBoth || mode == SyncMode::TwoWay;
    switch (status) {
    case RowStatus::SourceOnly:
    case RowStatus::SourceNewer:
        return toRight ? std::optional(SyncAction::CopyRight) : std::nullopt;
    case RowStatus::DestinationOnly:
    case RowStatus::DestinationNewer:
        // Mirror makes Destination what Source is, newer files there or not.
        if (mode == SyncMode::Mirror)
            return status == RowStatus::DestinationOnly ? SyncAction::DeleteRight
                                                        : SyncAction::CopyRight;
        return toLeft ? std::optional(SyncAction::CopyLeft) : std::nullopt;
    case RowStatus::Differs:
        // Neither side is newer: which wins is the user's call, unless Source always does.
        return mode == SyncMode::Mirror ? SyncAction::CopyRight : SyncAction::Conflict;
    case RowStatus::Case:
        return SyncAction::Conflict;
    case RowStatus::Unreadable:
    case RowStatus::Checking: // not settled: nothing is known to act on
        return SyncAction::Unreadable;
    case RowStatus::Same:
    case RowStatus::SameContents:
        break;
    }
    return std::nullopt;
}

QByteArrayView SyncPlan::path(const SyncEntry& entry, Side side) const {
    const qint32 i = rows->entry(entry.row, side);
    return i < 0 ? QByteArrayView() : rows->listing(side).fileName(i);
}

qint64 SyncPlan::size(const SyncEntry& entry, Side side) const {
    const qint32 i = rows->entry(entry.row, side);
    if (i < 0)
        return 0;
    const FileStat st = rows->listing(side).stat(i);
    return st.folder ? 0 : st.size;
}

qint64 SyncPlan::bytesCopied(const SyncEntry& entry) const {
    switch (entry.action) {
    case SyncAction::CopyRight:
        return size(entry, Side::Source);
    case SyncAction::CopyLeft:
        return size(entry, Side::Destination);
    default:
        return 0;
    }
}

qsizetype SyncPlan::count(SyncAction action) const {
    return std::count_if(entries.begin(), entries.end(),
                         [&](const SyncEntry& e) { return e.action == action; });
}

namespace {

// Whether the entry listed as `now` on `side` is what the state left there.
bool unchanged(const FileStat& now, Side side, const SyncedFile& was) {
    return now.identity && was.unchanged(side, *now.identity);
}

// Every entry of a folder, whatever a filter would leave out.
FilterSettings unfiltered() {
    FilterSettings all;
    all.fileTypes = QStringLiteral("*");
    all.showHidden = all.showSystem = all.showArchive = all.showReadOnly = 1;
    all.showSubfolders = 1;
    all.excludeNames.clear();
    return all;
}

// True when the folder `relative` below `top`, alone on `side`, holds only
// files the last synchronisation left there, as it left them (every entry,
// whatever the filters hide, links as links): the other side deleted it
// since, and nothing in it is new or changed. A file of it deleted on this
// side too stays deleted; a folder holding no file the state knew is new.
bool folderAsLeft(const QByteArray& top, const QByteArray& relative, Side side,
                  const SyncState& state) {
    const FilterSettings filters = unfiltered();
    ScanOptions scan;
    scan.linksAsLinks = true;
    scan.identities = true;
    const auto walk = [&](const auto& self, const QByteArray& folder) -> bool {
        const FolderListing listing = listFiles(top + folder + '/', filters, scan);
        for (qsizetype i = 0; i < listing.count(); ++i) {
            const QByteArray path = folder + '/' + listing.fileName(i).toByteArray();
            const FileStat st = listing.stat(i);
            if (st.folder && !listing.isLink(i)) {
                if (!state.anyBelow(path) || !self(self, path))
                    return false;
                continue;
            }
            const std::optional<SyncedFile> was = state.find(path);
            if (!was || !unchanged(st, side, *was))
                return false;
        }
        return true;
    };
    try {
        return walk(walk, relative);
    } catch (const FsError&) {
        return false; // what cannot be read is nobody's to delete
    }
}

// What two-way synchronisation does to row `r`: Update Both's action, unless
// the state knows the row's file.
std::optional<SyncAction> twoWayAction(const SyncPlan& plan, qsizetype r, const SyncState& state) {
    const FolderRows& rows = *plan.rows;
    const RowStatus status = rows.status(r);
    const std::optional<SyncAction> both = syncActionFor(status, SyncMode::TwoWay);
    if (!both || *both == SyncAction::Unreadable || status == RowStatus::Case || state.empty())
        return both;
    const RowPair& p = rows.rows[size_t(r)];
    if (p.source >= 0 && p.destination >= 0) {
        const std::optional<SyncedFile> was = state.find(rows.source.fileName(p.source));
        if (!was)
            return both;
        const bool left = !unchanged(rows.source.stat(p.source), Side::Source, *was);
        const bool right =
            !unchanged(rows.destination.stat(p.destination), Side::Destination, *was);
        if (left != right)
            return left ? SyncAction::CopyRight : SyncAction::CopyLeft;
        return left ? SyncAction::Conflict : both;
    }
    // Alone on one side: deleted on the other since, if the state had it on both.
    const Side side = p.source >= 0 ? Side::Source : Side::Destination;
    const qint32 i = rows.entry(r, side);
    const FileStat st = rows.listing(side).stat(i);
    const QByteArrayView path = rows.listing(side).fileName(i);
    const SyncAction deletion =
        side == Side::Source ? SyncAction::DeleteLeft : SyncAction::DeleteRight;
    if (st.folder) {
        if (!state.anyBelow(path))
            return both;
        // A folder on another host is not read again here: the user decides.
        if (!plan.hosts[int(side)].isEmpty())
            return SyncAction::Conflict;
        const QByteArray top =
            folderPath(side == Side::Source ? plan.sourceFolder : plan.destinationFolder);
        return folderAsLeft(top, path.toByteArray(), side, state) ? deletion : SyncAction::Conflict;
    }
    const std::optional<SyncedFile> was = state.find(path);
    if (!was)
        return both;
    // Changed where it stays and deleted on the other side: the user decides.
    return unchanged(st, side, *was) ? deletion : SyncAction::Conflict;
}

dev_t topDevice(FolderSide& side, const QByteArray& folder) {
    struct stat st {};
    return side.stat(side.root(), folderPath(folder).constData(), st, true) ? st.st_dev : 0;
}

// Why two-way must not run: a side whose top folder lists nothing, or is on
// another file system than at the last run, while the state knew files
// there. Every file of the other side would be taken for deleted there and
// deleted, when the likelier cause is a drive not mounted (its mount point
// empty) or mounted elsewhere.
QString emptiedSide(const SyncPlan& plan, const SyncState& state) {
    if (state.empty())
        return {};
    for (const Side side : {Side::Source, Side::Destination}) {
        const bool source = side == Side::Source;
        const dev_t was = source ? state.sourceDevice : state.destinationDevice;
        const dev_t now = source ? plan.sourceDevice : plan.destinationDevice;
        const bool empty = plan.rows->listing(side).count() == 0;
        if (!empty && (was == 0 || now == was))
            continue;
        return QStringLiteral("%1 (%2) %3, but the last synchronization left %4 files there: "
                              "is a drive not mounted? Nothing was done, so that the other "
                              "side's files are not taken for deleted. %5")
            .arg(source ? QStringLiteral("Source") : QStringLiteral("Destination"),
                 nameText(source ? plan.sourceFolder : plan.destinationFolder),
                 empty ? QStringLiteral("is empty") : QStringLiteral("is on another drive"),
                 QLocale().toString(state.count()),
                 empty ? QStringLiteral("If they were deleted on purpose, delete them on the "
                                        "other side too.")
                       : QStringLiteral("If it is the same drive mounted again, synchronize "
                                        "once in another mode: its state then starts anew."));
    }
    return {};
}

} // namespace

FolderListing listShown(FolderSide& side, const SidePlace& place, const QByteArray& path,
                        const FilterSettings& filters, const QByteArray& relative) {
    FilterSettings shown = filters;
    shown.showSubfolders = 1;
    ScanOptions scan;
    scan.linksAsLinks = true;
    scan.relativeFolder = relative;
    return side.list(place, path + '/', shown, scan);
}

bool filtersHideBelow(FolderSide& side, const SidePlace& place, const QByteArray& name,
                      const QByteArray& path, const FilterSettings& filters,
                      const QByteArray& relative) {
    const std::unique_ptr<SideWalk> chain = side.walk();
    const auto walk = [&](const auto& self, const QByteArray& at, const QByteArray& below) -> bool {
        const FolderListing listing = listShown(side, chain->place(), at, filters, below);
        // The filters only leave entries out: any more unfiltered is one hidden.
        if (listShown(side, chain->place(), at, unfiltered(), below).count() != listing.count())
            return true;
        for (qsizetype i = 0; i < listing.count(); ++i) {
            if (!listing.isFolder(i) || listing.isLink(i))
                continue;
            const QByteArray sub = listing.fileName(i).toByteArray();
            if (!chain->enter(sub) || self(self, at + '/' + sub, below + sub + '/') ||
                !chain->leave())
                return true;
        }
        return false;
    };
    try {
        return !chain->openTopAt(place, name, path) || walk(walk, path, relative);
    } catch (const FsError&) {
        return true;
    }
}

QByteArray SyncPlan::stateFolder(Side side) const {
    return hosts[int(side)] + (side == Side::Source ? sourceFolder : destinationFolder);
}

SyncPlan planSync(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
                  SyncMode mode, const TreeOptions& options) {
    LocalSide source, destination;
    return planSync({source, sourceFolder, {}}, {destination, destinationFolder, {}}, mode,
                    options);
}

SyncPlan planSync(const PlanFolder& source, const PlanFolder& destination, SyncMode mode,
                  const TreeOptions& options) {
    const QByteArray &sourceFolder = source.path, &destinationFolder = destination.path;
    SyncPlan plan;
    plan.mode = mode;
    plan.sourceFolder = sourceFolder;
    plan.destinationFolder = destinationFolder;
    plan.hosts[0] = source.host;
    plan.hosts[1] = destination.host;
    plan.sourceDevice = topDevice(source.side, sourceFolder);
    plan.destinationDevice = topDevice(destination.side, destinationFolder);
    plan.filters = options.filters;
    plan.relativeTop = options.relativeTop;
    auto seen = std::make_shared<SeenFolders>(), seenRight = std::make_shared<SeenFolders>();
    TreeOptions walk = options;
    walk.identities = true; // for the state the run saves, whatever the mode
    walk.entered = [&](const QByteArray& relative, const FolderId* a, const FolderId* b) {
        const QByteArrayView folder = QByteArrayView(relative).chopped(relative.endsWith('/'));
        if (a)
            seen->add(folder, *a);
        if (b)
            seenRight->add(folder, *b);
        if (options.entered)
            options.entered(relative, a, b);
    };
    plan.rows = flattenTrees(source.side, sourceFolder, destination.side, destinationFolder, walk);
    plan.folders[0] = std::move(seen);
    plan.folders[1] = std::move(seenRight);
    const FolderRows& rows = *plan.rows;
    SyncState state;
    if (mode == SyncMode::TwoWay) {
        // What the walk freed (its threads' listings, the rows as it found
        // them) given back before the state takes its room.
#ifdef __GLIBC__
        ::malloc_trim(0);
#endif
        state = SyncState::load(plan.stateFolder(Side::Source), plan.stateFolder(Side::Destination),
                                plan.note);
        plan.refusal = emptiedSide(plan, state);
        if (!plan.refusal.isEmpty())
            return plan;
    }
    for (qsizetype r = 0; r < rows.count(); ++r) {
        if (const std::optional<SyncAction> action = mode == SyncMode::TwoWay
                                                         ? twoWayAction(plan, r, state)
                                                         : syncActionFor(rows.status(r), mode))
            plan.entries.push_back({qint32(r), *action});
    }
    if (mode == SyncMode::Mirror) {
        // A folder deleted holding what the filters hide loses only what they show.
        QStringList kept;
        const QByteArray top = folderPath(destinationFolder);
        FolderSide& side = destination.side;
        for (const SyncEntry& e : plan.entries) {
            const qint32 i = rows.entry(e.row, Side::Destination);
            if (e.action != SyncAction::DeleteRight || !rows.destination.isFolder(i) ||
                rows.destination.isLink(i))
                continue;
            const QByteArray path = plan.path(e, Side::Destination).toByteArray();
            if (filtersHideBelow(side, side.root(), top + path, top + path, options.filters,
                                 options.relativeTop + path + '/'))
                kept << nameText(path) + QLatin1Char('/');
        }
        if (!kept.isEmpty())
            plan.note = QStringLiteral("What the filters hide stays, with the folders that hold "
                                       "it; only what they show is deleted from: ") +
                        kept.join(QStringLiteral(", "));
        return plan;
    }
    // A folder alone on one side facing a file of the same name on the other
    // (two rows, since only entries of one kind pair): a copy would have to
    // replace the other, which no mode but Mirror deletes.
    QSet<QByteArrayView> alone[2];
    for (qsizetype r = 0; r < rows.count(); ++r) {
        const RowPair& p = rows.rows[size_t(r)];
        if (p.destination < 0)
            alone[0].insert(rows.source.fileName(p.source));
        else if (p.source < 0)
            alone[1].insert(rows.destination.fileName(p.destination));
    }
    for (SyncEntry& e : plan.entries) {
        const bool right = e.action == SyncAction::CopyRight;
        if ((right || e.action == SyncAction::CopyLeft) &&
            alone[right ? 1 : 0].contains(plan.path(e, right ? Side::Source : Side::Destination)))
            e.action = SyncAction::Conflict;
    }
    return plan;
}

QString syncSummary(const SyncPlan& plan, bool toTrash) {
    qsizetype counts[7] = {};
    qint64 bytes[2] = {};
    for (const SyncEntry& e : plan.entries) {
        ++counts[int(e.action)];
        if (e.action == SyncAction::CopyRight || e.action == SyncAction::CopyLeft)
            bytes[int(e.action)] += plan.bytesCopied(e);
    }
    const QLocale locale;
    QStringList parts;
    const auto copies = [&](SyncAction action, const char* arrow) {
        if (const qsizetype n = counts[int(action)])
            parts << locale.toString(n) + QLatin1Char(' ') + QString::fromUtf8(arrow) +
                         QLatin1Char(' ') +
                         locale.formattedDataSize(bytes[int(action)], 1, QLocale::DataSizeSIFormat);
    };
    copies(SyncAction::CopyRight, "→");
    copies(SyncAction::CopyLeft, "←");
    const qsizetype deletions =
        counts[int(SyncAction::DeleteLeft)] + counts[int(SyncAction::DeleteRight)];
    const auto part = [&](qsizetype n, const char* one, const char* many) {
        if (n)
            parts << locale.toString(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    part(deletions, toTrash ? "to the Trash" : "deleted", toTrash ? "to the Trash" : "deleted");
    part(counts[int(SyncAction::Conflict)], "conflict", "conflicts");
    part(counts[int(SyncAction::Unreadable)], "unreadable", "unreadable");
    part(counts[int(SyncAction::Skip)], "skipped", "skipped");
    return parts.isEmpty() ? QStringLiteral("nothing to do") : parts.join(QStringLiteral(" · "));
}
