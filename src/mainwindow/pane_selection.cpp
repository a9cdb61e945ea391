#include "mainwindow/pane_selection.h"

#include "fileops/command_host.h"
#include "mainwindow/list_pane.h"

#include <QItemSelectionModel>

std::vector<char> selectedRowFlags(const ListPane& pane) {
    std::vector<char> flags(static_cast<size_t>(pane.count()), 0);
    const int lastColumn = pane.rows().columnCount() - 1;
    for (const QItemSelectionRange& range : pane.selectionModel()->selection()) {
        if (range.left() != 0 || range.right() != lastColumn)
            continue; // part of a row only: the row is not selected
        for (int row = range.top(); row <= range.bottom() && row < pane.count(); ++row)
            flags[static_cast<size_t>(row)] = 1;
    }
    return flags;
}

void selectAllRows(ListPane& pane) {
    if (pane.count() == 0)
        return;
    const PaneModel& rows = pane.rows();
    // As in invertRowSelection: whole rows, against an empty selection.
    pane.selectionModel()->clearSelection();
    pane.selectionModel()->select(
        QItemSelection(rows.index(0, 0), rows.index(pane.count() - 1, rows.columnCount() - 1)),
        QItemSelectionModel::Select);
}

void invertRowSelection(ListPane& pane) {
    std::vector<char> flags = selectedRowFlags(pane);
    for (char& flag : flags)
        flag = !flag;
    selectOnlyRows(pane, flags);
}

void selectOnlyRows(ListPane& pane, const std::vector<char>& flags) {
    const PaneModel& rows = pane.rows();
    const int lastColumn = rows.columnCount() - 1;
    QItemSelection chosen;
    const int n = std::min(pane.count(), static_cast<int>(flags.size()));
    for (int row = 0; row < n;) {
        if (!flags[static_cast<size_t>(row)]) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < n && flags[static_cast<size_t>(row)])
            ++row;
        chosen.select(rows.index(first, 0), rows.index(row - 1, lastColumn));
    }
    // Whole rows already, and cleared first: widening ranges to rows, and
    // reporting a change against a selection that is not empty, compare every
    // range with every other.
    pane.selectionModel()->clearSelection();
    pane.selectionModel()->select(chosen, QItemSelectionModel::Select);
}

QList<ClipboardEntry> chosenFiles(const ListPane& pane, const QByteArray& folder,
                                  const std::shared_ptr<FolderSide>& side) {
    QList<ClipboardEntry> chosen;
    const std::vector<char> selected = selectedRowFlags(pane);
    for (int i = 0; i < pane.count(); ++i) {
        if (selected[static_cast<size_t>(i)] && !pane.rowText(i).isEmpty())
            chosen.append({pane.rowLocation(folder, i), pane.rows().isFolder(i),
                           side ? pane.rows().identity(i) : std::nullopt, side});
    }
    return chosen;
}

void noteIdentities(QList<ClipboardEntry>& chosen, CommandHost& run) {
    // The bar is left to the command itself: it counts the files acted on,
    // and one stat each is too quick to be worth a second pass on it.
    for (ClipboardEntry& entry : chosen) {
        if (entry.side) // on another host: its path here is another file's
            continue;
        entry.id = FileIdentity::of(entry.file.path());
        run.keepPainted();
    }
}
