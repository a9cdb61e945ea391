// Times the two-pane refresh on the real window against the bare listing of
// the same two folders (readdir and stat of every entry), in the same run.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_refresh [N ...]
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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

template <typename F> double medianMs(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

long peakKiB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 100000};

    std::printf("%8s %12s %12s %8s %12s %14s\n", "N", "listing ms", "refresh ms", "ratio",
                "ms/1000 rows", "peak RSS MiB");
    for (int n : sizes) {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source"));
        const QString dest = dir.filePath(QStringLiteral("dest"));
        makeFolder(source, n, 0);   // half the names shared:
        makeFolder(dest, n, n / 2); // dest starts halfway through source's names

        QtPlatform platform;
        Main window(platform);
        window.resize(1200, 800);
        window.show();
        window.txtSource()->setText(source);
        window.txtDest()->setText(dest);
        const int runs = n >= 100000 ? 3 : 7;
        window.mnuRefresh_Click(); // warm the caches once
        const double listing = medianMs(runs, [&] {
            bareListing(QFile::encodeName(source));
            bareListing(QFile::encodeName(dest));
        });
        const double refresh = medianMs(runs, [&] { window.mnuRefresh_Click(); });
        const int rows = window.lvSource()->count();
        std::printf("%8d %12.1f %12.1f %8.2f %12.2f %14.1f\n", n, listing, refresh,
                    refresh / listing, refresh / rows * 1000.0, peakKiB() / 1024.0);
        std::fflush(stdout);
    }
    return 0;
}
