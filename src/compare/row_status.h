#pragma once

#include "compare/sorted_name_list.h"
#include "fs/file_system.h"
#include "fs/filter_settings.h"

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

class TextFormats;

// How the two sides of one row compare: by size and modification time,
// and by contents once they are read.
enum class RowStatus {
    Same,             // size and time equal, contents too when read
    SourceOnly,       // Destination has a placeholder
    DestinationOnly,  // Source has a placeholder
    SourceNewer,      // Source's time is later
    DestinationNewer, // Destination's time is later
    Differs,          // equal times, different sizes or contents
    Case,             // names equal apart from letter case: two different names
    Checking,         // two folders whose trees are not compared yet
    Unreadable,       // two folders whose trees hold a folder that cannot be read
    SameContents,     // contents equal, times not: no difference to act on
};
constexpr int rowStatusCount = 10;

// -1 when `source` is older than `destination` under the rule, 1 when newer, 0 equal.
int compareTimes(std::time_t source, std::time_t destination, const TimeRule& rule);

// The status of a row from its two files' stats; null for a placeholder.
// Names that differ in case outweigh the stats: copying one side's file
// would add a file beside the other, not replace it. Two folders are
// Checking: what they hold decides (tree_compare.h).
RowStatus rowStatus(const FileStat* source, const FileStat* destination,
                    bool namesDifferInCase = false, const TimeRule& rule = {});
// The status of a pair of files once their contents are known: equal
// contents are Same or SameContents by their times, other contents newer on
// one side or Differs at equal times, whatever their sizes.
RowStatus contentStatus(const FileStat& source, const FileStat& destination, bool contentsEqual,
                        const TimeRule& rule);
// Whether a pair of this status is a difference to show, step to or act
// on: anything but Same and SameContents.
inline bool isDifference(RowStatus status) {
    return status != RowStatus::Same && status != RowStatus::SameContents;
}
// The report's name for it: "same", "source-only", "destination-only",
// "source-newer", "destination-newer", "differs", "case", "checking",
// "unreadable", "same-contents".
QString rowStatusKey(RowStatus status);
// In words, for a row's tooltip.
QString rowStatusWords(RowStatus status);

// True for the rows whose file on `side` is missing on the other side or
// newer than its partner: what a one-way update from that side would copy.
bool isNewerOn(RowStatus status, Side side);

// How many rows have each status.
class StatusCounts {
public:
    void add(RowStatus status) { ++m_counts[static_cast<size_t>(status)]; }
    // A row's status turned out otherwise (a content check found a difference).
    void change(RowStatus from, RowStatus to) {
        --m_counts[static_cast<size_t>(from)];
        add(to);
    }
    qsizetype count(RowStatus status) const { return m_counts[static_cast<size_t>(status)]; }
    // "305 same · 12 same contents, other time · 8 newer in Source · 3 newer in Destination · 3
    // differ · 5 only in Source · 11 only in Destination · 1 case · 2 checking · 1 unreadable"; a
    // part whose count is 0 is left out, "" for no rows.
    QString summary(const TextFormats& formats) const;

private:
    std::array<qsizetype, rowStatusCount> m_counts{};
};
