#include "mainwindow/off_thread.h"

#include "mainwindow/window_keys.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <thread>

namespace {

// While the work runs: Escape (outside menus and dialogs) and closing
// the window stop it.
class WorkStopper : public QObject {
public:
    WorkStopper(QWidget* window, std::atomic<bool>& cancel, QEventLoop& loop)
        : m_window(window), m_cancel(cancel), m_loop(loop) {
        qApp->installEventFilter(this);
    }
    ~WorkStopper() override { qApp->removeEventFilter(this); }

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

} // namespace

bool runOffThread(QWidget* window, std::atomic<bool>& cancel, const std::function<void()>& work,
                  const std::function<void()>& tick) {
    cancel = false;
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    QEventLoop loop;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    {
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, window, tick);
        ticks.start(40);
        const WorkStopper stopper(window, cancel, loop);
        if (!done)
            loop.exec();
    }
    if (!done)
        cancel = true; // the loop was ended from outside (the program is quitting)
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return !cancel;
}
