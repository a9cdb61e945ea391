#pragma once

#include "mainwindow/pane_model.h"

#include <QTreeView>

// One of the two list panes: a report view with the columns Name, Size, Type
// and Modified, several rows selectable, rows in the order they were added.
// Rows are addressed by 0-based position.
class ListPane : public QTreeView {
    Q_OBJECT
public:
    explicit ListPane(QWidget* parent = nullptr);

    PaneModel& rows() { return m_model; }
    const PaneModel& rows() const { return m_model; }

    int count() const { return m_model.rowCount(); }
    void clear();
    int addRow(const QString& text, const QByteArray& fileName = {});
    QString rowText(int row) const;
    QByteArray rowFileName(int row) const;

    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    // The row that holds the selection focus, or -1.
    int currentRow() const;
    void setCurrentRow(int row);
    // The row shown at the top, or -1 when there are no rows.
    int firstVisibleRow() const;
    // Scrolls by the least amount that shows the row; false when there is no such row.
    bool ensureRowVisible(int row);

private:
    PaneModel m_model;
};
