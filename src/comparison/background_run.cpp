#include "comparison/background_run.h"

#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <thread>

bool runInBackground(std::atomic<bool>& cancel, const std::function<void()>& work,
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
        QObject::connect(&ticks, &QTimer::timeout, &loop, tick);
        ticks.start(40);
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
