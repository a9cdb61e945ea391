#include "mainwindow/sync_column.h"

#include "mainwindow/list_pane.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

SyncColumn::SyncColumn(ListPane* left, ListPane* right,
                       std::function<std::optional<SyncAction>(int row)> actionAt, QWidget* parent)
    : QWidget(parent), m_left(left), m_right(right), m_actionAt(std::move(actionAt)) {
    setObjectName(QStringLiteral("picSyncActions"));
    for (ListPane* pane : {m_left, m_right})
        pane->viewport()->installEventFilter(this);
}

bool SyncColumn::eventFilter(QObject*, QEvent* event) {
    // A pane's rows repainted (scrolled, resized, changed): so are their marks.
    if (event->type() == QEvent::Paint && isVisible())
        update();
    return false;
}

QSize SyncColumn::sizeHint() const {
    return {fontMetrics().height() * 2 + 8, 0};
}

QRect SyncColumn::markRect(int row) const {
    const QRect r = m_left->visualRect(m_left->rows().index(row, 0));
    const QPoint at = mapFrom(window(), m_left->viewport()->mapTo(window(), r.topLeft()));
    return {0, at.y(), width(), r.height()};
}

void SyncColumn::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    // Only beside the rows, never beside the panes' headers.
    const QWidget* rows = m_left->viewport();
    const QPoint top = mapFrom(window(), rows->mapTo(window(), QPoint(0, 0)));
    p.setClipRect(0, top.y(), width(), rows->height());
    const int first = m_left->rowAt(0);
    for (int row = std::max(first, 0); first >= 0 && row < m_left->count(); ++row) {
        const QRect band = markRect(row);
        if (band.top() > top.y() + rows->height())
            break;
        if (const std::optional<SyncAction> action = m_actionAt(row))
            paintMark(p, *action, band);
    }
}

void SyncColumn::paintMark(QPainter& p, SyncAction action, const QRect& band) const {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    // Half the mark's height, the pen's width kept inside the row.
    const int h = std::max(band.height() / 2 - 3, 3);
    const QPointF c(width() / 2.0, band.center().y() + 0.5);
    const auto pen = [&](const QColor& colour) {
        p.setPen(QPen(colour, 2.0, Qt::SolidLine, Qt::RoundCap));
    };
    switch (action) {
    case SyncAction::CopyRight:
    case SyncAction::CopyLeft: {
        // A shaft and a head pointing where the file goes.
        const double dir = action == SyncAction::CopyRight ? 1 : -1;
        const double half = std::min(width() / 2.0 - 4, 2.0 * h);
        pen(palette().color(QPalette::WindowText));
        p.drawLine(QPointF(c.x() - dir * half, c.y()), QPointF(c.x() + dir * half, c.y()));
        QPainterPath head;
        head.moveTo(c.x() + dir * half, c.y());
        head.lineTo(c.x() + dir * (half - h), c.y() - h);
        head.lineTo(c.x() + dir * (half - h), c.y() + h);
        head.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::WindowText));
        p.drawPath(head);
        break;
    }
    case SyncAction::DeleteLeft:
    case SyncAction::DeleteRight: {
        // A cross toward the side whose file goes.
        const double x = action == SyncAction::DeleteLeft ? width() / 4.0 : width() * 3 / 4.0;
        const double r = std::min(h * 0.8, width() / 4.0 - 2);
        pen(QColor(200, 30, 30));
        p.drawLine(QPointF(x - r, c.y() - r), QPointF(x + r, c.y() + r));
        p.drawLine(QPointF(x - r, c.y() + r), QPointF(x + r, c.y() - r));
        break;
    }
    case SyncAction::Conflict:
    case SyncAction::Unreadable: {
        // A warning triangle: amber for the user to settle, grey for what cannot be read.
        const QColor colour =
            action == SyncAction::Conflict ? QColor(215, 140, 0) : palette().color(QPalette::Mid);
        pen(colour);
        QPainterPath triangle;
        triangle.moveTo(c.x(), c.y() - h);
        triangle.lineTo(c.x() + h * 1.15, c.y() + h);
        triangle.lineTo(c.x() - h * 1.15, c.y() + h);
        triangle.closeSubpath();
        p.drawPath(triangle);
        p.drawLine(QPointF(c.x(), c.y() - h / 3.0), QPointF(c.x(), c.y() + h / 3.0));
        p.drawPoint(QPointF(c.x(), c.y() + h * 0.7));
        break;
    }
    case SyncAction::Skip:
        break; // left as it is: nothing happens on this row
    }
    p.restore();
}
