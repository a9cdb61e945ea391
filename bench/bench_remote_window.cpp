// The flattened view of the real window with Destination on another host (a
// private sshd on 127.0.0.1) against the same trees both here: F5 to the
// first rows shown and to the last, and the resident memory a row takes.
// Each measure runs in a process of its own (so memory freed by one does not
// serve the next), the two kinds taking turns, medians of 5.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_remote_window [N]
#include "bench_app.h"
#include "bench_files.h"
#include "bench_process.h"
#include "bench_shown_window.h"
#include "shell/qt_platform.h"
#include "support/ssh_server.h"

#include <QAction>
#include <fstream>

namespace {

// One window over `source` and `dest`, flattened: F5 to the first rows, to
// the last, and bytes a row, written to `out`.
int measureOnce(const char* source, const char* dest, const char* out, int n) {
    QtPlatform platform;
    Main window(platform);
    window.menuEntry(QStringLiteral("mnuCompareContents"))->setChecked(false);
    BenchFolders folders;
    folders.source = source;
    folders.dest = dest;
    if (!showOver(window, folders))
        return 1;
    const double emptyMiB = residentMiB();
    ListPane* pane = window.lvSource();
    Clock::time_point pressed;
    double firstRows = -1;
    QObject::connect(pane->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (firstRows < 0)
            firstRows = msSince(pressed);
    });
    pressed = Clock::now();
    window.menuEntry(QStringLiteral("mnuFlatten"))->trigger(); // reads the trees again
    if (!QTest::qWaitFor([&] { return pane->count() == n; }, 600000))
        return 1;
    const double all = msSince(pressed);
    std::ofstream(out) << firstRows << ' ' << all << ' '
                       << (residentMiB() - emptyMiB) * 1048576.0 / n << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 6 && std::string(argv[1]) == "--one") {
        BenchApp app(argc, argv);
        return measureOnce(argv[2], argv[3], argv[4], std::atoi(argv[5]));
    }
    const int n = argc > 1 ? std::atoi(argv[1]) : 20000;
    SshServer server;
    if (!server.running()) {
        std::printf("remote window case skipped: %s\n", server.failure().constData());
        return 0;
    }
    server.useForProgram();
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    const std::string out = dir.filePath(QStringLiteral("figures")).toStdString();
    // Every other folder's pair shares half its files: 150 rows there, 100 elsewhere.
    const int folders = n / 100, rows = (folders + 1) / 2 * 150 + folders / 2 * 100;
    ::mkdir(a.c_str(), 0700);
    ::mkdir(b.c_str(), 0700);
    for (int f = 0; f < folders; ++f) {
        makeFolder(a + "/folder" + std::to_string(f), 100, 0);
        makeFolder(b + "/folder" + std::to_string(f), 100, f % 2 ? 0 : 50);
    }
    std::vector<double> firsts[2], alls[2], bytes[2];
    for (int r = 0; r < 5; ++r) {
        for (int onHost = 0; onHost < 2; ++onHost) {
            run({argv[0], "--one", a, onHost ? "127.0.0.1:" + b : b, out, std::to_string(rows)});
            double first = 0, all = 0, perRow = 0;
            std::ifstream(out) >> first >> all >> perRow;
            firsts[onHost].push_back(first);
            alls[onHost].push_back(all);
            bytes[onHost].push_back(perRow);
        }
    }
    const std::string trees = "2 × " + grouped(n) + " files, 100 a folder";
    std::printf("flattened, here: first rows %.0f ms, all %.0f ms, %.0f bytes a row; Destination "
                "on a host: first rows %.0f ms, all %.0f ms, %.0f bytes a row\n",
                median(firsts[0]), median(alls[0]), median(bytes[0]), median(firsts[1]),
                median(alls[1]), median(bytes[1]));
    result("First flattened rows after F5, Destination on a host over ssh, " + trees,
           median(firsts[1]), "ms", 1000, "the limit");
    result("Flattened view listed, Destination on a host over ssh, " + trees, median(alls[1]), "ms",
           median(alls[0]), "the same trees both here");
    result("Memory a flattened row, Destination on a host over ssh, " + trees, median(bytes[1]),
           "bytes", median(bytes[0]), "the same trees both here");
    return 0;
}
