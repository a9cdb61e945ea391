#include "mainwindow/off_thread.h"

#include "comparison/background_run.h"
#include "mainwindow/window_keys.h"

#include <QApplication>

namespace {

// While the work runs: Escape (outside menus and dialogs) and closing
// the window stop it.
class WorkStopper : public QObject {
public:
    WorkStopper(QWidget* window, std::atomic<bool>& cancel) : m_window(window), m_cancel(cancel) {
        qApp->installEventFilter(this);
    }
    ~WorkStopper() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool escape = escapeForWindow(event);
        if (escape || (watched == m_window && event->type() == QEvent::Close)) {
            m_cancel = true;
            return escape;
        }
        return false;
    }

private:
    QWidget* m_window;
    std::atomic<bool>& m_cancel;
};

} // namespace

bool runOffThread(QWidget* window, std::atomic<bool>& cancel, const std::function<void()>& work,
                  const std::function<void()>& tick) {
    const WorkStopper stopper(window, cancel);
    return runInBackground(cancel, work, tick);
}
