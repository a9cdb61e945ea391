#include "compare/row_matching.h"

#include "base/name_text.h"

#include <cerrno>
#include <exception>
#include <thread>

namespace {

// Rows for one group of names with the same key: Source names at positions
// [s0, s1) of their order, Destination names at [d0, d1), each side in byte order.
void alignGroup(const FolderListing& source, const SortedNames& sourceOrder, qsizetype s0,
                qsizetype s1, const FolderListing& destination, const SortedNames& destinationOrder,
                qsizetype d0, qsizetype d1, std::vector<RowPair>& rows) {
    const qsizetype sourceCount = s1 - s0, destCount = d1 - d0;
    // The common cases: one name alone, or one name on each side.
    if (sourceCount + destCount == 1) {
        rows.push_back(sourceCount ? RowPair{sourceOrder.at(s0), -1}
                                   : RowPair{-1, destinationOrder.at(d0)});
        return;
    }
    if (sourceCount == 1 && destCount == 1) {
        rows.push_back({sourceOrder.at(s0), destinationOrder.at(d0)});
        return;
    }
    // Both sides are in byte order: one merge finds the names equal to the
    // byte, whatever the size of the group.
    std::vector<qsizetype> partner(size_t(sourceCount), -1);
    std::vector<bool> taken(size_t(destCount), false);
    for (qsizetype s = 0, d = 0; s < sourceCount && d < destCount;) {
        const int c = compareBytes(source.fileName(sourceOrder.at(s0 + s)),
                                   destination.fileName(destinationOrder.at(d0 + d)));
        if (c < 0) {
            ++s;
        } else if (c > 0) {
            ++d;
        } else {
            partner[size_t(s++)] = d;
            taken[size_t(d++)] = true;
        }
    }
    // The rest pair in order.
    qsizetype nextFree = 0;
    for (qsizetype s = 0; s < sourceCount; ++s) {
        if (partner[size_t(s)] >= 0)
            continue;
        while (nextFree < destCount && taken[size_t(nextFree)])
            ++nextFree;
        if (nextFree == destCount)
            break;
        partner[size_t(s)] = nextFree;
        taken[size_t(nextFree)] = true;
    }
    for (qsizetype s = 0; s < sourceCount; ++s) {
        const qsizetype p = partner[size_t(s)];
        rows.push_back({sourceOrder.at(s0 + s), p >= 0 ? destinationOrder.at(d0 + p) : -1});
    }
    for (qsizetype d = 0; d < destCount; ++d) {
        if (!taken[size_t(d)])
            rows.push_back({-1, destinationOrder.at(d0 + d)});
    }
}

} // namespace

std::vector<RowPair> alignRows(const FolderListing& source, const SortedNames& sourceOrder,
                               const FolderListing& destination,
                               const SortedNames& destinationOrder) {
    const qsizetype sn = sourceOrder.count(), dn = destinationOrder.count();
    std::vector<RowPair> rows;
    rows.reserve(size_t(std::max(sn, dn)));
    qsizetype s = 0, d = 0;
    while (s < sn || d < dn) {
        // The next key, and the run of it on each side.
        const int c = s == sn   ? 1
                      : d == dn ? -1
                                : sourceOrder.key(s).compare(destinationOrder.key(d));
        const std::string_view key = c <= 0 ? sourceOrder.key(s) : destinationOrder.key(d);
        qsizetype s1 = s, d1 = d;
        while (c <= 0 && s1 < sn && sourceOrder.key(s1) == key)
            ++s1;
        while (c >= 0 && d1 < dn && destinationOrder.key(d1) == key)
            ++d1;
        alignGroup(source, sourceOrder, s, s1, destination, destinationOrder, d, d1, rows);
        s = s1;
        d = d1;
    }
    return rows;
}

void FolderRows::setStatus(qsizetype row, RowStatus status) {
    RowPair& r = rows[static_cast<size_t>(row)];
    if (r.status == status)
        return;
    m_counts.change(r.status, status);
    r.status = status;
}

void FolderRows::computeStatuses(const TimeRule& rule) {
    m_counts = {};
    for (RowPair& r : rows) {
        const FileStat s = r.source >= 0 ? source.stat(r.source) : FileStat{};
        const FileStat d = r.destination >= 0 ? destination.stat(r.destination) : FileStat{};
        // A pair is always one key, so names of unequal bytes differ in case.
        const bool caseDiffers = r.source >= 0 && r.destination >= 0 &&
                                 source.fileName(r.source) != destination.fileName(r.destination);
        r.status = rowStatus(r.source >= 0 ? &s : nullptr, r.destination >= 0 ? &d : nullptr,
                             caseDiffers, rule);
        m_counts.add(r.status);
    }
}

std::shared_ptr<FolderRows> compareFolders(const QByteArray& sourcePath,
                                           const QByteArray& destinationPath,
                                           const FilterSettings& settings,
                                           const ScanOptions& options, FolderSide* sourceSide,
                                           FolderSide* destinationSide) {
    // As listFiles, a folder that is not there lists nothing.
    const auto list = [&](FolderSide* side, const QByteArray& path) {
        if (!side || side->localFolder(side->root()))
            return listFiles(path, settings, options);
        const std::unique_ptr<SideWalk> walk = side->walk();
        if (walk->openTop(path, true))
            return side->list(walk->place(), path, settings, options);
        if (errno != ENOENT && errno != ENOTDIR)
            throw FsError::fromErrno(errno, nameText(path));
        return FolderListing();
    };
    auto out = std::make_shared<FolderRows>();
    SortedNames sourceOrder, destinationOrder;
    std::exception_ptr failure;
    // Each folder listed and sorted on a thread of its own.
    std::thread other([&] {
        try {
            out->destination = list(destinationSide, destinationPath);
            destinationOrder = SortedNames(out->destination);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        out->source = list(sourceSide, sourcePath);
        sourceOrder = SortedNames(out->source);
    } catch (...) {
        other.join();
        throw; // the Source folder's error first, as a listing one after the other gives it
    }
    other.join();
    if (failure)
        std::rethrow_exception(failure);
    out->rows = alignRows(out->source, sourceOrder, out->destination, destinationOrder);
    out->computeStatuses(settings.times);
    return out;
}
