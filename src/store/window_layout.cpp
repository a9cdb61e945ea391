#include "store/window_layout.h"

#include <algorithm>

namespace {

float f(qreal v) {
    return static_cast<float>(v);
}

} // namespace

PaneRects dockedPanes(QSizeF inner, float toolbarHeight, float statusBarHeight) {
    const float half = f(inner.width()) / 2.0f;
    // The docking keeps the panes in the band, whatever height they are given.
    const float top = toolbarHeight;
    const float height = f(inner.height()) - toolbarHeight - statusBarHeight;
    return {QRectF(0.0f, top, half, height), QRectF(half, top, half, height)};
}

QRectF progressBarRect(QRectF statusBar, QRectF panel2, float heightInset) {
    return QRectF(f(panel2.left()), f(statusBar.top()) + 25.0f, f(panel2.width()),
                  f(statusBar.height()) - heightInset);
}

PaneControls layoutPane(QSizeF pane, const PaneControls& current) {
    PaneControls next = current;
    const float w = f(pane.width());
    const float h = f(pane.height());
    const float buttonWidth = f(current.button.width());
    const float buttonHeight = f(current.button.height());

    next.button.moveTo(w - buttonWidth, 0.0f);

    const float boxWidth = w - buttonWidth;
    if (boxWidth >= 0.0f)
        next.folderBox = QRectF(0.0f, 0.0f, boxWidth, buttonHeight);

    const float listTop = f(next.folderBox.height());
    const float listHeight = h - listTop;
    if (w >= 0.0f && listHeight >= 0.0f)
        next.list = QRectF(0.0f, listTop, w, listHeight);
    return next;
}

QPointF centeredPosition(QSizeF screen, QSizeF window) {
    return QPointF((f(screen.width()) - f(window.width())) / 2.0f,
                   (f(screen.height()) - f(window.height())) / 2.0f);
}

QRect fitWindow(const QRect& window, const QRect& available, const QMargins& frame) {
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = frame.top() + frame.bottom();
    const int width = std::clamp(window.width(), 1, std::max(1, available.width() - frameWidth));
    const int height =
        std::clamp(window.height(), 1, std::max(1, available.height() - frameHeight));
    // The left and top edges win when the window cannot fit at all.
    const int left = std::max(available.left(),
                              std::min(window.left(), available.right() + 1 - width - frameWidth));
    const int top = std::max(available.top(),
                             std::min(window.top(), available.bottom() + 1 - height - frameHeight));
    return QRect(left, top, width, height);
}
