// Two trees of N files in N/20 folders (100 at the top, each holding 49
// more), one file in a thousand changed, each the last of its top folder's
// walk, so that stopping at the first difference saves little. Measured
// against `find A B -printf` of the same trees, taking turns, medians of 5:
// - the folder statuses as the window gets them: the top level compared,
//   then every top folder pair walked on the content checker's worker, to
//   the last verdict; with the memory this takes per file pair;
// - the report `--compare --recursive --json`.
// With "memory", the peak memory of `--compare --recursive` (text and JSON)
// over trees of N and of N/10 empty files on a tmpfs, against `rsync -an`.
//
//   build/bench/bench_trees build/src/duoscope [N] [memory]
#include "bench_process.h"
#include "compare/content_check.h"
#include "compare/row_matching.h"

#include <QTemporaryDir>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int filesPerFolder = 20, foldersPerTop = 50;

// Writes the tree, every file with one time and 10 bytes (none when
// `empty`); `changed` makes one file in a thousand longer and newer. The top
// folders whose trees differ go to `differing`.
void makeTree(const std::string& root, int files, bool changed, std::set<int>* differing,
              bool empty = false) {
    ::mkdir(root.c_str(), 0755);
    for (int f = 0; f < files; ++f) {
        const int folder = f / filesPerFolder, top = folder / foldersPerTop;
        const int sub = folder % foldersPerTop;
        char path[64];
        std::snprintf(path, sizeof path, "/t%03d", top);
        std::string dir = root + path;
        if (sub != 0) {
            std::snprintf(path, sizeof path, "/s%02d", sub);
            dir += path;
        }
        if (f % filesPerFolder == 0)
            ::mkdir(dir.c_str(), 0755);
        std::snprintf(path, sizeof path, "/f%06d.txt", f);
        const bool change = changed && f % 1000 == 999;
        const int fd = ::open((dir + path).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        const timespec times[2] = {{1600000000, 0}, {1600000000 + (change ? 60 : 0), 0}};
        const size_t size = empty ? (change ? 2 : 0) : (change ? 12 : 10);
        if (fd < 0 || (size && ::write(fd, "0123456789ab", size) < 0) || ::futimens(fd, times) != 0)
            std::abort();
        ::close(fd);
        if (change && differing)
            differing->insert(top);
    }
}

// The window's way: the top level, then each folder pair's tree on the
// checker's worker. The rows whose trees differ go to `differing`.
void folderStatuses(const QByteArray& a, const QByteArray& b, std::set<int>& differing) {
    const FilterSettings settings;
    const std::shared_ptr<FolderRows> rows = compareFolders(a, b, settings);
    std::vector<ContentChecker::Pair> pairs;
    for (qsizetype r = 0; r < rows->count(); ++r) {
        if (rows->status(r) != RowStatus::Checking)
            continue;
        const QByteArray name = rows->source.fileName(rows->entry(r, Side::Source)).toByteArray();
        pairs.push_back({r, a + name, b + name, true});
    }
    const qsizetype n = qsizetype(pairs.size());
    std::promise<void> finished;
    ContentChecker checker;
    checker.start(
        std::move(pairs),
        [&](qsizetype row, ContentVerdict verdict, qsizetype done) {
            if (verdict == ContentVerdict::Differ)
                differing.insert(int(row));
            if (done == n)
                finished.set_value();
        },
        settings);
    finished.get_future().wait();
}

// Two chains of `depth` folders, one leaf each, the leaves different: made
// from the folder above each time, as no path reaches that deep.
void makeDeep(const std::string& root, int depth, const char* leaf) {
    ::mkdir(root.c_str(), 0755);
    int at = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && at >= 0; ++i) {
        ::mkdirat(at, "d", 0755);
        const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
        ::close(at);
        at = next;
    }
    const int fd = at < 0 ? -1 : ::openat(at, "leaf", O_CREAT | O_WRONLY, 0644);
    if (fd < 0 || ::write(fd, leaf, std::strlen(leaf)) < 0)
        std::abort();
    ::close(fd);
    ::close(at);
}

// A 10,000-deep pair: the report against `diff -rq`, which gives up on
// the long paths (its exit status is printed).
void deepPair(const std::string& program, const QTemporaryDir& dir) {
    const std::string a = dir.filePath(QStringLiteral("deep-a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("deep-b")).toStdString();
    makeDeep(a, 10000, "x");
    makeDeep(b, 10000, "yy");
    std::vector<double> reports, diffs;
    for (int i = 0; i < 5; ++i) {
        const Run r = run({program, "--compare", a, b, "--recursive", "--changed"});
        reports.push_back(r.ms);
        diffs.push_back(
            run({"sh", "-c", "diff -rq '" + a + "' '" + b + "' >/dev/null 2>&1; true"}).ms);
    }
    const int diffStatus =
        std::system(("diff -rq '" + a + "' '" + b + "' >/dev/null 2>&1").c_str());
    std::printf("10,000-deep pair: report %.1f ms, diff -rq %.1f ms (its status %d)\n",
                median(reports), median(diffs), WEXITSTATUS(diffStatus));
    result("Report `--compare --recursive` of a 10,000-deep pair", median(reports), "ms",
           median(diffs), "`diff -rq` of the same (which fails there: file name too long)");
}

// The report's peak memory over two trees of `files` empty files and of a
// tenth of that, on a tmpfs when there is one (the files cost no page
// each): it should not grow with the number of files.
void flatMemory(const std::string& program, int files) {
    QTemporaryDir shm(QStringLiteral("/dev/shm/bench_trees-XXXXXX"));
    QTemporaryDir disk;
    const QTemporaryDir& dir = shm.isValid() ? shm : disk;
    for (const int n : {files / 10, files}) {
        const std::string a = dir.filePath(QStringLiteral("a%1").arg(n)).toStdString();
        const std::string b = dir.filePath(QStringLiteral("b%1").arg(n)).toStdString();
        makeTree(a, n, false, nullptr, true);
        makeTree(b, n, true, nullptr, true);
        std::vector<double> text, json, rsync, textMs, rsyncMs;
        for (int i = 0; i < 3; ++i) {
            const Run t = run({program, "--compare", a, b, "--recursive"});
            text.push_back(t.peakMiB);
            textMs.push_back(t.ms);
            json.push_back(run({program, "--compare", a, b, "--recursive", "--json"}).peakMiB);
            const Run r = run({"rsync", "-an", a + '/', b + '/'});
            rsync.push_back(r.peakMiB);
            rsyncMs.push_back(r.ms);
        }
        std::printf("%d files: --recursive %.1f MiB (%.0f ms), --json %.1f MiB, rsync -an %.1f "
                    "MiB (%.0f ms)\n",
                    n, median(text), median(textMs), median(json), median(rsync), median(rsyncMs));
        const std::string label =
            ", 2 × " + grouped(n) + " empty files in " + grouped(n / filesPerFolder) + " folders";
        result("Peak memory of `--compare --recursive`" + label, median(text), "MiB", median(rsync),
               "peak memory of `rsync -an` of the same trees");
        result("Peak memory of `--compare --recursive --json`" + label, median(json), "MiB",
               median(rsync), "peak memory of `rsync -an` of the same trees");
        std::system(("rm -rf '" + a + "' '" + b + "'").c_str());
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return 1;
    const std::string program = argv[1];
    const int files = argc > 2 ? std::atoi(argv[2]) : 100000;
    if (argc > 3 && std::strcmp(argv[3], "memory") == 0) {
        flatMemory(program, files);
        return 0;
    }
    QTemporaryDir dir;
    const std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    const std::string b = dir.filePath(QStringLiteral("b")).toStdString();
    std::set<int> expected;
    makeTree(a, files, false, nullptr);
    makeTree(b, files, true, &expected);
    const std::vector<std::string> find = {"find", a, b, "-printf", "%s %T@ %p\n"};
    const std::vector<std::string> json = {program, "--compare", a, b, "--recursive", "--json"};
    run(find); // both trees read once before the timing

    std::vector<double> finds, walks, reports, findPeak, reportPeak;
    const double before = residentMiB();
    for (int i = 0; i < 5; ++i) {
        const Run f = run(find);
        finds.push_back(f.ms);
        findPeak.push_back(f.peakMiB);
        std::set<int> differing;
        const auto start = Clock::now();
        folderStatuses(QByteArray::fromStdString(a + '/'), QByteArray::fromStdString(b + '/'),
                       differing);
        walks.push_back(msSince(start));
        if (differing != expected) {
            std::fprintf(stderr, "%zu folders found to differ, %zu expected\n", differing.size(),
                         expected.size());
            return 1;
        }
        const Run r = run(json);
        reports.push_back(r.ms);
        reportPeak.push_back(r.peakMiB);
    }
    const double perFile = (peakKiB() / 1024.0 - before) * 1048576.0 / files;
    std::printf("find %.1f ms, folder statuses %.1f ms, --recursive --json %.1f ms, "
                "%.1f bytes per file pair\n",
                median(finds), median(walks), median(reports), perFile);
    const std::string label =
        "2 × " + grouped(files) + " files in " + grouped(files / filesPerFolder) + " folders";
    const char* baseline = "`find -printf` of both trees (size, time, path)";
    result("Folder statuses to the last, " + label, median(walks), "ms", median(finds), baseline);
    result("Report `--compare --recursive --json`, " + label, median(reports), "ms", median(finds),
           baseline);
    result("Peak memory of `--compare --recursive --json`, " + label, median(reportPeak), "MiB",
           median(findPeak), "peak memory of that `find`");
    result("Memory of the folder statuses per file pair, " + label, perFile, "bytes", 0,
           "none (peak resident memory gained, over the files of one tree)");
    deepPair(program, dir);
    return 0;
}
