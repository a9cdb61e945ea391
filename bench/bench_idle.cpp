// How busy the idle window keeps the processor: two folders of a few
// thousand files with no name in common (twice as many rows per pane), then
// some seconds of the event loop with nothing to do. Prints the process CPU
// time over those seconds as a percentage of one core, then the same for a
// bare window of the same size in the same process, as the baseline.
//
//   build/bench/bench_idle [files per folder] [seconds] [width height]
#include "bench_app.h"
#include "bench_measure.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

double cpuSeconds() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void makeFolder(const QString& path, const QString& prefix, int n) {
    QDir().mkpath(path);
    for (int i = 0; i < n; ++i) {
        QFile f(QStringLiteral("%1/%2%3.txt").arg(path, prefix).arg(i, 6, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
    }
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 3000;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    QTemporaryDir dir;
    makeFolder(dir.filePath(QStringLiteral("source")), QStringLiteral("s"), rows);
    makeFolder(dir.filePath(QStringLiteral("dest")), QStringLiteral("d"), rows);
    QtPlatform platform;
    Main window(platform);
    window.txtSource()->setText(dir.filePath(QStringLiteral("source")));
    window.txtDest()->setText(dir.filePath(QStringLiteral("dest")));
    const QSize size(argc > 4 ? std::atoi(argv[3]) : 900, argc > 4 ? std::atoi(argv[4]) : 600);
    window.resize(size);
    window.show();
    window.mnuRefresh_Click();
    QWidget bare;
    bare.resize(size);

    // Two phases after the first paint settles: the window as it idles, then
    // a bare window in its place, as the baseline.
    double running = 0;
    auto measure = [&](const char* label, std::function<void(double)> then) {
        const double startCpu = cpuSeconds();
        const auto startWall = Clock::now();
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app.app, [=] {
            const double cpu = cpuSeconds() - startCpu;
            const double wall = msSince(startWall) / 1000;
            const double percent = 100.0 * cpu / wall;
            std::printf(
                "platform %s, %d+%d files, %.1f s idle, %s: %.3f s CPU = %.3f%% of one core\n",
                qPrintable(QGuiApplication::platformName()), rows, rows, wall, label, cpu, percent);
            std::fflush(stdout);
            then(percent);
        });
    };
    QTimer::singleShot(1000, [&] {
        measure("the window", [&](double percent) {
            running = percent;
            window.hide();
            bare.show();
            QTimer::singleShot(1000, [&] {
                measure("a bare window (baseline)", [&](double baseline) {
                    std::printf("the window's own share: %.3f%% of one core\n", running - baseline);
                    result("Idle processor time over " + std::to_string(seconds) +
                               " s, window over 2 × " + grouped(rows) + " files (" +
                               qPrintable(QGuiApplication::platformName()) + ")",
                           running, "% of a core", baseline, "a bare window of the same size");
                    QApplication::quit();
                });
            });
        });
    });
    return QApplication::exec();
}
