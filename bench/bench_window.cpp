// F5 in the real window until its first rows are painted, against the bare
// listing (readdir and stat) of the same two folders, taking turns; and the
// longest the window leaves input waiting meanwhile.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_window [N]
#include "bench_app.h"
#include "bench_measure.h"
#include "bench_shown_window.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void makeFolder(const QByteArray& path, int n, int offset) {
    ::mkdir(path.constData(), 0700);
    for (int i = 0; i < n; ++i)
        ::close(::open(path + "/file" + QByteArray::number(1000000 + i + offset) + ".txt",
                       O_CREAT | O_WRONLY, 0644));
}

void bareListing(const QByteArray& folder) {
    DIR* d = ::opendir(folder.constData());
    const int fd = ::dirfd(d);
    while (const dirent* e = ::readdir(d)) {
        struct stat st {};
        ::fstatat(fd, e->d_name, &st, 0);
    }
    ::closedir(d);
}

// The moment the pane first paints rows after F5.
struct FirstRows : QObject {
    ListPane* pane;
    Clock::time_point painted{};
    bool armed = false;
    explicit FirstRows(ListPane* p) : pane(p) { pane->viewport()->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (armed && e->type() == QEvent::Paint && pane->count() > 0) {
            painted = Clock::now();
            armed = false;
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const BenchFolders folders;
    makeFolder(folders.source, n, 0);
    makeFolder(folders.dest, n, n / 2);

    QtPlatform platform;
    Main window(platform);
    if (!showOver(window, folders, 0))
        return 1;
    QTest::qWait(200);

    FirstRows rows(window.lvSource());
    // The event loop's longest pause while a refresh runs.
    double longest = 0;
    Clock::time_point lastTurn = Clock::now();
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longest = std::max(longest, msSince(lastTurn));
        lastTurn = Clock::now();
    });
    turns.start(5);

    std::vector<double> listings, firstRows, pauses;
    for (int run = 0; run < 5; ++run) {
        listings.push_back(medianMs(1, [&] {
            bareListing(folders.source);
            bareListing(folders.dest);
        }));
        QTest::qWait(100);
        rows.armed = true;
        longest = 0;
        lastTurn = Clock::now();
        const auto start = Clock::now();
        QTest::keyClick(window.lvSource(), Qt::Key_F5);
        if (!QTest::qWaitFor([&] { return !rows.armed; }, 60000))
            return 1;
        firstRows.push_back(
            std::chrono::duration<double, std::milli>(rows.painted - start).count());
        pauses.push_back(longest);
    }
    const double listing = median(listings), shown = median(firstRows);
    std::printf("F5 to first rows %.1f ms, bare listing %.1f ms, longest pause %.1f ms\n", shown,
                listing, median(pauses));
    const std::string files = "2 × " + grouped(n) + " files";
    result("F5 to the first rows painted (Xvfb), " + files, shown, "ms", listing,
           "bare listing (readdir + stat) of the same folders");
    result("Longest wait for input during that refresh, " + files, median(pauses), "ms", shown,
           "F5 to the first rows painted");
    return 0;
}
