#include "core/row_matching.h"

namespace {

// Rows for the group of list entries [first, last), all with the same key;
// Source entries precede Destination entries in the list.
void alignGroup(const SortedNameList& list, qsizetype first, qsizetype last,
                std::vector<AlignedRow>& rows) {
    qsizetype split = first;
    while (split < last && list.at(split).side == Side::Source)
        ++split;
    const qsizetype sourceCount = split - first;
    const qsizetype destCount = last - split;

    // The common cases: one name alone, or one name on each side.
    if (sourceCount + destCount == 1) {
        rows.push_back(sourceCount ? AlignedRow{first, -1, first} : AlignedRow{-1, first, first});
        return;
    }
    // Both sides are in byte order: one merge finds the names equal to the
    // byte, whatever the size of the group.
    std::vector<qsizetype> partner(static_cast<size_t>(sourceCount), -1);
    std::vector<bool> taken(static_cast<size_t>(destCount), false);
    for (qsizetype s = 0, d = 0; s < sourceCount && d < destCount;) {
        const QByteArray& a = list.at(first + s).fileName;
        const QByteArray& b = list.at(split + d).fileName;
        if (a < b) {
            ++s;
        } else if (b < a) {
            ++d;
        } else {
            partner[static_cast<size_t>(s++)] = d;
            taken[static_cast<size_t>(d++)] = true;
        }
    }
    // The rest pair in list order.
    qsizetype nextFree = 0;
    for (qsizetype s = 0; s < sourceCount; ++s) {
        if (partner[static_cast<size_t>(s)] >= 0)
            continue;
        while (nextFree < destCount && taken[static_cast<size_t>(nextFree)])
            ++nextFree;
        if (nextFree == destCount)
            break;
        partner[static_cast<size_t>(s)] = nextFree;
        taken[static_cast<size_t>(nextFree)] = true;
    }

    qsizetype consumed = first - 1;
    for (qsizetype s = 0; s < sourceCount; ++s) {
        const qsizetype p = partner[static_cast<size_t>(s)];
        const qsizetype d = p >= 0 ? split + p : -1;
        consumed += d >= 0 ? 2 : 1;
        rows.push_back({first + s, d, consumed});
    }
    for (qsizetype d = 0; d < destCount; ++d) {
        if (!taken[static_cast<size_t>(d)])
            rows.push_back({-1, split + d, ++consumed});
    }
}

} // namespace

std::vector<AlignedRow> alignRows(const SortedNameList& list) {
    std::vector<AlignedRow> rows;
    rows.reserve(static_cast<size_t>(list.count()));
    qsizetype i = 0;
    while (i < list.count()) {
        qsizetype end = i + 1;
        while (end < list.count() && list.key(end) == list.key(i))
            ++end;
        alignGroup(list, i, end, rows);
        i = end;
    }
    return rows;
}
