// Times the content check against `cmp` run over the same pairs in the same
// run: two folders of equal files, every pair read to its end.
//
//   build/bench/bench_contents [files] [kilobytes]
#include "bench_measure.h"
#include "compare/content_check.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <future>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const qint64 size = (argc > 2 ? std::atoi(argv[2]) : 64) * 1024;
    QTemporaryDir dir;
    std::vector<ContentChecker::Pair> pairs;
    QByteArray list; // "a b" lines for cmp
    QByteArray data(size, 0);
    for (qint64 i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 7919 % 251);
    for (const char* side : {"a", "b"})
        QDir().mkpath(dir.filePath(QLatin1String(side)));
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("/file%1.dat").arg(i, 6, 10, QLatin1Char('0'));
        QByteArray paths[2];
        for (int s = 0; s < 2; ++s) {
            QFile f(dir.filePath(QLatin1String(s ? "b" : "a")) + name);
            if (!f.open(QIODevice::WriteOnly) || f.write(data) != size)
                return 1;
            paths[s] = QFile::encodeName(f.fileName());
        }
        pairs.push_back({i, paths[0], paths[1]});
        list += paths[0] + ' ' + paths[1] + '\n';
    }
    QFile listFile(dir.filePath(QStringLiteral("pairs")));
    if (!listFile.open(QIODevice::WriteOnly) || listFile.write(list) != list.size())
        return 1;
    listFile.close();

    std::vector<double> check, cmp;
    double remembered = 0;
    for (int run = 0; run < 3; ++run) {
        // `cmp` over every pair, one process each, as a script would.
        QProcess sh;
        auto start = Clock::now();
        sh.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("while read a b; do cmp -s \"$a\" \"$b\" || echo DIFF; done < ") +
                      listFile.fileName()});
        if (!sh.waitForFinished(-1) || !sh.readAllStandardOutput().isEmpty())
            return 1;
        cmp.push_back(msSince(start));

        // A new checker with a cache of its own remembers nothing: every pair is read.
        const QString cacheFile = dir.filePath(QStringLiteral("digests%1").arg(run));
        ContentChecker checker(std::make_unique<DigestCache>(QFile::encodeName(cacheFile)));
        std::promise<void> finished;
        int differ = 0;
        start = Clock::now();
        checker.start(pairs, [&](qsizetype, ContentVerdict v, qsizetype done) {
            differ += v != ContentVerdict::Equal;
            if (done == files)
                finished.set_value();
        });
        finished.get_future().wait();
        check.push_back(msSince(start));
        checker.cancel();
        if (differ != 0 || checker.filesRead() != 2 * files)
            return 1;
        // The same pairs again: remembered, nothing read.
        std::promise<void> again;
        start = Clock::now();
        checker.start(pairs, [&](qsizetype, ContentVerdict, qsizetype done) {
            if (done == files)
                again.set_value();
        });
        again.get_future().wait();
        remembered = msSince(start);
        checker.cancel();
    }
    std::printf("%d pairs of %lld KB, median of 3 runs (page cache warm)\n", files,
                static_cast<long long>(size / 1024));
    std::printf("  cmp, one process per pair: %9.1f ms\n", median(cmp));
    std::printf("  content check:             %9.1f ms  (%.2f x cmp)\n", median(check),
                median(check) / median(cmp));
    std::printf("  content check, remembered: %9.1f ms\n", remembered);
    result("Content check of " + grouped(files) + " pairs of " + grouped(size / 1024) + " KB",
           median(check), "ms", median(cmp), "`cmp -s` of the same pairs, one process per pair");
    return 0;
}
