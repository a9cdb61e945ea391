#pragma once

#include <vector>

// A block of lines that differ: `leftCount` lines of the left side from
// `left` (0-based) stand where the right side has `rightCount` lines from
// `right`. One of the counts may be 0: lines added or removed.
struct Hunk {
    int left = 0;
    int leftCount = 0;
    int right = 0;
    int rightCount = 0;
    bool operator==(const Hunk&) const = default;
};

// The blocks of differing lines of two texts whose lines are given as
// numbers (equal lines, equal numbers; every number below `distinct`), in
// order. They are the blocks `diff` reports for the same files: a shortest
// edit script by the divide-and-conquer search for the middle snake, with
// the lines that cannot match set aside first, and every block slid along
// runs of equal lines to merge with its neighbours and to face a block of
// the other side, so one replaced line is one block.
std::vector<Hunk> lineHunks(const std::vector<int>& left, const std::vector<int>& right,
                            int distinct);
