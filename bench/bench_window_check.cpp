// F5 in the real window until its content check has ended and its last
// status is drawn, against `diff -rq` over the same two folders, taking
// turns: N files of 4 KB a side, one pair in a hundred differing at equal
// size and time, so that every pair must be read.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_window_check [N]
#include "bench_app.h"
#include "bench_measure.h"
#include "bench_process.h"
#include "bench_shown_window.h"
#include "comparison/comparison.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFolder(const QByteArray& path, int n, bool other) {
    ::mkdir(path.constData(), 0700);
    QByteArray data(4096, 'd');
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    for (int i = 0; i < n; ++i) {
        data[0] = char('a' + i % 26);
        data[4095] = other && i % 100 == 0 ? 'x' : 'd';
        const QByteArray name = path + "/file" + QByteArray::number(1000000 + i) + ".dat";
        const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, data.constData(), size_t(data.size())) != data.size())
            std::abort();
        ::futimens(fd, times);
        ::close(fd);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    const BenchFolders folders;
    makeFolder(folders.source, n, false);
    makeFolder(folders.dest, n, true);

    QtPlatform platform;
    Main window(platform);
    const auto checked = [&] { return !window.comparison().contentCheckRunning(); };
    if (!showOver(window, folders, n) || !QTest::qWaitFor(checked, 120000))
        return 1;

    std::vector<double> diffs, checks;
    for (int turn = 0; turn < 5; ++turn) {
        diffs.push_back(
            run({"diff", "-rq", folders.source.toStdString(), folders.dest.toStdString()}, 1).ms);
        QTest::qWait(100);
        const auto start = Clock::now();
        QTest::keyClick(window.lvSource(), Qt::Key_F5);
        // The check begins with the read: wait for it to end, then draw.
        if (!QTest::qWaitFor([&] { return window.comparison().contentCheckRunning(); }, 60000) ||
            !QTest::qWaitFor(checked, 120000))
            return 1;
        window.repaint();
        checks.push_back(msSince(start));
    }
    const double check = median(checks), diff = median(diffs);
    std::printf("F5 to the content check's end %.1f ms, diff -rq %.1f ms; the status: %s\n", check,
                diff, qPrintable(window.statusSummary()));
    result("F5 to the content check's last status drawn (Xvfb), 2 × " + grouped(n) +
               " files of 4 KB, 1 % differing at equal size and time",
           check, "ms", diff, "diff -rq of the same folders");
    return 0;
}
