// Times the file commands on the real window against baselines measured in
// the same run: a paste of many files against `cp -p` of the same files, and
// the selection and clipboard commands over a large pane against a refresh.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_fileops [files] [rows]
#include "bench_app.h"
#include "bench_measure.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void makeFiles(const QString& folder, int n, qint64 size) {
    QDir().mkpath(folder);
    const QByteArray data(size, 'd');
    for (int i = 0; i < n; ++i) {
        QFile f(QStringLiteral("%1/file%2.dat").arg(folder).arg(i, 6, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != size)
            std::abort();
    }
}

void pasteAgainstCp(int files) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source"));
    makeFiles(source, files, 100 * 1024);
    QtPlatform platform;
    Main window(platform);
    std::vector<double> paste, pasteOnly, cp;
    for (int run = 0; run < 5; ++run) {
        const QString target = dir.filePath(QStringLiteral("paste%1").arg(run));
        const QString cpTarget = dir.filePath(QStringLiteral("cp%1").arg(run));
        QDir().mkpath(target);
        QDir().mkpath(cpTarget);
        window.txtSource()->setText(source);
        window.txtDest()->setText(target);
        window.mnuRefresh_Click();
        window.lvSource_GotFocus();
        window.mnuEditDSelectAll_Click();
        window.mnuEditCopy_Click();
        window.lvDest_GotFocus();
        auto start = Clock::now();
        window.mnuEditPaste_Click();
        paste.push_back(msSince(start));
        start = Clock::now();
        window.mnuRefresh_Click();
        pasteOnly.push_back(paste.back() - msSince(start));
        start = Clock::now();
        QProcess::execute(
            QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("cp -p '%1'/* '%2'/").arg(source, cpTarget)});
        cp.push_back(msSince(start));
        if (QDir(target).entryList(QDir::Files).size() != files)
            std::abort();
    }
    std::printf("paste of %d files of 100 KB into the other folder, median of 5:\n"
                "  cp -p %.1f ms   paste %.1f ms (%.2fx)   paste without its refresh %.1f ms "
                "(%.2fx)\n",
                files, median(cp), median(paste), median(paste) / median(cp), median(pasteOnly),
                median(pasteOnly) / median(cp));
    result("Paste of " + grouped(files) + " files of 100 KB into the other folder", median(paste),
           "ms", median(cp), "`cp -p` of the same files");
}

void selectionAgainstRefresh(int rows) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source"));
    makeFiles(source, rows, 0);
    QtPlatform platform;
    Main window(platform);
    window.resize(1200, 800);
    window.show();
    window.txtSource()->setText(source);
    window.txtDest()->setText(dir.filePath(QStringLiteral("none")));
    window.mnuRefresh_Click();
    window.lvSource_GotFocus();
    window.lvSource_ItemClick(0);
    // Each step counts until the window has caught up with it (repaints too).
    const auto timed = [](auto&& step, int runs = 5) {
        return medianMs(runs, [&] {
            step();
            QCoreApplication::processEvents();
        });
    };
    const double refresh = timed([&] { window.mnuRefresh_Click(); });
    // Each Select All starts from the one row a click leaves selected.
    std::vector<double> allRuns;
    for (int i = 0; i < 5; ++i) {
        window.lvSource()->selectionModel()->select(window.lvSource()->rows().index(0, 0),
                                                    QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
        QCoreApplication::processEvents();
        allRuns.push_back(timed([&] { window.mnuEditDSelectAll_Click(); }, 1));
        if (window.lvSource()->selectionModel()->selectedRows().size() != rows)
            std::abort();
    }
    const double all = median(allRuns);
    const double cut = timed([&] { window.mnuEditCut_Click(); });
    const double copy = timed([&] { window.mnuEditCopy_Click(); });
    const double invert = timed([&] { window.mnuEditInvertSelection_Click(); });
    // Every other row selected: the selection at its most broken up.
    QItemSelection stripes;
    for (int i = 0; i < rows; i += 2)
        stripes.select(window.lvSource()->rows().index(i, 0),
                       window.lvSource()->rows().index(i, 0));
    window.lvSource()->selectionModel()->select(stripes, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
    const double invertStriped = timed([&] { window.mnuEditInvertSelection_Click(); });
    const double cutStriped = timed([&] { window.mnuEditCut_Click(); });
    const double allStriped = timed([&] { window.mnuEditDSelectAll_Click(); }, 1);
    std::printf("%d rows, median of 5, ms (share of a refresh):\n  refresh %.1f   select all %.2f "
                "(%.3f)   invert %.2f (%.3f)   cut %.2f (%.3f)   copy %.2f (%.3f)\n"
                "  every other row selected: invert %.2f (%.3f)   cut %.2f (%.3f), %lld entries   "
                "select all (once) %.2f (%.3f)\n",
                rows, refresh, all, all / refresh, invert, invert / refresh, cut, cut / refresh,
                copy, copy / refresh, invertStriped, invertStriped / refresh, cutStriped,
                cutStriped / refresh, static_cast<long long>(window.ClipboardFiles.size() - 1),
                allStriped, allStriped / refresh);
    result("Select All over " + grouped(rows) + " rows", all, "ms", refresh,
           "refresh of those rows");
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    pasteAgainstCp(argc > 1 ? std::atoi(argv[1]) : 1000);
    selectionAgainstRefresh(argc > 2 ? std::atoi(argv[2]) : 100000);
    return 0;
}
