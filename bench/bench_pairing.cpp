// Times the comparison report of two folders whose names are all case
// variants of one name, against two folders of as many ordinary names, in
// the same run: pairing must not grow faster than the sort.
//
//   build/bench/bench_pairing [N]      (N names per side, default 60,000)
#include "bench_measure.h"
#include "compare/compare_report.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The n-th spelling in letter case of a 17-letter name.
QByteArray variant(int n) {
    QByteArray name("abcdefghijklmnopq");
    for (int k = 0; k < name.size(); ++k)
        if (n & (1 << k))
            name[k] = char(name[k] - 32);
    return name;
}

void fill(const QString& folder, int first, int count, bool variants) {
    const QByteArray path = QFile::encodeName(folder) + '/';
    for (int i = first; i < first + count; ++i) {
        const QByteArray name = variants ? variant(i) : "file" + QByteArray::number(i);
        const int fd = ::open((path + name).constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0 || ::close(fd) != 0) {
            std::perror("cannot create a file");
            std::exit(1);
        }
    }
}

// Seconds the report of the two folders takes, and its number of rows.
std::pair<double, qsizetype> timeReport(const QString& source, const QString& destination) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const auto start = Clock::now();
    const int code = runCompareReport({QStringLiteral("--compare"), source, destination}, o, e);
    o.flush();
    const double seconds = msSince(start) / 1000;
    if (code != 0) {
        std::fprintf(stderr, "%s", qPrintable(err));
        std::exit(1);
    }
    return {seconds, out.count(QLatin1Char('\n'))};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 60000;
    if (n <= 0 || n > (1 << 17)) {
        std::fprintf(stderr, "N must be between 1 and %d\n", 1 << 17);
        return 1;
    }
    struct Case {
        const char* what;
        bool variants;
        int destinationFirst; // where the Destination's names start
    } cases[] = {{"ordinary names, all shared (baseline)", false, 0},
                 {"case variants of one name, all shared", true, 0},
                 {"case variants of one name, none shared", true, n}};
    std::printf("%d names per side\n", n);
    double baseline = 0;
    for (const Case& c : cases) {
        QTemporaryDir source, destination;
        fill(source.path(), 0, n, c.variants);
        fill(destination.path(), c.destinationFirst, n, c.variants);
        const auto [seconds, rows] = timeReport(source.path(), destination.path());
        std::printf("%-42s %8.3f s  %lld rows\n", c.what, seconds, static_cast<long long>(rows));
        if (!c.variants)
            baseline = seconds;
        else
            result("Text report of 2 × " + grouped(n) + " names, " + c.what, seconds * 1000, "ms",
                   baseline * 1000, "the same of as many ordinary names");
    }
    return 0;
}
