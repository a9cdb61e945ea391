// The synchronisation plan against rsync's dry run of the same change, in
// the same run, taking turns, medians of 5: two trees of N files of 1 KB in
// N/20 folders, alike but for 1 % of the files changed on each side (the
// same size, a later time).
// - `--sync mirror --dry-run` against `rsync -an --delete` (size and time);
// - with `-c` against `rsync -anc --delete` (every pair of equal size read;
//   no digests kept from an earlier run);
// - the run `--sync mirror` against `rsync -a --delete`, and `--sync both`
//   against `rsync -au` each way, the changed files put back between runs;
// - Undo of the mirror against its run, both in this process;
// - the plan's memory a row: the peak of `--sync mirror --dry-run` (and of
//   `two-way` with the state of a run) less that of two empty folders;
// - `--sync mirror --permanently` replacing 1,000 of 2 × 10,000 files against
//   `rsync -a --delete --fsync` and `rsync -a --delete`, quiet and under
//   other disk writes (that measure alone: `replacing` after N).
//
//   build/bench/bench_sync build/src/duoscope [N [replacing [EARLIER_PROGRAM]]]
#include "bench_process.h"

#include "base/message_style.h"
#include "fileops/command_host.h"
#include "fileops/sync_run.h"
#include "fileops/undo_journal.h"
#include "sync/sync_plan.h"

#include <csignal>
#include <sys/stat.h>

namespace {

constexpr int filesPerFolder = 20;

// Every file its own bytes; one in `every` from `offset` on gets other bytes
// of the same length and a later time. With `only`, just the files of those
// two offsets are written again, as they were made.
void makeTree(const std::string& root, int files, int offset, const int* only = nullptr,
              int every = 100) {
    ::mkdir(root.c_str(), 0755);
    std::string data(1024, 'x');
    for (int f = 0; f < files; ++f) {
        if (only && f % every != only[0] && f % every != only[1])
            continue;
        char path[64];
        std::snprintf(path, sizeof path, "/d%03d", f / filesPerFolder / 100);
        std::string dir = root + path;
        if (f % (filesPerFolder * 100) == 0)
            ::mkdir(dir.c_str(), 0755);
        std::snprintf(path, sizeof path, "/s%02d", f / filesPerFolder % 100);
        dir += path;
        if (f % filesPerFolder == 0)
            ::mkdir(dir.c_str(), 0755);
        const bool changed = f % every == offset;
        std::snprintf(data.data(), 17, changed ? "changed%09d" : "%016d", f);
        std::snprintf(path, sizeof path, "/f%06d.txt", f);
        const int fd =
            ::open((dir + path).c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_NOFOLLOW, 0644);
        const time_t when = changed ? 1700000000 : 1600000000;
        const timespec times[2] = {{when, 0}, {when, 0}};
        if (fd < 0 || ::write(fd, data.data(), data.size()) < 0 || ::futimens(fd, times) != 0)
            std::abort();
        ::close(fd);
    }
}

// Puts back the files a run changed in both trees.
void restore(const std::string& a, const std::string& b, int files) {
    const int changed[2] = {0, 50};
    makeTree(a, files, 0, changed);
    makeTree(b, files, 50, changed);
}

// Writes 64 MiB and waits for them to reach the disk, again and again, as
// `dd conv=fdatasync` in a loop would, until killed: other disk writes.
pid_t otherWrites(const std::string& file) {
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const std::string block(1 << 20, 'w');
    for (;;) {
        const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        for (int i = 0; i < 64; ++i)
            if (::write(fd, block.data(), block.size()) < 0)
                ::_exit(1);
        ::fdatasync(fd);
        ::close(fd);
    }
}

// `--sync mirror --permanently` replacing one file in ten of 2 × N against
// rsync's own durable run (`--fsync`) and its usual one, each from the same
// change (the replaced files written back and synced between runs), taking
// turns, medians of 5; then the same while another program writes to the
// same disk. With `before`, an earlier build's program takes its turn too.
void replacingMirror(const TreeBench& bench, int files, const std::string& before) {
    const std::string a = bench.a + "-replaced", b = bench.b + "-replaced";
    makeTree(a, files, 0, nullptr, 10);
    makeTree(b, files, -1, nullptr, 10);
    const int changed[2] = {0, 0};
    const auto restore = [&] {
        makeTree(b, files, -1, changed, 10);
        ::sync();
    };
    const auto mirror = [&](const std::string& program) {
        return std::vector<std::string>{program, "--sync",        "mirror",  a,
                                        b,       "--permanently", "--hidden"};
    };
    const std::vector<std::string> rsync = {"rsync", "-a", "--delete", a + '/', b + '/'};
    std::vector<std::string> rsyncFsync = rsync;
    rsyncFsync.insert(rsyncFsync.begin() + 3, "--fsync");
    const std::string label = "Run `--sync mirror --permanently`, 2 × " + grouped(files) +
                              " files, " + grouped(files / 10) + " replaced";
    for (const bool loaded : {false, true}) {
        const pid_t writer = loaded ? otherWrites(bench.dir.filePath("load").toStdString()) : 0;
        std::vector<double> ours, earlier, durable, plain;
        restore();
        for (int i = 0; i < 5; ++i) {
            durable.push_back(run(rsyncFsync).ms);
            restore();
            plain.push_back(run(rsync).ms);
            restore();
            ours.push_back(run(mirror(bench.program)).ms);
            restore();
            if (!before.empty()) {
                earlier.push_back(run(mirror(before)).ms);
                restore();
            }
        }
        if (writer) {
            ::kill(writer, SIGKILL);
            ::waitpid(writer, nullptr, 0);
        }
        const std::string load = loaded ? ", under other disk writes" : "";
        std::printf("%s%s: %.1f ms, rsync -a --delete --fsync %.1f ms, rsync -a --delete %.1f ms",
                    label.c_str(), load.c_str(), median(ours), median(durable), median(plain));
        if (!before.empty())
            std::printf(", %s %.1f ms", before.c_str(), median(earlier));
        std::printf("\n");
        result(label + load, median(ours), "ms", median(durable),
               "`rsync -a --delete --fsync` of the same change");
        result(label + load, median(ours), "ms", median(plain),
               "`rsync -a --delete` of the same change");
    }
}

// A run with no one to ask: yes to everything.
class Yes : public CommandHost {
public:
    int ask(const QString&, int) override { return Answer::Yes; }
    void beep() override {}
    void setMaximum(int) override {}
    void setValue(int) override {}
    void keepPainted() override {}
    bool cancelled() const override { return false; }
};

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return 1;
    const TreeBench bench(argc, argv);
    const std::string &a = bench.a, &b = bench.b;
    const int files = bench.files;
    // `bench_sync PROGRAM N replacing [EARLIER_PROGRAM]`: that measure alone.
    if (argc > 3 && std::string(argv[3]) == "replacing") {
        replacingMirror(bench, files, argc > 4 ? argv[4] : "");
        return 0;
    }
    // The Trash and the synchronisations' state in the benchmark's own folder.
    ::setenv("XDG_DATA_HOME", bench.dir.filePath(QStringLiteral("data")).toLocal8Bit(), 1);
    ::setenv("XDG_STATE_HOME", bench.dir.filePath(QStringLiteral("state")).toLocal8Bit(), 1);
    makeTree(a, files, 0);
    makeTree(b, files, 50);
    const std::vector<std::string> rsync = {"rsync", "-an", "--delete", a + '/', b + '/'};
    const std::vector<std::string> rsyncC = {"rsync", "-anc", "--delete", a + '/', b + '/'};
    const std::vector<std::string> plan = {bench.program, "--sync",  "mirror", a, b,
                                           "--dry-run",   "--hidden"};
    std::vector<std::string> planC = plan;
    planC.push_back("-c");
    run(rsync); // both trees read once before the timing

    std::vector<double> rsyncs, plans, rsyncCs, planCs;
    for (int i = 0; i < 5; ++i) {
        rsyncs.push_back(run(rsync).ms);
        plans.push_back(run(plan).ms);
        rsyncCs.push_back(run(rsyncC).ms);
        // A cache of its own each time: no digest is known beforehand.
        ::setenv("XDG_CACHE_HOME",
                 bench.dir.filePath(QStringLiteral("cache%1").arg(i)).toLocal8Bit(), 1);
        planCs.push_back(run(planC).ms);
    }
    std::printf("rsync -an --delete %.1f ms, --sync mirror --dry-run %.1f ms, "
                "rsync -anc --delete %.1f ms, with -c %.1f ms\n",
                median(rsyncs), median(plans), median(rsyncCs), median(planCs));
    const std::string label = "2 × " + grouped(files) + " files in " +
                              grouped(files / filesPerFolder) + " folders, 1 % changed each side";
    result("Plan `--sync mirror --dry-run`, " + label, median(plans), "ms", median(rsyncs),
           "`rsync -an --delete` of the same trees");
    result("Plan `--sync mirror --dry-run -c`, " + label, median(planCs), "ms", median(rsyncCs),
           "`rsync -anc --delete` of the same trees");

    // Each run from the same change: the files it copied written back.
    const std::vector<std::string> rsyncMirror = {"rsync", "-a", "--delete", a + '/', b + '/'};
    const std::vector<std::string> mirror = {bench.program, "--sync", "mirror", a, b, "--hidden"};
    const std::vector<std::string> both = {bench.program, "--sync", "both", a, b, "--hidden"};
    const std::vector<std::string> rsyncRight = {"rsync", "-au", a + '/', b + '/'};
    const std::vector<std::string> rsyncLeft = {"rsync", "-au", b + '/', a + '/'};
    std::vector<double> rsyncMirrors, mirrors, rsyncBoths, boths, runs, undos;
    for (int i = 0; i < 5; ++i) {
        rsyncMirrors.push_back(run(rsyncMirror).ms);
        restore(a, b, files);
        mirrors.push_back(run(mirror).ms);
        restore(a, b, files);
        rsyncBoths.push_back(run(rsyncRight).ms + run(rsyncLeft).ms);
        restore(a, b, files);
        boths.push_back(run(both).ms);
        restore(a, b, files);
    }
    std::printf("rsync -a --delete %.1f ms, --sync mirror %.1f ms, rsync -au both ways %.1f ms, "
                "--sync both %.1f ms\n",
                median(rsyncMirrors), median(mirrors), median(rsyncBoths), median(boths));
    result("Run `--sync mirror`, " + label, median(mirrors), "ms", median(rsyncMirrors),
           "`rsync -a --delete` of the same change");
    result("Run `--sync both`, " + label, median(boths), "ms", median(rsyncBoths),
           "`rsync -au` one way, then the other");

    // The plan's own memory, above what the program takes for two empty
    // folders; two-way's with the state a run saved (an Undo forgets it).
    // Measured while this process is small: a child forked from it starts
    // with this process's pages counted in its peak.
    run(mirror);
    restore(a, b, files);
    // Two folders: one folder synchronized with itself is refused before any plan.
    const std::string empty = bench.dir.filePath(QStringLiteral("empty")).toStdString();
    const std::string emptyToo = empty + "2";
    ::mkdir(empty.c_str(), 0755);
    ::mkdir(emptyToo.c_str(), 0755);
    std::vector<double> emptyPeaks, planPeaks, twoWayPeaks;
    const std::vector<std::string> twoWay = {bench.program, "--sync",  "two-way", a, b,
                                             "--dry-run",   "--hidden"};
    for (int i = 0; i < 3; ++i) {
        emptyPeaks.push_back(
            run({bench.program, "--sync", "mirror", empty, emptyToo, "--dry-run"}).peakMiB);
        planPeaks.push_back(run(plan).peakMiB);
        // Exit 1 for its conflicts: the trees were rewritten since the state.
        twoWayPeaks.push_back(run(twoWay, 1).peakMiB);
    }
    const double perRow = 1024.0 * 1024.0 / files;
    std::printf("peak: empty %.1f MiB, plan %.1f MiB, two-way plan %.1f MiB\n", median(emptyPeaks),
                median(planPeaks), median(twoWayPeaks));
    result("Memory of the plan a row (peak above two empty folders), " + label,
           (median(planPeaks) - median(emptyPeaks)) * perRow, "bytes", 200, "the limit");
    result("Memory of the two-way plan a row, with the state of a run, " + label,
           (median(twoWayPeaks) - median(emptyPeaks)) * perRow, "bytes", 200, "the limit");

    // The run and its Undo in this process, as the window does them.
    TreeOptions options;
    options.filters.showHidden = 1;
    for (int i = 0; i < 5; ++i) {
        const SyncPlan p = planSync(QByteArray::fromStdString(a), QByteArray::fromStdString(b),
                                    SyncMode::Mirror, options);
        Yes host;
        UndoJournal journal;
        auto start = Clock::now();
        runSyncPlan(host, p, DeleteWay::ToTrash, &journal);
        runs.push_back(msSince(start));
        if (!journal.canUndo())
            std::abort();
        start = Clock::now();
        const QStringList notUndone = undoRecord(journal.takeLast(), CopyOptions{});
        undos.push_back(msSince(start));
        if (!notUndone.isEmpty()) {
            std::fprintf(stderr, "not undone: %s\n", qPrintable(notUndone.first()));
            return 1;
        }
    }
    std::printf("mirror run %.1f ms, its Undo %.1f ms\n", median(runs), median(undos));
    result("Undo of the mirror run, " + label, median(undos), "ms", median(runs),
           "the run itself (in the same process, plan apart)");
    replacingMirror(bench, 10000, "");
    return 0;
}
