#pragma once

#include "mainwindow/window_keys.h"

#include <QEventLoop>
#include <QObject>
#include <QWidget>
#include <atomic>
#include <functional>

// While the folders are read: Escape (outside menus and dialogs) and closing
// the window stop the reading.
class RefreshStopper : public QObject {
public:
    RefreshStopper(QWidget* window, std::atomic<bool>& cancel, QEventLoop& loop)
        : m_window(window), m_cancel(cancel), m_loop(loop) {
        qApp->installEventFilter(this);
    }
    ~RefreshStopper() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool escape = escapeForWindow(event);
        if (escape || (watched == m_window && event->type() == QEvent::Close)) {
            m_cancel = true;
            m_loop.quit();
            return escape;
        }
        return false;
    }

private:
    QWidget* m_window;
    std::atomic<bool>& m_cancel;
    QEventLoop& m_loop;
};

// Runs `work` on a thread of its own while the window goes on answering,
// `tick` every 40 ms meanwhile. Escape or closing `window` sets `cancel`,
// which `work` watches. What `work` throws is thrown again here. False when
// it was stopped.
bool runOffThread(QWidget* window, std::atomic<bool>& cancel, const std::function<void()>& work,
                  const std::function<void()>& tick);
