#pragma once

#include "fileops/plan_walk.h"
#include "sync/sync_plan.h"

#include <QSet>
#include <optional>
#include <sys/stat.h>

class CommandHost;
struct FileLocation;

inline Side otherSide(Side side) {
    return side == Side::Source ? Side::Destination : Side::Source;
}

// "[user@]host:" before a folder given as an address on another host (as the
// pair's state and the messages name its host), "" for a folder here.
QByteArray hostOfAddress(const QByteArray& given);

inline bool isCopy(SyncAction a) {
    return a == SyncAction::CopyRight || a == SyncAction::CopyLeft;
}

inline bool isDeletion(SyncAction a) {
    return a == SyncAction::DeleteLeft || a == SyncAction::DeleteRight;
}

// The side an action's file is on: the one copied from, or the one losing it.
inline Side sideOf(SyncAction a) {
    return a == SyncAction::CopyRight || a == SyncAction::DeleteLeft ? Side::Source
                                                                     : Side::Destination;
}

inline bool sameTime(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Both trees of a plan, each walked from its top: every entry is reached from
// its folder, held open, and a folder that is no longer the one entered (a
// link put at its name) is not walked through but named once, for the end.
class SyncSides {
public:
    // Each on its side (folder_side.h), a local folder where none is given.
    explicit SyncSides(const SyncPlan& plan, FolderSide* source = nullptr,
                       FolderSide* destination = nullptr);

    PlanWalker& operator[](Side side) { return side == Side::Source ? m_source : m_destination; }

    // Stands in the folder of the entry `relative` on `side`, or in `folder`.
    bool reach(Side side, QByteArrayView relative);
    bool reachFolder(Side side, QByteArrayView folder);
    // The entry itself (a link is not followed), or nothing when it is gone
    // or its folder cannot be reached.
    std::optional<struct stat> entry(Side side, QByteArrayView relative);
    // The entry's place on `side`, its folder a path for messages and for
    // the folders lent to the copy.
    FileLocation location(Side side, QByteArrayView relative);

    // A folder deleted but for what the filters hide in it.
    void kept(const QByteArray& path) { m_kept.insert(path); }
    // One message for the folders swapped since the plan, one for those
    // kept, at the end.
    void tell(CommandHost& host) const;

private:
    PlanWalker m_source, m_destination;
    QSet<QByteArray> m_swapped, m_kept;
};

// True when the entry on `side` is what the plan saw: there or not, of the
// same kind (a link is a link), and a file or link of the same size and
// time. A folder's own time moves with what it holds, so only its being a
// folder counts.
bool asPlanned(const SyncPlan& plan, const SyncEntry& e, Side side, SyncSides& sides);
// The same with the entry as it is `now` (nothing: not there).
bool asPlannedNow(const SyncPlan& plan, const SyncEntry& e, Side side,
                  const std::optional<struct stat>& now);
bool bothAsPlanned(const SyncPlan& plan, const SyncEntry& e, SyncSides& sides);
