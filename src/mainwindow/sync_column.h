#pragma once

#include "sync/sync_plan.h"

#include <QWidget>
#include <functional>
#include <optional>

class ListPane;

// The narrow column between the panes while a synchronisation is previewed:
// each row's action drawn on that row's line, → and ← for the copies, ✕ on
// the side that loses its file, ⚠ for a conflict, nothing for a row left
// alone. It repaints whenever the panes do, so it follows them as they
// scroll, resize or change.
class SyncColumn : public QWidget {
public:
    // `actionAt(row)`: the action of the panes' row, nothing to draw none.
    SyncColumn(ListPane* left, ListPane* right,
               std::function<std::optional<SyncAction>(int row)> actionAt, QWidget* parent);

    // Where the panes' row lies in the column: its top and height are the row's.
    QRect markRect(int row) const;
    // As wide as two marks side by side.
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintMark(QPainter& p, SyncAction action, const QRect& band) const;

    ListPane* m_left;
    ListPane* m_right;
    std::function<std::optional<SyncAction>(int row)> m_actionAt;
};
