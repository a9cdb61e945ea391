// Show Only Differences switched on and off in the real window over two
// folders of N files each (every tenth pair differs), until the window has
// caught up, against a refresh of the same rows in the same run.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_differences [N]
#include "bench_app.h"
#include "bench_measure.h"
#include "bench_shown_window.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One time for every file, so the pairs are the same unless their sizes differ.
void makeFolder(const QByteArray& path, int n, bool dest) {
    ::mkdir(path.constData(), 0700);
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    for (int i = 0; i < n; ++i) {
        const QByteArray name = path + "/file" + QByteArray::number(1000000 + i) + ".txt";
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
        if (dest && i % 10 == 0 && ::write(fd, "x", 1) != 1)
            std::abort();
        ::futimens(fd, times);
        ::close(fd);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const BenchFolders folders;
    makeFolder(folders.source, n, false);
    makeFolder(folders.dest, n, true);

    QtPlatform platform;
    Main window(platform);
    if (!showOver(window, folders, n))
        return 1;
    ListPane* pane = window.lvSource();
    pane->setFocus();
    pane->setCurrentRow(n / 2 + 1); // a pair that hides
    QAction* only = window.menuEntry(QStringLiteral("mnuViewOnlyDifferences"));
    const auto caughtUp = [](auto&& step) {
        return medianMs(1, [&] {
            step();
            QCoreApplication::processEvents();
        });
    };
    // Taking turns, so a busy moment of the machine falls on all alike.
    std::vector<double> refreshes, ons, offs, onsAll;
    for (int run = 0; run < 5; ++run) {
        refreshes.push_back(caughtUp([&] { window.mnuRefresh_Click(); }));
        ons.push_back(caughtUp([&] { only->trigger(); }));
        if (pane->count() != n / 10)
            return 1;
        offs.push_back(caughtUp([&] { only->trigger(); }));
        if (pane->count() != n)
            return 1;
        // Every row selected: the selection kept over the change is at its largest.
        window.mnuEditDSelectAll_Click();
        onsAll.push_back(caughtUp([&] { only->trigger(); }));
        only->trigger();
    }
    const double refresh = median(refreshes);
    std::printf("%d rows a pane: refresh %.1f ms, only differences on %.2f ms, off %.2f ms, on "
                "with every row selected %.2f ms\n",
                n, refresh, median(ons), median(offs), median(onsAll));
    const std::string rows = "2 × " + grouped(n) + " rows, 1 in 10 differing";
    const char* baseline = "refresh of those rows";
    result("Show Only Differences on, " + rows, median(ons), "ms", refresh, baseline);
    result("Show Only Differences off, " + rows, median(offs), "ms", refresh, baseline);
    result("Show Only Differences on, every row selected, " + rows, median(onsAll), "ms", refresh,
           baseline);
    return 0;
}
