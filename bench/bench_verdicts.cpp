// The content check against the tools a user would check contents with, in
// the same run, taking turns, medians of 5: two trees of N files of 4 KB in
// N/20 folders, the same bytes on both sides (every file read to its end).
// - the window's check (every folder pair's tree walked by contents on the
//   checker's worker), no digests kept yet, page cache warm and cold,
//   against `diff -rq`;
// - the same after a restart, the digests kept: against the plain refresh
//   (the same walk by size and time), with the count of files read;
// - the report `--compare -r -c --json` over the same Source and a
//   Destination whose files differ in one of a hundred (other bytes at the
//   same size and time), no digests kept yet and all of them kept, against
//   `diff -rq` and `rsync -rcn`; `--compare -r --json` against `find
//   -printf` of the same fields; the report's peak memory gained a file
//   over a run on 2 × 1,000 files; with an earlier build's program given,
//   its reports take their turns too, against the same runs of the peers;
// - two 1 GiB files of equal bytes, against `cmp`.
//
//   build/bench/bench_verdicts build/src/duoscope [N] [MiB of the big pair] [EARLIER_PROGRAM]
//
// `bench_verdicts PROGRAM memory [LARGEST]` measures only the peak memory
// of `--compare -r -c --json` over two trees of 256-byte files on
// /dev/shm, at 2 × 10,000 and 2 × 100,000 files, and at 2 × LARGEST too
// when given (two trees of a million files take minutes to write), each run
// keeping the digests it reads.
#include "bench_process.h"
#include "compare/content_check.h"
#include "compare/row_matching.h"

#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr int filesPerFolder = 20, foldersPerTop = 50;

// Two trees of `files` files of `bytes` bytes in folders of 20, 50 folders
// to a top one; with `differing`, one file in a hundred holds other bytes.
void makeTree(const std::string& root, int files, size_t bytes = 4096, bool differing = false) {
    ::mkdir(root.c_str(), 0755);
    std::string data(bytes, 'x');
    for (int f = 0; f < files; ++f) {
        const int folder = f / filesPerFolder, top = folder / foldersPerTop;
        char path[64];
        std::snprintf(path, sizeof path, "/t%03d", top);
        std::string dir = root + path;
        if (folder % foldersPerTop != 0) {
            std::snprintf(path, sizeof path, "/s%02d", folder % foldersPerTop);
            dir += path;
        }
        if (f % filesPerFolder == 0)
            ::mkdir(dir.c_str(), 0755);
        std::snprintf(path, sizeof path, "/f%06d.txt", f);
        std::snprintf(data.data(), 16, "%015d", f); // every file its own bytes
        data[bytes - 1] = differing && f % 100 == 7 ? 'y' : 'x';
        const int fd = ::open((dir + path).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
        if (fd < 0 || ::write(fd, data.data(), data.size()) < 0 || ::futimens(fd, times) != 0)
            std::abort();
        ::close(fd);
    }
}

// Drops the trees' files from the page cache, as after a reboot.
void evict(const std::string& root) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        const int fd = ::open(entry.path().c_str(), O_RDONLY);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Drops every cached page, dentry and inode (root only), as after a
// reboot; false where that is not allowed.
bool dropCaches() {
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    const bool dropped = fd >= 0 && ::write(fd, "3", 1) == 1;
    if (fd >= 0)
        ::close(fd);
    return dropped;
}

// The peak memory of a run in MiB, through `time`: the rusage of a child of
// this process would count the pages it had from this one, big by now.
double peakMiB(const std::vector<std::string>& command, const std::string& note) {
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", note};
    timed.insert(timed.end(), command.begin(), command.end());
    run(timed);
    FILE* f = std::fopen(note.c_str(), "r");
    double kiB = 0;
    if (!f || std::fscanf(f, "%lf", &kiB) != 1)
        std::abort();
    std::fclose(f);
    return kiB / 1024;
}

// The window's way: the top level, then each folder pair's tree on the
// checker's worker. Returns the files read; every verdict must be Equal.
qsizetype windowCheck(const QByteArray& a, const QByteArray& b, bool contents,
                      const QByteArray& cacheFile) {
    const FilterSettings settings;
    const std::shared_ptr<FolderRows> rows = compareFolders(a, b, settings);
    std::vector<ContentChecker::Pair> pairs;
    for (qsizetype r = 0; r < rows->count(); ++r) {
        const QByteArray name = rows->source.fileName(rows->entry(r, Side::Source)).toByteArray();
        pairs.push_back({r, a + name, b + name, true, contents});
    }
    const qsizetype n = qsizetype(pairs.size());
    std::promise<void> finished;
    ContentChecker checker(std::make_unique<DigestCache>(cacheFile));
    bool allEqual = true;
    checker.start(
        std::move(pairs),
        [&](qsizetype, ContentVerdict verdict, qsizetype done) {
            allEqual = allEqual && verdict == ContentVerdict::Equal;
            if (done == n)
                finished.set_value();
        },
        settings);
    finished.get_future().wait();
    checker.cancel(); // and the digests saved
    if (!allEqual)
        std::abort();
    return checker.filesRead();
}

} // namespace

// The peak memory of the report by contents, over trees of small files at
// growing sizes, each with a cache of its own; per file, and the large
// runs' against the smallest.
int memoryOnly(const std::string& program, int largest) {
    QTemporaryDir dir(QStringLiteral("/dev/shm/bench_verdicts-XXXXXX"));
    std::vector<int> sizes = {10000, 100000};
    if (largest > sizes.back())
        sizes.push_back(largest);
    std::vector<double> peaks;
    for (const int files : sizes) {
        const std::string top = dir.filePath(QString::number(files)).toStdString();
        ::mkdir(top.c_str(), 0755);
        makeTree(top + "/a", files, 256);
        makeTree(top + "/b", files, 256);
        // Every run keeps the digests it reads, the small one too: a digest
        // is kept only of a file unchanged for a second before its read.
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        ::setenv("XDG_CACHE_HOME", (top + "/cache").c_str(), 1);
        peaks.push_back(peakMiB(
            {program, "--compare", top + "/a", top + "/b", "-r", "-c", "--json"}, top + "/peak"));
        const std::string label = "2 × " + grouped(files) + " files of 256 bytes";
        std::printf("%s: peak %.1f MiB, %.1f bytes a file\n", label.c_str(), peaks.back(),
                    peaks.back() * 1048576 / (2.0 * files));
        if (peaks.size() > 1)
            result("Peak memory of `--compare -r -c --json`, " + label, peaks.back(), "MiB",
                   peaks.front(), "the same over 2 × 10,000 files");
        if (files >= 1000000) // flat, whatever the number of files
            result("Peak memory of `--compare -r -c --json`, " + label, peaks.back(), "MiB", 40,
                   "the limit");
        std::filesystem::remove_all(top);
    }
    return 0;
}

int main(int argc, char* argv[]) {
    if (argc < 2)
        return 1;
    const std::string program = argv[1];
    if (argc > 2 && std::strcmp(argv[2], "memory") == 0)
        return memoryOnly(program, argc > 3 ? std::atoi(argv[3]) : 0);
    const std::string earlier = argc > 4 ? argv[4] : "";
    const int files = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int bigMiB = argc > 3 ? std::atoi(argv[3]) : 1024;
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    makeTree(a, files);
    makeTree(b, files);
    const std::string c = dir.filePath(QStringLiteral("c")).toStdString();
    makeTree(c, files, 4096, true);
    const QByteArray qa = QByteArray::fromStdString(a + '/'),
                     qb = QByteArray::fromStdString(b + '/');
    const std::vector<std::string> diff = {"diff", "-rq", a, b};
    const std::vector<std::string> diffC = {"diff", "-rq", a, c};
    const std::vector<std::string> rsync = {"rsync", "-rcn", a + '/', c + '/'};
    auto report = [&](const std::string& p) {
        return std::vector<std::string>{p, "--compare", a, c, "-r", "-c", "--json"};
    };
    auto byStats = [&](const std::string& p) {
        return std::vector<std::string>{p, "--compare", a, c, "-r", "--json"};
    };
    const std::vector<std::string> find = {"find", a, c, "-printf", "%s %T@ %p\n"};
    // The peak of a small run, against which the big run's is gained.
    const std::string smallA = dir.filePath(QStringLiteral("small-a")).toStdString(),
                      smallB = dir.filePath(QStringLiteral("small-b")).toStdString();
    constexpr int smallFiles = 1000;
    makeTree(smallA, smallFiles);
    makeTree(smallB, smallFiles);
    const std::vector<std::string> smallReport = {program, "--compare", smallA,  smallB,
                                                  "-r",    "-c",        "--json"};
    // Digests are kept only of files unchanged for a second before their
    // read: the trees are left that long before the first check.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    run(diff); // the trees read once before the timing
    run(diffC, 1);

    std::vector<double> diffs, diffCs, rsyncs, checks, restarts, plains, reports, coldDiffs,
        coldChecks, cachedReports, statReports, finds, peaks, smallPeaks, earlierReports,
        earlierCached, earlierStats;
    qsizetype firstReads = 0, restartReads = -1;
    for (int i = 0; i < 5; ++i) {
        const QByteArray cache =
            QFile::encodeName(dir.filePath(QStringLiteral("digests%1").arg(i)));
        diffs.push_back(run(diff).ms);
        diffCs.push_back(run(diffC, 1).ms);
        rsyncs.push_back(run(rsync).ms);
        auto start = Clock::now();
        firstReads = windowCheck(qa, qb, true, cache);
        checks.push_back(msSince(start));
        start = Clock::now();
        restartReads = std::max(restartReads, windowCheck(qa, qb, true, cache));
        restarts.push_back(msSince(start));
        start = Clock::now();
        windowCheck(qa, qb, false, cache + "-plain");
        plains.push_back(msSince(start));
        for (const std::string& p : {program, earlier}) {
            if (p.empty())
                continue;
            ::setenv(
                "XDG_CACHE_HOME",
                dir.filePath(QStringLiteral("cli%1-%2").arg(i).arg(p == program)).toLocal8Bit(), 1);
            (p == program ? reports : earlierReports).push_back(run(report(p)).ms);
            (p == program ? cachedReports : earlierCached).push_back(run(report(p)).ms);
            (p == program ? statReports : earlierStats).push_back(run(byStats(p)).ms);
        }
        const std::string note = dir.filePath(QStringLiteral("peak")).toStdString();
        ::setenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("peak%1").arg(i)).toLocal8Bit(), 1);
        peaks.push_back(peakMiB(report(program), note));
        finds.push_back(run(find).ms);
        // A cache of its own: the big run's digests would be read and merged.
        ::setenv("XDG_CACHE_HOME", dir.filePath(QStringLiteral("small%1").arg(i)).toLocal8Bit(), 1);
        smallPeaks.push_back(peakMiB(smallReport, note));
    }
    // The report with all caches dropped, where they can be, else the
    // trees' pages alone.
    std::vector<double> coldReportDiffs, coldReports;
    bool dropped = true;
    for (int i = 0; i < 3; ++i) {
        for (const bool ours : {false, true}) {
            ::setenv("XDG_CACHE_HOME",
                     dir.filePath(QStringLiteral("cold-cli%1").arg(i)).toLocal8Bit(), 1);
            if (!dropCaches()) {
                dropped = false;
                evict(a);
                evict(c);
            }
            (ours ? coldReports : coldReportDiffs)
                .push_back(run(ours ? report(program) : diffC, 1).ms);
        }
    }
    for (int i = 0; i < 3; ++i) {
        evict(a);
        evict(b);
        coldDiffs.push_back(run(diff).ms);
        evict(a);
        evict(b);
        const auto start = Clock::now();
        windowCheck(qa, qb, true, QFile::encodeName(dir.filePath(QStringLiteral("cold%1").arg(i))));
        coldChecks.push_back(msSince(start));
    }

    // Two big files of equal bytes, from the page cache.
    const std::string big1 = dir.filePath(QStringLiteral("big1")).toStdString();
    const std::string big2 = dir.filePath(QStringLiteral("big2")).toStdString();
    for (const std::string& name : {big1, big2}) {
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        const std::string block(1 << 20, 'b');
        for (int m = 0; m < bigMiB; ++m)
            if (::write(fd, block.data(), block.size()) < 0)
                std::abort();
        ::close(fd);
    }
    const std::vector<std::string> cmp = {"cmp", big1, big2};
    std::vector<double> cmps, bigChecks;
    run(cmp);
    for (int i = 0; i < 5; ++i) {
        cmps.push_back(run(cmp).ms);
        ContentChecker checker(std::make_unique<DigestCache>(
            QFile::encodeName(dir.filePath(QStringLiteral("digests-big%1").arg(i)))));
        std::promise<ContentVerdict> verdict;
        const auto start = Clock::now();
        checker.start({{0, QByteArray::fromStdString(big1), QByteArray::fromStdString(big2)}},
                      [&](qsizetype, ContentVerdict v, qsizetype) { verdict.set_value(v); });
        if (verdict.get_future().get() != ContentVerdict::Equal)
            return 1;
        bigChecks.push_back(msSince(start));
        checker.cancel();
    }

    std::printf("diff -rq %.1f ms, rsync -rcn %.1f ms, window check %.1f ms (%lld files read), "
                "after a restart %.1f ms (%lld read), plain refresh %.1f ms, report -r -c %.1f ms; "
                "cold: diff -rq %.1f ms, window check %.1f ms; cmp %.1f ms, check %.1f ms\n",
                median(diffs), median(rsyncs), median(checks), (long long)firstReads,
                median(restarts), (long long)restartReads, median(plains), median(reports),
                median(coldDiffs), median(coldChecks), median(cmps), median(bigChecks));
    const std::string label = "2 × " + grouped(files) + " files of 4 KB in " +
                              grouped(files / filesPerFolder) + " folders";
    result("Content check, " + label + ", page cache warm", median(checks), "ms", median(diffs),
           "`diff -rq` of the same trees");
    result("Content check, " + label + ", page cache cold", median(coldChecks), "ms",
           median(coldDiffs), "`diff -rq`, page cache cold");
    result("Content check after a restart (" + grouped(restartReads) + " files read), " + label,
           median(restarts), "ms", median(plains), "the refresh by size and time");
    const std::string differing = label + ", 1 % differing at equal size and time";
    for (const bool ours : {true, false}) {
        if (!ours && earlier.empty())
            break;
        const std::string who = ours ? "" : " (earlier build)";
        result("Report `--compare -r -c --json`" + who + ", " + differing,
               median(ours ? reports : earlierReports), "ms", median(diffCs),
               "`diff -rq` of the same trees");
        result("Report `--compare -r -c --json`" + who + ", all digests kept, " + differing,
               median(ours ? cachedReports : earlierCached), "ms", median(diffCs),
               "`diff -rq` of the same trees");
        result("Report `--compare -r --json`" + who + ", " + differing,
               median(ours ? statReports : earlierStats), "ms", median(finds),
               "`find -printf` of both trees (size, time, path)");
    }
    result("Report `--compare -r -c --json`, " + differing, median(reports), "ms", median(rsyncs),
           "`rsync -rcn` of the same trees");
    const std::string cold = dropped ? "all caches dropped" : "the trees' pages dropped";
    result("Report `--compare -r -c --json`, " + differing + ", " + cold, median(coldReports), "ms",
           median(coldReportDiffs), ("`diff -rq`, " + cold).c_str());
    result("Peak memory of `--compare -r -c --json` gained a file over 2 × 1,000 files, " + label,
           (median(peaks) - median(smallPeaks)) * 1048576 / (2.0 * (files - smallFiles)), "bytes",
           0, "none");
    result("Content check of 2 × " + grouped(bigMiB) + " MiB", median(bigChecks), "ms",
           median(cmps), "`cmp` of the same files");
    return 0;
}
