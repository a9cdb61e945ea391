#pragma once

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>

// Nothing open over the window takes the keys and the mouse: no menu, no dialog.
inline bool windowHasInput() {
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget();
}

// Escape pressed for the window itself, which stops a long run.
inline bool escapeForWindow(const QEvent* event) {
    return event->type() == QEvent::KeyPress &&
           static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape && windowHasInput();
}
