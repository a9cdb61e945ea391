#pragma once

#include "compare/row_status.h"
#include "compare/sorted_name_list.h"
#include "fs/folder_scan.h"
#include "fs/folder_side.h"

#include <memory>
#include <vector>

// One position of the two panes: the listing index shown on each side, or
// -1 for a placeholder (never on both sides), and how the two files compare.
struct RowPair {
    qint32 source = -1;
    qint32 destination = -1;
    RowStatus status = RowStatus::Same;
    bool checking = false; // its contents are being compared: the status may change
};

// Lays the two sorted folders out row against row. A pair is always one
// Source entry with one Destination entry of the same kind, a folder with a
// folder, a file with a file (their keys differ, sorted_name_list.h). Within a group of names equal
// apart from case, names equal to the byte pair first, then the remaining
// Source and Destination names pair in order; what is left faces
// placeholders. Statuses are left to the caller.
std::vector<RowPair> alignRows(const FolderListing& source, const SortedNames& sourceOrder,
                               const FolderListing& destination,
                               const SortedNames& destinationOrder);

// Both folders and their rows, every row's status known: what the panes show
// and the report prints. Both panes share one; rows are addressed by their
// position, from 0.
class FolderRows {
public:
    FolderListing source;
    FolderListing destination;
    std::vector<RowPair> rows;

    qsizetype count() const { return static_cast<qsizetype>(rows.size()); }
    const FolderListing& listing(Side side) const {
        return side == Side::Source ? source : destination;
    }
    // The listing index on that side, or -1 for a placeholder.
    qint32 entry(qsizetype row, Side side) const {
        const RowPair& r = rows[static_cast<size_t>(row)];
        return side == Side::Source ? r.source : r.destination;
    }
    RowStatus status(qsizetype row) const { return rows[static_cast<size_t>(row)].status; }
    // A row added after the others, its status counted.
    void addRow(const RowPair& pair) {
        rows.push_back(pair);
        m_counts.add(pair.status);
    }
    // Rows given whole to a FolderRows that has none yet, their statuses counted.
    void takeRows(std::vector<RowPair>&& pairs) {
        rows = std::move(pairs);
        for (const RowPair& p : rows)
            m_counts.add(p.status);
    }
    // Rows put in before row `at` (at count(): after the others), their statuses counted.
    void insertRows(qsizetype at, const std::vector<RowPair>& pairs) {
        rows.insert(rows.begin() + at, pairs.begin(), pairs.end());
        for (const RowPair& p : pairs)
            m_counts.add(p.status);
    }
    // A row's status turned out otherwise (a content check found a difference).
    void setStatus(qsizetype row, RowStatus status);
    bool checking(qsizetype row) const { return rows[static_cast<size_t>(row)].checking; }
    void setChecking(qsizetype row, bool checking) {
        rows[static_cast<size_t>(row)].checking = checking;
    }
    const StatusCounts& counts() const { return m_counts; }

    // Sets every row's status from the stats (two folders: Checking), and the counts.
    void computeStatuses(const TimeRule& rule);

private:
    StatusCounts m_counts;
};

// Lists, sorts and lays out both folders (on two threads, one a folder), and
// gives every row its status, Checking for two folders: their trees are left
// to compareTrees (tree_compare.h), which the content checker runs. Throws FsError as listFiles
// does, and ScanCancelled when `options.cancel` is set meanwhile. A folder
// on a side whose files lie elsewhere (folder_side.h) is listed through it,
// its path one there; null: on this machine.
std::shared_ptr<FolderRows>
compareFolders(const QByteArray& sourcePath, const QByteArray& destinationPath,
               const FilterSettings& settings, const ScanOptions& options = {},
               FolderSide* sourceSide = nullptr, FolderSide* destinationSide = nullptr);
