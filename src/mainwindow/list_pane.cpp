#include "mainwindow/list_pane.h"

#include <QHeaderView>
#include <QItemSelectionModel>

ListPane::ListPane(QWidget* parent) : QTreeView(parent), m_model(this) {
    setModel(&m_model);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps 100,000-row panes quick to scroll and select
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

void ListPane::clear() {
    m_model.clear();
}

int ListPane::addRow(const QString& text, const QByteArray& fileName) {
    return m_model.append(text, fileName);
}

QString ListPane::rowText(int row) const {
    return row >= 0 && row < count() ? m_model.text(row) : QString();
}

QByteArray ListPane::rowFileName(int row) const {
    return row >= 0 && row < count() ? m_model.fileName(row) : QByteArray();
}

bool ListPane::isRowSelected(int row) const {
    return selectionModel()->isRowSelected(row, {});
}

void ListPane::setRowSelected(int row, bool selected) {
    if (row < 0 || row >= count())
        return;
    selectionModel()->select(m_model.index(row, 0), (selected ? QItemSelectionModel::Select
                                                              : QItemSelectionModel::Deselect) |
                                                        QItemSelectionModel::Rows);
}

int ListPane::currentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListPane::setCurrentRow(int row) {
    setCurrentIndex(m_model.index(row, 0));
}

int ListPane::firstVisibleRow() const {
    const QModelIndex top = indexAt(QPoint(1, 1));
    if (top.isValid())
        return top.row();
    return count() > 0 ? 0 : -1;
}

bool ListPane::ensureRowVisible(int row) {
    if (row < 0 || row >= count())
        return false;
    scrollTo(m_model.index(row, 0), QAbstractItemView::EnsureVisible);
    return true;
}
