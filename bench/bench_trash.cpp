// Times Delete to the Trash in the real window against `gio trash` of the
// same files, and the Undo of a paste against the paste itself, in one run.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_trash [deleted] [pasted]
#include "bench_app.h"
#include "bench_files.h"
#include "bench_measure.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <cstdio>

namespace {

// Every question answered Yes, as a user deleting a selection would.
class YesPlatform : public QtPlatform {
public:
    int messageBox(QWidget*, const QString&, int) override { return 6; }
};

int filesIn(const QString& folder) {
    return int(QDir(folder).entryList(QDir::Files).size());
}

void show(Main& window, const QString& source, const QString& dest) {
    window.txtSource()->setText(source);
    window.txtDest()->setText(dest);
    window.mnuRefresh_Click();
    window.lvSource_GotFocus();
    window.lvSource_ItemClick(0);
    window.mnuEditDSelectAll_Click();
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int deleted = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int pasted = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir dir;
    // The home trash on the folders' own file system, emptied between runs.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    const QString trash = dir.filePath(QStringLiteral("data/Trash"));
    const QString folder = dir.filePath(QStringLiteral("files"));
    const QString none = dir.filePath(QStringLiteral("none"));
    YesPlatform platform;
    Main window(platform);

    std::vector<double> del, gio;
    for (int run = 0; run < 3; ++run) {
        makeFiles(folder, deleted, 0);
        show(window, folder, none);
        auto start = Clock::now();
        window.mnuDelete_Click();
        del.push_back(msSince(start));
        if (filesIn(folder) != 0 || filesIn(trash + QStringLiteral("/files")) != deleted)
            std::abort();
        QDir(trash).removeRecursively();
        makeFiles(folder, deleted, 0);
        start = Clock::now();
        if (QProcess::execute(QStringLiteral("sh"),
                              {QStringLiteral("-c"),
                               QStringLiteral("cd '%1' && gio trash -- *").arg(folder)}) != 0)
            std::abort();
        gio.push_back(msSince(start));
        if (filesIn(trash + QStringLiteral("/files")) != deleted)
            std::abort();
        QDir(trash).removeRecursively();
    }
    std::printf("Delete to the Trash of %d files, median of 3: %.1f ms, gio trash %.1f ms\n",
                deleted, median(del), median(gio));
    result("Delete to the Trash of " + grouped(deleted) + " files, answering Yes", median(del),
           "ms", median(gio), "`gio trash` of the same files");

    const QString source = dir.filePath(QStringLiteral("source"));
    const QString target = dir.filePath(QStringLiteral("target"));
    makeFiles(source, pasted, 100 * 1024);
    std::vector<double> paste, undo;
    for (int run = 0; run < 3; ++run) {
        QDir().mkpath(target);
        show(window, source, target);
        window.mnuEditCopy_Click();
        window.lvDest_GotFocus();
        auto start = Clock::now();
        window.mnuEditPaste_Click();
        paste.push_back(msSince(start));
        start = Clock::now();
        window.menuEntry(QStringLiteral("mnuEditUndo"))->trigger();
        undo.push_back(msSince(start));
        if (filesIn(target) != 0 || filesIn(source) != pasted)
            std::abort();
        QDir(trash).removeRecursively();
    }
    std::printf("Paste of %d files of 100 KB, median of 3: %.1f ms, its Undo %.1f ms\n", pasted,
                median(paste), median(undo));
    result("Undo of a paste of " + grouped(pasted) + " files of 100 KB", median(undo), "ms",
           median(paste), "the paste itself");
    return 0;
}
