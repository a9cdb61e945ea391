// Leading the user to the differences: showing only the pairs that differ,
// and stepping from one difference to the next.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"
#include "shell/platform.h"

#include <QAction>
#include <QItemSelectionModel>

namespace {

// Where a pane stands among the shared rows: its current row and selection,
// kept while the rows shown change under it.
struct PanePlace {
    qsizetype current = -1;
    std::vector<char> selected; // by shared row

    PanePlace(const ListPane& pane, const VisibleRows& rows) {
        const int row = pane.currentRow();
        current = row >= 0 ? rows.sharedRow(row) : -1;
        const std::vector<char> flags = selectedRowFlags(pane);
        if (!rows.folderRows())
            return;
        selected.assign(static_cast<size_t>(rows.folderRows()->count()), 0);
        for (int r = 0; r < static_cast<int>(flags.size()); ++r) {
            if (flags[static_cast<size_t>(r)])
                selected[static_cast<size_t>(rows.sharedRow(r))] = 1;
        }
    }

    // The selection of the rows still shown; the current row, or the first
    // shown after it (else before it) when it is hidden now.
    void restore(ListPane& pane, const VisibleRows& rows) const {
        std::vector<char> flags(static_cast<size_t>(rows.count()), 0);
        bool any = false;
        for (int r = 0; r < rows.count() && !selected.empty(); ++r) {
            flags[static_cast<size_t>(r)] = selected[static_cast<size_t>(rows.sharedRow(r))];
            any = any || flags[static_cast<size_t>(r)];
        }
        if (current >= 0 && rows.count() > 0) {
            int row = rows.row(current);
            for (qsizetype s = current; row < 0 && s < rows.folderRows()->count(); ++s)
                row = rows.row(s);
            for (qsizetype s = current; row < 0 && s >= 0; --s)
                row = rows.row(s);
            pane.selectionModel()->setCurrentIndex(pane.rows().index(row, 0),
                                                   QItemSelectionModel::NoUpdate);
        }
        if (any)
            selectOnlyRows(pane, flags);
    }
};

} // namespace

// View > Show Only Differences: hides the pairs that are the same in both
// panes, or shows every pair again.
void Main::mnuViewOnlyDifferences_Click() {
    QAction* entry = menuEntry(QStringLiteral("mnuViewOnlyDifferences"));
    if (m_fileCommandRunning && !m_refreshing) {
        // Rows must not change under a command that walks them; a refresh
        // under way applies the choice to the rows it brings.
        entry->setChecked(m_comparison->onlyDifferences());
    } else {
        Parts::showOnlyDifferences(*this, entry->isChecked());
    }
    toolbarButton(QStringLiteral("OnlyDifferences"))->setChecked(entry->isChecked());
}

void Main::Parts::showOnlyDifferences(Main& m, bool only) {
    if (only == m.m_comparison->onlyDifferences())
        return;
    ListPane* active = m.activeList();
    ListPane* other = active == m.m_ui.lvSource ? m.m_ui.lvDest : m.m_ui.lvSource;
    const PanePlace activePlace(*active, m.m_comparison->visibleRows());
    const PanePlace otherPlace(*other, m.m_comparison->visibleRows());
    m.m_comparison->setOnlyDifferences(only);
    // The other pane first, so the current file ends on the active one.
    otherPlace.restore(*other, m.m_comparison->visibleRows());
    activePlace.restore(*active, m.m_comparison->visibleRows());
    // The row the user was on stays in sight; the other pane follows it.
    if (const int row = active->currentRow(); row >= 0)
        active->scrollTo(active->rows().index(row, 0));
}

// Moves the active pane's current row to the next (previous) pair that
// differs and selects it alone; beeps when there is none that way.
void Main::mnuEditNextDifference_Click() {
    Parts::goToDifference(*this, 1);
}

void Main::mnuEditPreviousDifference_Click() {
    Parts::goToDifference(*this, -1);
}

void Main::Parts::goToDifference(Main& m, int step) {
    ListPane* pane = m.activeList();
    const int row = m.m_comparison->nextDifference(pane->currentRow(), step);
    if (row < 0) {
        m.m_platform.beep(); // none further: the row stays where it is
        return;
    }
    const QModelIndex index = pane->rows().index(row, 0);
    pane->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    pane->scrollTo(index);
}
