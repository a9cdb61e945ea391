// Times the file commands on the real window against baselines measured in
// the same run: pastes of many files, of a large file and of a sparse one
// against `cp` of the same files, a tree against `cp -a`, and the selection and clipboard commands
// over a large pane against a refresh.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_fileops [files] [rows]
//   QT_QPA_PLATFORM=offscreen build/bench/bench_fileops tree [files folders]
//
// `tree` alone gives the trees' figures, for trees of the sizes given (the
// deletion's ten times the files).
#include "bench_app.h"
#include "bench_files.h"
#include "bench_measure.h"
#include "fileops/folder_tree.h"
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
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

double shellMs(const QString& command) {
    const auto start = Clock::now();
    if (QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}) != 0)
        std::abort();
    return msSince(start);
}

// The disk space that the files of a folder take, in KiB.
double kibUsed(const QString& folder) {
    double blocks = 0;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        struct stat st {};
        ::stat(QFile::encodeName(folder + '/' + name).constData(), &st);
        blocks += double(st.st_blocks);
    }
    return blocks / 2;
}

struct Runs {
    std::vector<double> paste, pasteOnly, cp, pasteKib, cpKib;
};

// Pastes every file of `source` into an empty folder of the same file
// system (a copy that replaces nothing) and copies them with `cp` and the
// options given into another, `runs` times each, taking turns.
Runs pasteAgainstCp(const QString& source, const QString& work, const QString& cpOptions,
                    int runs) {
    QtPlatform platform;
    Main window(platform);
    Runs r;
    const int files = int(QDir(source).entryList(QDir::Files).size());
    for (int run = 0; run < runs; ++run) {
        const QString target = work + QStringLiteral("/paste");
        const QString cpTarget = work + QStringLiteral("/cp");
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
        r.paste.push_back(msSince(start));
        start = Clock::now();
        window.mnuRefresh_Click();
        r.pasteOnly.push_back(r.paste.back() - msSince(start));
        r.cp.push_back(
            shellMs(QStringLiteral("cp %1 '%2'/* '%3'/").arg(cpOptions, source, cpTarget)));
        if (QDir(target).entryList(QDir::Files).size() != files ||
            QDir(cpTarget).entryList(QDir::Files).size() != files)
            std::abort();
        r.pasteKib.push_back(kibUsed(target));
        r.cpKib.push_back(kibUsed(cpTarget));
        QDir(target).removeRecursively();
        QDir(cpTarget).removeRecursively();
    }
    return r;
}

void report(const std::string& what, const Runs& r, const char* cp, bool disk = false) {
    std::printf("%s, median of %zu:\n  %s %.1f ms   paste %.1f ms (%.2fx)   paste without its "
                "refresh %.1f ms (%.2fx)   disk used %.0f KiB against %.0f KiB\n",
                what.c_str(), r.cp.size(), cp, median(r.cp), median(r.paste),
                median(r.paste) / median(r.cp), median(r.pasteOnly),
                median(r.pasteOnly) / median(r.cp), median(r.pasteKib), median(r.cpKib));
    const std::string baseline = std::string("`") + cp + "` of the same";
    result(what, median(r.paste), "ms", median(r.cp), baseline.c_str());
    result(what + ", without its closing refresh", median(r.pasteOnly), "ms", median(r.cp),
           baseline.c_str());
    if (disk)
        result("Disk used by the " + what, median(r.pasteKib), "KiB", median(r.cpKib),
               baseline.c_str());
}

// Pastes of many files, of one large file and of a sparse one, each against
// `cp` in the same run.
void pastesAgainstCp(int files) {
    QTemporaryDir dir;
    const QString many = dir.filePath(QStringLiteral("many"));
    makeFiles(many, files, 100 * 1024);
    report("Paste of " + grouped(files) + " files of 100 KB into the other folder",
           pasteAgainstCp(many, dir.path(), QStringLiteral("-a"), 5), "cp -a");
    QDir(many).removeRecursively();

    const QString small = dir.filePath(QStringLiteral("small"));
    makeFiles(small, 10000, 4096);
    report("Paste of 10,000 files of 4 KB into the other folder",
           pasteAgainstCp(small, dir.path(), QStringLiteral("-p"), 5), "cp -p");
    QDir(small).removeRecursively();

    const QString large = dir.filePath(QStringLiteral("large"));
    makeFiles(large, 1, qint64(1) << 30);
    report("Paste of one file of 1 GiB into the other folder",
           pasteAgainstCp(large, dir.path(), QStringLiteral("-a"), 3), "cp -a");
    QDir(large).removeRecursively();

    // 2 GiB long, of which 8 KB are data: the rest is holes.
    const QString sparse = dir.filePath(QStringLiteral("sparse"));
    QDir().mkpath(sparse);
    const int fd = ::open(QFile::encodeName(sparse + QStringLiteral("/disk.img")).constData(),
                          O_CREAT | O_WRONLY, 0644);
    const QByteArray block(4096, 'b');
    if (fd < 0 || ::ftruncate(fd, off_t(2) << 30) != 0 || ::pwrite(fd, block, 4096, 0) != 4096 ||
        ::pwrite(fd, block, 4096, off_t(1) << 30) != 4096 || ::close(fd) != 0)
        std::abort();
    report("Paste of a 2 GiB sparse file with 8 KB of data",
           pasteAgainstCp(sparse, dir.path(), QStringLiteral("--sparse=auto"), 3),
           "cp --sparse=auto", true);
}

// A tree of `folders` folders (a tenth at the top, nine inside each) with
// `perFolder` files of `size` bytes in each.
void makeTree(const QString& top, int folders, int perFolder, qint64 size) {
    for (int i = 0; i < folders; ++i) {
        const int parent = i / 9;
        const QString folder =
            i < folders / 10
                ? QStringLiteral("%1/d%2").arg(top).arg(i)
                : QStringLiteral("%1/d%2/s%3").arg(top).arg(parent % (folders / 10)).arg(i);
        makeFiles(folder, perFolder, size);
    }
}

// Aborts unless the two trees hold the same; then empties both targets.
void sameThenCleared(const QString& a, const QString& b, const QStringList& targets) {
    if (QProcess::execute(QStringLiteral("diff"), {QStringLiteral("-r"), a, b}) != 0)
        std::abort();
    for (const QString& t : targets)
        QDir(t).removeRecursively();
}

// The folder `name` made in `dir`.
QString madeIn(const QTemporaryDir& dir, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QDir().mkpath(path);
    return path;
}

// The window's Paste of the folder "tree" of `from` into `into` after a Cut
// (mode 1) or a Copy (2), timed; each starts on a quiet disk, not writing
// back what the one before left.
double pasteTreeMs(Main& window, const QString& from, const QString& into, int mode) {
    window.txtSource()->setText(from);
    window.txtDest()->setText(into);
    // As Cut and Copy record it: the folder with its identity.
    const FileLocation tree{QFile::encodeName(from), "tree"};
    window.ClipboardFiles = {ClipboardEntry{},
                             ClipboardEntry{tree, true, FileIdentity::of(tree.path())}};
    window.ClipboardMode = mode;
    window.lvDest_GotFocus();
    shellMs(QStringLiteral("sync"));
    const auto start = Clock::now();
    window.mnuEditPaste_Click();
    return msSince(start);
}

// Prints and records one tree command's median against its baseline's.
void treeResult(const std::string& what, const Runs& r, const char* tool, const char* baseline) {
    std::printf("%s, median of 5:\n  %s %.1f ms   command %.1f ms (%.2fx)\n", what.c_str(), tool,
                median(r.cp), median(r.paste), median(r.paste) / median(r.cp));
    result(what, median(r.paste), "ms", median(r.cp), baseline);
}

// Pastes a whole tree into an empty folder (the paste command, the tree
// recorded as one copied folder) against `cp -a` of the same tree.
void treePasteAgainstCp(int files, int folders) {
    QTemporaryDir dir;
    const QString top = dir.filePath(QStringLiteral("tree"));
    makeTree(top, folders, files / folders, 4096);
    QtPlatform platform;
    Main window(platform);
    Runs r;
    for (int run = 0; run < 5; ++run) {
        const QString target = madeIn(dir, "paste"), cpTarget = madeIn(dir, "cp");
        r.paste.push_back(pasteTreeMs(window, dir.path(), target, 2));
        shellMs(QStringLiteral("sync"));
        r.cp.push_back(shellMs(QStringLiteral("cp -a '%1' '%2'/").arg(top, cpTarget)));
        sameThenCleared(top, target + QStringLiteral("/tree"), {target, cpTarget});
    }
    treeResult("Paste of a tree of " + grouped(files) + " files of 4 KB in " + grouped(folders) +
                   " folders into an empty folder",
               r, "cp -a", "`cp -a` of the same");
}

// Cut of a tree from one file system (/dev/shm) and Paste on another (the
// temporary folder's) against `mv` of the same tree followed by `sync -f`
// of the target, which puts it on disk as the paste does before removing
// each source.
void treeCutAcrossAgainstMv(int files, int folders) {
    QTemporaryDir shm(QStringLiteral("/dev/shm/bench-XXXXXX")), dir;
    struct stat a {
    }, b{};
    if (!shm.isValid() || ::stat("/dev/shm", &a) != 0 ||
        ::stat(QFile::encodeName(dir.path()).constData(), &b) != 0 || a.st_dev == b.st_dev) {
        std::printf("Cut across file systems: no second file system at /dev/shm\n");
        return;
    }
    const QString top = shm.filePath(QStringLiteral("tree"));
    QtPlatform platform;
    Main window(platform);
    Runs r;
    for (int run = 0; run < 5; ++run) {
        const QString target = madeIn(dir, "paste"), mvTarget = madeIn(dir, "mv");
        makeTree(top, folders, files / folders, 4096);
        r.paste.push_back(pasteTreeMs(window, shm.path(), target, 1));
        if (QFile::exists(top))
            std::abort();
        makeTree(top, folders, files / folders, 4096);
        shellMs(QStringLiteral("sync"));
        r.cp.push_back(shellMs(QStringLiteral("mv '%1' '%2'/ && sync -f '%2'").arg(top, mvTarget)));
        sameThenCleared(mvTarget + QStringLiteral("/tree"), target + QStringLiteral("/tree"),
                        {target, mvTarget});
    }
    treeResult("Cut and Paste of a tree of " + grouped(files) + " files of 4 KB in " +
                   grouped(folders) + " folders from one file system to another",
               r, "mv + sync -f", "`mv` then `sync -f` of the target");
}

// Delete Permanently of a folder: the walk that counts its files for the
// question, then the removal, against `rm -rf` of the same tree.
void treeDeleteAgainstRm(int files, int folders) {
    QTemporaryDir dir;
    const QString top = dir.filePath(QStringLiteral("tree"));
    Runs r;
    for (int run = 0; run < 5; ++run) {
        makeTree(top, folders, files / folders, 0);
        shellMs(QStringLiteral("sync"));
        const auto start = Clock::now();
        TreePlan plan;
        if (!planTree(QFile::encodeName(top), plan, PlanDetail::Counted).ok() ||
            plan.files < files ||
            !removeTreeAt(AT_FDCWD, QFile::encodeName(top), QFile::encodeName(top)).ok())
            std::abort();
        r.paste.push_back(msSince(start));
        makeTree(top, folders, files / folders, 0);
        shellMs(QStringLiteral("sync"));
        r.cp.push_back(shellMs(QStringLiteral("rm -rf '%1'").arg(top)));
        if (QFile::exists(top))
            std::abort();
    }
    treeResult("Delete Permanently of a folder of " + grouped(files) + " files in " +
                   grouped(folders) + " folders",
               r, "rm -rf", "`rm -rf` of the same");
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
    if (argc > 1 && std::string(argv[1]) == "tree") { // the trees' figures alone
        const int files = argc > 3 ? std::atoi(argv[2]) : 10000,
                  folders = argc > 3 ? std::atoi(argv[3]) : 1000;
        treePasteAgainstCp(files, folders);
        treeCutAcrossAgainstMv(files, folders);
        treeDeleteAgainstRm(files * 10, folders);
        return 0;
    }
    pastesAgainstCp(argc > 1 ? std::atoi(argv[1]) : 1000);
    treePasteAgainstCp(10000, 1000);
    treeCutAcrossAgainstMv(10000, 1000);
    treeDeleteAgainstRm(100000, 1000);
    selectionAgainstRefresh(argc > 2 ? std::atoi(argv[2]) : 100000);
    return 0;
}
