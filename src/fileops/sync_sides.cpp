#include "fileops/sync_sides.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/flat_rows.h"
#include "fileops/command_host.h"
#include "remote/remote_address.h"

#include <QStringList>
#include <cerrno>

QByteArray hostOfAddress(const QByteArray& given) {
    std::optional<RemoteAddress> address = remoteAddress(nameText(given));
    if (!address)
        return {};
    address->path.clear();
    return address->written();
}

SyncSides::SyncSides(const SyncPlan& plan, FolderSide* source, FolderSide* destination)
    : m_source(folderPath(plan.sourceFolder), plan.folders[0], source),
      m_destination(folderPath(plan.destinationFolder), plan.folders[1], destination) {}

bool SyncSides::reach(Side side, QByteArrayView relative) {
    return reachFolder(side, folderPart(relative));
}

bool SyncSides::reachFolder(Side side, QByteArrayView folder) {
    PlanWalker& w = (*this)[side];
    if (w.reach(folder))
        return true;
    if (errno == ELOOP || errno == ENOTDIR || errno == ESTALE)
        m_swapped.insert(w.pathOf(w.refused()));
    return false;
}

std::optional<struct stat> SyncSides::entry(Side side, QByteArrayView relative) {
    struct stat st {};
    const PlanWalker& w = (*this)[side];
    if (!reach(side, relative) ||
        !w.side().stat(w.place(), namePart(relative).toByteArray().constData(), st))
        return std::nullopt;
    return st;
}

FileLocation SyncSides::location(Side side, QByteArrayView relative) {
    const QByteArrayView folder = folderPart(relative);
    return {folder.isEmpty() ? (*this)[side].top() : (*this)[side].pathOf(folder),
            namePart(relative).toByteArray()};
}

void SyncSides::tell(CommandHost& host) const {
    const auto listed = [&](const QSet<QByteArray>& paths, const QString& what, int style) {
        if (paths.isEmpty())
            return;
        QStringList names;
        for (const QByteArray& path : paths)
            names << nameText(path);
        names.sort();
        host.ask(what + QStringLiteral("\r\n\r\n") + names.join(QStringLiteral("\r\n")), style);
    };
    listed(m_swapped,
           QStringLiteral("Since the plan, another entry (a link, another folder) stands where "
                          "these folders were: nothing in them was touched."),
           MsgStyle::Critical);
    listed(m_kept,
           QStringLiteral("These folders hold what the filters hide: only what they show was "
                          "deleted, and they stay."),
           MsgStyle::Information);
}

bool asPlanned(const SyncPlan& plan, const SyncEntry& e, Side side, SyncSides& sides) {
    const qint32 i = plan.rows->entry(e.row, side);
    if (i < 0)
        return true; // none seen: the copy's own check
    return asPlannedNow(plan, e, side, sides.entry(side, plan.path(e, side)));
}

bool asPlannedNow(const SyncPlan& plan, const SyncEntry& e, Side side,
                  const std::optional<struct stat>& now) {
    const qint32 i = plan.rows->entry(e.row, side);
    if (i < 0)
        return true;
    if (!now)
        return false;
    const FolderListing& listing = plan.rows->listing(side);
    const FileStat seen = listing.stat(i);
    if (listing.isLink(i) != S_ISLNK(now->st_mode))
        return false;
    if (seen.folder && !listing.isLink(i))
        return S_ISDIR(now->st_mode);
    if (S_ISDIR(now->st_mode))
        return false;
    // The whole identity, which a plan's listing keeps: a rewrite with its
    // size and time put back moves the change time. None kept, none known.
    return seen.identity && FileIdentity::of(*now) == *seen.identity;
}

bool bothAsPlanned(const SyncPlan& plan, const SyncEntry& e, SyncSides& sides) {
    return asPlanned(plan, e, Side::Source, sides) && asPlanned(plan, e, Side::Destination, sides);
}
