// The flattened view in the real window over two trees of N files in N/20
// folders (every tenth pair differs): F5 that lists them all and when its
// first rows show, the memory the rows take, Show Only Differences and
// Flatten toggled over them, against `find -printf` of both trees in the
// same run; then Copy to Right of 1,000 files
// spread over 500 folders against `rsync -a --files-from` of the same list.
//
//   tests/gui/on_xvfb.sh --wm build/bench/bench_flatten [N]
#include "bench_app.h"
#include "bench_measure.h"
#include "bench_process.h"
#include "bench_shown_window.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const timespec sameTimes[2] = {{1700000000, 0}, {1700000000, 0}};

void writeFile(const QByteArray& name, const char* content) {
    const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, content, std::strlen(content)) < 0)
        std::abort();
    ::futimens(fd, sameTimes);
    ::close(fd);
}

// `folders` folders two levels deep ("d12/s34"), `files` files spread over them.
void makeTree(const QByteArray& top, int folders, int files, bool dest) {
    ::mkdir(top.constData(), 0700);
    for (int f = 0; f < folders; ++f) {
        const QByteArray upper = top + "/d" + QByteArray::number(f / 50);
        ::mkdir(upper.constData(), 0700);
        const QByteArray folder = upper + "/s" + QByteArray::number(f % 50);
        ::mkdir(folder.constData(), 0700);
    }
    for (int i = 0; i < files; ++i) {
        const int f = i % folders;
        const QByteArray name = top + "/d" + QByteArray::number(f / 50) + "/s" +
                                QByteArray::number(f % 50) + "/file" + QByteArray::number(i) +
                                ".txt";
        writeFile(name, dest && i % 10 == 0 ? "changed" : "same");
    }
}

double caughtUp(const std::function<void()>& step) {
    return medianMs(1, [&] {
        step();
        QCoreApplication::processEvents();
    });
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int folderCount = std::max(1, n / 20);
    const BenchFolders folders;
    makeTree(folders.source, folderCount, n, false);
    makeTree(folders.dest, folderCount, n, true);

    QtPlatform platform;
    Main window(platform);
    // The refresh alone: no content check after it.
    window.menuEntry(QStringLiteral("mnuCompareContents"))->setChecked(false);
    if (!showOver(window, folders))
        return 1;
    const double emptyMiB = residentMiB();
    QAction* flatten = window.menuEntry(QStringLiteral("mnuFlatten"));
    QAction* only = window.menuEntry(QStringLiteral("mnuViewOnlyDifferences"));
    ListPane* pane = window.lvSource();
    const std::vector<std::string> find = {"find", folders.source.toStdString(),
                                           folders.dest.toStdString(), "-printf", "%P %s %T@\n"};
    // When the first rows come into view after F5.
    Clock::time_point pressed;
    double firstRows = -1;
    QObject::connect(pane->model(), &QAbstractItemModel::rowsInserted, [&] {
        if (firstRows < 0)
            firstRows = msSince(pressed);
    });
    const auto toggled = [&](QAction* action) { return caughtUp([&] { action->trigger(); }); };
    flatten->trigger();
    std::vector<double> refreshes, firsts, finds, ons, offs, memory, unflattened, flats, unflats;
    for (int r = 0; r < 5; ++r) {
        // Taking turns, so a busy moment of the machine falls on all alike.
        finds.push_back(run(find).ms);
        firstRows = -1;
        pressed = Clock::now();
        refreshes.push_back(caughtUp([&] { window.mnuRefresh_Click(); }));
        firsts.push_back(firstRows);
        if (pane->count() != n)
            return 1;
        memory.push_back((residentMiB() - emptyMiB) * 1048576.0 / n);
        ons.push_back(toggled(only));
        if (pane->count() != n / 10)
            return 1;
        offs.push_back(toggled(only));
        // Flatten off after F5 reads the top folders (their pairs' trees
        // are walked behind); once that walk is done both views are kept.
        unflattened.push_back(toggled(flatten));
        while (window.contentCheckRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        flats.push_back(toggled(flatten));
        if (pane->count() != n)
            return 1;
        unflats.push_back(toggled(flatten));
        flatten->trigger();
    }
    const double refresh = median(refreshes);
    std::printf("%d files in %d folders a side: flattened refresh %.0f ms, first rows after %.0f "
                "ms, find -printf %.0f ms, %.0f bytes a row, only differences on %.1f ms, off "
                "%.1f ms; Flatten off reading the top folders %.1f ms, then on %.1f ms, off %.1f "
                "ms\n",
                n, folderCount + folderCount / 50, refresh, median(firsts), median(finds),
                median(memory), median(ons), median(offs), median(unflattened), median(flats),
                median(unflats));
    const std::string trees =
        "2 × " + grouped(n) + " files in " + grouped(folderCount) + " folders";
    result("Flattened view listed, " + trees, refresh, "ms", median(finds),
           "find -printf of both trees");
    result("First flattened rows shown after F5, " + trees, median(firsts), "ms", refresh,
           "flattened refresh");
    result("Show Only Differences on, flattened, " + trees, median(ons), "ms", refresh,
           "flattened refresh");
    result("Show Only Differences off, flattened, " + trees, median(offs), "ms", refresh,
           "flattened refresh");
    result("Flatten off after F5 (the top folders read), " + trees, median(unflattened), "ms",
           refresh, "flattened refresh");
    result("Flatten on, both views read, " + trees, median(flats), "ms", refresh,
           "flattened refresh");
    result("Flatten off, both views read, " + trees, median(unflats), "ms", refresh,
           "flattened refresh");
    std::printf("memory: %.0f bytes a row above the window with its top folders\n", median(memory));

    // Copy to Right: 1,000 files only on the left, two in each of 500 folders.
    const BenchFolders copy;
    makeTree(copy.source, 500, 1000, false);
    makeTree(copy.dest, 500, 0, false);
    const QString list = copy.dir.filePath(QStringLiteral("list"));
    {
        QFile out(list);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < 1000; ++i)
            out.write("d" + QByteArray::number((i % 500) / 50) + "/s" + QByteArray::number(i % 50) +
                      "/file" + QByteArray::number(i) + ".txt\n");
    }
    const auto emptyDest = [&] {
        for (int i = 0; i < 1000; ++i) {
            const int f = i % 500;
            ::unlink((copy.dest + "/d" + QByteArray::number(f / 50) + "/s" +
                      QByteArray::number(f % 50) + "/file" + QByteArray::number(i) + ".txt")
                         .constData());
        }
    };
    window.txtSource()->setText(QFile::decodeName(copy.source));
    window.txtDest()->setText(QFile::decodeName(copy.dest));
    window.mnuRefresh_Click(); // still flattened
    std::vector<double> copies, rsyncs;
    for (int r = 0; r < 5; ++r) {
        rsyncs.push_back(run({"rsync", "-a", "--files-from=" + list.toStdString(),
                              copy.source.toStdString() + "/", copy.dest.toStdString() + "/"})
                             .ms);
        emptyDest();
        window.mnuRefresh_Click();
        if (pane->count() != 1000)
            return 1;
        window.lvSource_GotFocus();
        window.mnuEditDSelectAll_Click();
        copies.push_back(caughtUp([&] { window.mnuEditCopyToRight_Click(); }));
        if (window.lvDest()->rowText(999).isEmpty())
            return 1;
        emptyDest();
    }
    std::printf("Copy to Right of 1,000 files in 500 folders: %.0f ms (with the refresh after "
                "it), rsync -a --files-from %.0f ms\n",
                median(copies), median(rsyncs));
    result("Copy to Right of 1,000 files in 500 folders, flattened", median(copies), "ms",
           median(rsyncs), "rsync -a --files-from");
    return 0;
}
