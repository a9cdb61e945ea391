// Times the two-pane refresh on the real window against the bare listing of
// the same two folders (readdir and stat of every entry), in the same run.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_refresh [N ...]
#include "base/name_text.h"
#include "bench_app.h"
#include "bench_measure.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/image_list.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <dirent.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void makeFolder(const QString& path, int n, int offset) {
    static const char* const kinds[] = {".txt", ".png", ".pdf", ".cpp", ".tar.gz", ""};
    QDir().mkpath(path);
    for (int i = 0; i < n; ++i) {
        const int k = i + offset;
        QFile f(QStringLiteral("%1/file%2%3")
                    .arg(path)
                    .arg(k, 6, 10, QLatin1Char('0'))
                    .arg(QString::fromLatin1(kinds[k % 6])));
        if (!f.open(QIODevice::WriteOnly))
            std::abort();
        f.write(QByteArray(k % 97, 'x'));
    }
}

qint64 bareListing(const QByteArray& folder) {
    qint64 total = 0;
    DIR* d = ::opendir(folder.constData());
    while (const dirent* e = ::readdir(d)) {
        struct stat st {};
        if (::stat((folder + '/' + e->d_name).constData(), &st) == 0)
            total += st.st_size;
    }
    ::closedir(d);
    return total;
}

// The per-row cost of a row's type and icon through the window's own lookup
// and a fresh image list: the type per name, and each type's icon drawn,
// sent through the scratch file and appended once.
void stepCosts(Main& window, const QStringList& folders) {
    IconLookup& lookup = window.iconLookup();
    ImageList images;
    double total = 0;
    int rows = 0;
    lookup.beginRefresh();
    for (const QString& folder : folders) {
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            const auto start = Clock::now();
            lookup.lookup(name, images);
            total += std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            ++rows;
        }
    }
    std::printf(
        "  type and icon of every row, us a row: %.2f  (%d rows, %d images, scratch file %s)\n",
        total / rows, rows, images.count(), lookup.scratchPath().constData());
}

// Both folders of one side of the table: N files each, half the names shared.
struct FolderPair {
    explicit FolderPair(int n)
        : source(dir.filePath(QStringLiteral("source"))),
          dest(dir.filePath(QStringLiteral("dest"))) {
        makeFolder(source, n, 0);
        makeFolder(dest, n, n / 2); // dest starts halfway through source's names
    }
    void list() const {
        bareListing(QFile::encodeName(source));
        bareListing(QFile::encodeName(dest));
    }
    QTemporaryDir dir;
    QString source, dest;
};

void run(int n) {
    const std::string files = "2 × " + grouped(n) + " files";
    FolderPair shown(n);
    // Folders of the same size that nothing in this process has listed yet:
    // the baseline of the first refresh, which meets its folders unseen too.
    double unseenListing = 0;
    {
        const FolderPair unseen(n);
        unseenListing = medianMs(1, [&] { unseen.list(); });
    }

    QtPlatform platform;
    Main window(platform);
    window.resize(1200, 800);
    window.show();
    // The empty window: a refresh of one file of each kind behind it (the
    // type database, the icon theme and each kind's icon loaded), memory trimmed.
    const QTemporaryDir kinds;
    makeFolder(kinds.path(), 6, 0);
    window.txtSource()->setText(kinds.path());
    window.txtDest()->setText(kinds.path());
    window.mnuRefresh_Click();
    QCoreApplication::processEvents();
    const double empty = residentMiB();
    window.txtSource()->setText(shown.source);
    window.txtDest()->setText(shown.dest);
    std::printf("  empty window %.1f MiB resident, peak so far %.1f MiB\n", empty,
                peakKiB() / 1024.0);
    // A refresh until the window has painted its first rows.
    const auto refreshed = [&] {
        window.mnuRefresh_Click();
        QCoreApplication::processEvents();
    };
    const double first = medianMs(1, refreshed);
    const double afterFirst = residentMiB();
    const int runs = n >= 100000 ? 5 : 7;
    // Taking turns, so a busy moment of the machine falls on both alike.
    std::vector<double> listings, refreshes;
    for (int i = 0; i < runs; ++i) {
        listings.push_back(medianMs(1, [&] { shown.list(); }));
        refreshes.push_back(medianMs(1, refreshed));
    }
    const double listing = median(listings), refresh = median(refreshes);
    const int rows = window.lvSource()->count();
    // The stats sent out several at once, as on a network file system.
    window.comparison().scanOptions.statsInFlight = 16;
    const double concurrent = medianMs(runs, refreshed);
    window.comparison().scanOptions.statsInFlight = 0;
    std::printf("%8d %12.1f %12.1f %8.2f %12.2f %14.1f\n", n, listing, refresh, refresh / listing,
                refresh / rows * 1000.0, peakKiB() / 1024.0);
    std::printf("  with 16 stats in flight %.1f ms\n", concurrent);
    std::printf("  first refresh of these folders %.1f ms, peak so far %.1f MiB\n", first,
                peakKiB() / 1024.0);
    // Memory must not climb with the number of refreshes.
    for (int i = 0; i < 2; ++i)
        window.mnuRefresh_Click();
    const double after2 = residentMiB();
    for (int i = 0; i < 18; ++i)
        window.mnuRefresh_Click();
    const double after20 = residentMiB();
    std::printf("  resident MiB after 2 more refreshes %.1f, after 20 more %.1f\n", after2,
                after20);
    const double peak = peakKiB() / 1024.0;
    stepCosts(window, {shown.source, shown.dest});
    result("Refresh, " + files, refresh, "ms", listing,
           "bare listing (readdir + stat) of the same folders");
    result("First refresh of unseen folders, " + files, first, "ms", unseenListing,
           "first bare listing of other unseen folders of that size");
    result("Refresh with 16 stats in flight a folder, " + files, concurrent, "ms", refresh,
           "refresh with the stats one at a time (local disk)");
    result("Memory a file row above the empty window, " + files,
           (afterFirst - empty) * 1048576.0 / (2.0 * n), "bytes", 300, "the limit");
    result("Peak memory (ru_maxrss), " + files, peak, "MiB", afterFirst,
           "resident memory after the first refresh");
    result("Resident memory after 20 more refreshes, " + files, after20, "MiB", afterFirst,
           "resident memory after the first refresh");
    // Memory a refresh once took may stay with the process; growth from
    // refresh to refresh is what would mean a leak.
    result("Resident memory after 20 more refreshes, " + files, after20, "MiB", after2,
           "resident memory after 2 more refreshes");
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 100000};

    std::printf("%8s %12s %12s %8s %12s %14s\n", "N", "listing ms", "refresh ms", "ratio",
                "ms/1000 rows", "peak RSS MiB");
    for (int n : sizes)
        run(n);
    return 0;
}
