#pragma once

#include "fs/file_system.h"
#include "mainwindow/pane_model.h"

#include <QTableView>
#include <optional>

// One of the two list panes: a report view with the columns Name, Size, Type
// and Modified, several rows selectable, rows in the order of the rows it is given.
// Rows are addressed by 0-based position.
class ListPane : public QTableView {
    Q_OBJECT
public:
    // `rows` are the rows both panes show, one side each.
    explicit ListPane(VisibleRows& rows, QWidget* parent = nullptr);

    PaneModel& rows() { return m_model; }
    const PaneModel& rows() const { return m_model; }

    int count() const { return m_model.rowCount(); }
    void clear();
    QString rowText(int row) const;
    QByteArray rowFileName(int row) const;
    // Where the row's file lies below `folder`, the pane's folder: in the
    // flattened view its name is a relative path, whose folder part goes to
    // the folder.
    FileLocation rowLocation(const QByteArray& folder, int row) const;
    // The flattened view: the Folder column is shown.
    void setFlat(bool flat);

    bool isRowSelected(int row) const;
    void setRowSelected(int row, bool selected);
    // The row that holds the selection focus, or -1.
    int currentRow() const;
    void setCurrentRow(int row);
    // The row shown at the top, or -1 when there are no rows.
    int firstVisibleRow() const;
    // A width in pixels, at least `minimum`, that shows the whole of the
    // column's usual texts in the pane's font: a size up to 999,999,999
    // bytes, the common type names, a modified date with its time.
    int fittingColumnWidth(int column, int minimum) const;
    // The file types whose names size the Type column when no width is kept.
    static QStringList typeColumnSamples();
    // Which folder the pane shows, for the look of the rows' statuses, which
    // follows the pane's palette and font.
    void setSide(Side side);
    // A line the pane shows over its rows, e.g. why it has none; "" for none.
    void setNote(const QString& note);
    QString note() const { return m_note; }
    // Opens the in-place editor on the current row's name.
    void startLabelEdit();
    // A drag of the pane's selected rows begins: the rest of the press
    // belongs to it and leaves the selection as it is.
    void noteDragBegun() { m_dragBegun = true; }
    // Type-ahead: finds a name whatever column of the row was clicked.
    void keyboardSearch(const QString& search) override;

Q_SIGNALS:
    // The pane's events, with the mouse reported as the window's handlers take
    // it: buttons as a bit set (1 left, 2 right, 4 middle), the shift state as
    // a bit set (1 Shift, 2 Ctrl, 4 Alt), the position in twips of the pane.
    void gotFocus();
    // A row pressed with the left or the right button.
    void itemClick(int row);
    void mouseUp(int button, int shift, float x, float y);
    void mouseMove(int button, int shift, float x, float y);
    // A double click, or Enter on the current row.
    void dblClick();
    // Label editing: before an edit starts (set `cancel` to refuse it), and
    // when it ends with a text. The pane never keeps an edited label itself.
    void beforeLabelEdit(int& cancel);
    void afterLabelEdit(int& cancel, const QString& newText);
    // Rows of a pane were dropped here: the dragged pane's name, the position in twips.
    void dragDrop(const QString& draggedName, float x, float y);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString m_note;
    // Every row, placeholder or file, gets one height: a 16-pixel icon and a
    // line of text in the pane's font, with the style's margins.
    void measureRowHeight();
    void updateStatusLooks();
    // Repaints the whole row, which the view would repaint a cell of.
    void updateRow(int row);

    PaneModel m_model;
    Side m_side = Side::Source;
    std::optional<QString> m_editedText;
    bool m_dragBegun = false;
    int m_hoverRow = -1;
};
