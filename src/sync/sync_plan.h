#pragma once

#include "compare/row_matching.h"
#include "compare/tree_compare.h"
#include "fs/folder_scan.h"
#include "fs/folder_side.h"

#include <QByteArrayView>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class TextFormats;

// What synchronizing two folder trees does to each row of the flattened
// view (flat_rows.h), decided by the row's status alone, so the plan says
// the same as the panes.
enum class SyncMode {
    UpdateDestination, // copy to Destination what is newer or only in Source; delete nothing
    UpdateSource,      // the mirror image
    UpdateBoth,        // the newer side wins; what is alone on a side is copied across
    Mirror,            // Destination becomes Source: UpdateDestination, its extras deleted
    // UpdateBoth by what the last synchronisation of the pair left the same
    // (sync_state.h): a file deleted on one side since is deleted on the
    // other, one changed on both sides is a conflict, and one changed on a
    // side only goes across whatever the times say.
    TwoWay,
};

enum class SyncAction : quint8 {
    CopyRight,   // Source's file (or whole folder) to Destination, replacing what is there
    CopyLeft,    // Destination's to Source
    DeleteLeft,  // Source's entry goes
    DeleteRight, // Destination's entry goes
    // Both sides changed in a way no rule may settle: a pair that differs at
    // equal times (in every mode but Mirror, where Source wins), names that
    // differ only in letter case (a copy would add a file beside the other),
    // or a folder facing a file of the same name where nothing is deleted.
    Conflict,
    Unreadable, // a folder or a file pair that could not be read: named, never acted on
    Skip,       // set by the user: left as it is
};

// "update", "update-source", "both", "mirror", "two-way" (the command line's names).
std::optional<SyncMode> syncModeFromKey(QStringView key);
// "copy-right", "copy-left", "delete-left", "delete-right", "conflict",
// "unreadable", "skip".
QString syncActionKey(SyncAction action);

// What `mode` does to a row of `status`: nothing for the rows left as they
// are (same, same contents at other times, and those the mode does not
// touch). Unreadable rows are named whatever the mode.
std::optional<SyncAction> syncActionFor(RowStatus status, SyncMode mode);

// One row that will change, or that the user must look at.
struct SyncEntry {
    qint32 row; // in SyncPlan::rows
    SyncAction action;
};

// The rows of both trees that a synchronisation changes, in the flattened
// view's order. Every row stays in `rows`, so a window can show the plan
// over the panes' own rows.
class SyncPlan {
public:
    std::shared_ptr<FolderRows> rows;
    std::vector<SyncEntry> entries;
    SyncMode mode = SyncMode::UpdateDestination;
    QByteArray sourceFolder, destinationFolder; // as given to planSync
    // "[user@]host:" before a folder on another host (its path above is
    // the host's), "" for one here: with the path, the pair's state's name.
    QByteArray hosts[2];
    // Why a two-way plan could not use an earlier synchronisation's state
    // and updates both sides instead, and the folders to be deleted that
    // hold what the filters hide; empty otherwise.
    QString note;
    // Why the plan refuses to run at all (it then has no entries): a side
    // that two-way would empty the other after, as an unmounted drive's
    // empty mount point.
    QString refusal;
    // The device of each top folder as the plan found it, which the pair's
    // state keeps (0 where the folder could not be reached).
    dev_t sourceDevice = 0, destinationDevice = 0;
    // The folders the plan's walk entered on each side, which its run
    // enters only as they were.
    std::shared_ptr<const SeenFolders> folders[2];
    // The filters the plan was made under, which the run looks through again.
    FilterSettings filters;
    QByteArray relativeTop;

    // The entry's path relative to that side's top folder ("a/b/x.txt"),
    // empty where the side has none.
    QByteArrayView path(const SyncEntry& entry, Side side) const;
    // Its size on that side (0 for a folder or none).
    qint64 size(const SyncEntry& entry, Side side) const;
    // The bytes a copy carries: the side copied from, 0 for anything else.
    qint64 bytesCopied(const SyncEntry& entry) const;
    qsizetype count(SyncAction action) const;
    // A side's folder as the pair's state knows it: its host, its path.
    QByteArray stateFolder(Side side) const;
};

// The plan for two folders (their paths, with or without a trailing "/")
// under `options` (filters and exclusions, contents, cache). Throws as
// flattenTrees does. Two-way reads the pair's state under $XDG_STATE_HOME.
SyncPlan planSync(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
                  SyncMode mode, const TreeOptions& options);
// One folder of a pair on its side (folder_side.h): its path there, and the
// host before it, "" for a folder here.
struct PlanFolder {
    FolderSide& side;
    QByteArray path, host;
};
// The same for two folders each on its side.
SyncPlan planSync(const PlanFolder& source, const PlanFolder& destination, SyncMode mode,
                  const TreeOptions& options);

// The entries of the folder at `place` on `side` (at `path`, and `relative` below
// the folders compared, ending with "/", for the exclusions) that `filters`
// show, folders included, links as links: what a plan sees there.
FolderListing listShown(FolderSide& side, const SidePlace& place, const QByteArray& path,
                        const FilterSettings& filters, const QByteArray& relative);

// True when the folder `name` at `place` on `side` (its root: `name` is its
// path) holds, at any depth, an entry that `filters` leave out of the plan:
// hidden, excluded, left out by the pattern, not a regular file. Also when
// it cannot be read: what is not seen is nobody's to delete. `relative` is
// its place below the folders compared, ending with "/", for the
// exclusions; `path` names it in messages.
bool filtersHideBelow(FolderSide& side, const SidePlace& place, const QByteArray& name,
                      const QByteArray& path, const FilterSettings& filters,
                      const QByteArray& relative);

// The plan in one line, for a status bar: "120 → 4.1 MB · 3 ← 12 kB · 2 to
// the Trash · 1 conflict" (deletions "deleted" when `toTrash` is off), a
// part whose count is 0 left out; "nothing to do" for an empty plan.
QString syncSummary(const SyncPlan& plan, bool toTrash = true);
