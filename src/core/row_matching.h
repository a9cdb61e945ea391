#pragma once

#include "core/sorted_name_list.h"

#include <vector>

// One position of the two panes: the list entry shown on each side, or -1
// for a placeholder. Never -1 on both sides.
struct AlignedRow {
    qsizetype source = -1;
    qsizetype destination = -1;
    // The highest list index this row accounts for: the progress value.
    qsizetype progress = 0;
};

// Lays the sorted list out row against row. A pair is always one Source
// entry with one Destination entry. Within a group of names equal apart from
// case, names equal to the byte pair first, then the remaining Source and
// Destination names pair in list order; what is left faces placeholders.
std::vector<AlignedRow> alignRows(const SortedNameList& list);
