#pragma once

#include "compare/row_matching.h"

#include <QObject>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

// The rows both panes show, out of the rows they share (FolderRows): every
// row, or only the pairs that differ. Both panes' models read this one
// object, so they always hide the same rows and a pair keeps its line.
// Rows of the panes are "rows"; rows of FolderRows are "shared rows".
class VisibleRows : public QObject {
    Q_OBJECT
public:
    // The one rule of which pairs stay in view when only differences are
    // shown, and which pairs Next Difference stops at (row_status.h).
    static bool isDifference(RowStatus status) { return ::isDifference(status); }

    explicit VisibleRows(QObject* parent = nullptr) : QObject(parent) {}

    const std::shared_ptr<FolderRows>& folderRows() const { return m_rows; }
    // New rows, or none (null); with `only` (shared rows, ascending), just
    // those are ever shown: a view of some rows, the others kept as they are.
    void setFolderRows(std::shared_ptr<FolderRows> rows,
                       std::optional<std::vector<qint32>> only = std::nullopt);
    bool onlyDifferences() const { return m_only; }
    void setOnlyDifferences(bool only);
    // Whether the shared row is shown under the current choice.
    bool shows(qsizetype sharedRow) const {
        return (!m_only || isDifference(m_rows->status(sharedRow))) &&
               (!m_subset || std::binary_search(m_subset->begin(), m_subset->end(),
                                                static_cast<qint32>(sharedRow)));
    }
    // A shared row's status turned out otherwise (a content check): it is
    // shown or hidden as its new status says.
    void setStatus(qsizetype sharedRow, RowStatus status);
    // The rows [first, first + count) of `from` put into the shared rows
    // before `sharedAt` (rows found as a walk goes): those the choice shows
    // come into view in one insert, the rows shown keep their places.
    void insertRows(qsizetype sharedAt, const FolderRows& from, qsizetype first, qsizetype count);

    int count() const { return m_count; }
    // The shared row shown at `row`, 0 <= row < count().
    qsizetype sharedRow(int row) const {
        return filtered() ? m_shown[static_cast<size_t>(row)] : row;
    }
    // Where a shared row is shown, or -1 when it is hidden.
    int row(qsizetype sharedRow) const;
    RowStatus status(int row) const { return m_rows->status(sharedRow(row)); }
    // The first row shown after `row` (step 1) or before it (step -1) whose
    // pair differs, from the first or the last row when `row` is -1; -1 when
    // there is none that way.
    int nextDifference(int row, int step) const;

Q_SIGNALS:
    // Around every change, so that both panes' models report it together.
    void aboutToReset();
    void reset();
    void aboutToInsert(int row, int count);
    void inserted();
    void aboutToRemove(int row);
    void removed();
    void changed(int row);

private:
    void rebuild();
    bool filtered() const { return m_only || m_subset; }

    std::shared_ptr<FolderRows> m_rows;
    bool m_only = false;
    std::optional<std::vector<qint32>> m_subset; // the only shared rows ever shown
    std::vector<qint32> m_shown;                 // the shared rows shown, in order, when filtered()
    int m_count = 0;
};
