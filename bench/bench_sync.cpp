// The synchronisation plan against rsync's dry run of the same change, in
// the same run, taking turns, medians of 5: two trees of N files of 1 KB in
// N/20 folders, alike but for 1 % of the files changed on each side (the
// same size, a later time).
// - `--sync mirror --dry-run` against `rsync -an --delete` (size and time);
// - with `-c` against `rsync -anc --delete` (every pair of equal size read;
//   no digests kept from an earlier run).
//
//   build/bench/bench_sync build/src/duoscope [N]
#include "bench_process.h"

#include <sys/stat.h>

namespace {

constexpr int filesPerFolder = 20;

// Every file its own bytes; `changedEvery` files from `offset` on get other
// bytes of the same length and a later time.
void makeTree(const std::string& root, int files, int offset) {
    ::mkdir(root.c_str(), 0755);
    std::string data(1024, 'x');
    for (int f = 0; f < files; ++f) {
        char path[64];
        std::snprintf(path, sizeof path, "/d%03d", f / filesPerFolder / 100);
        std::string dir = root + path;
        if (f % (filesPerFolder * 100) == 0)
            ::mkdir(dir.c_str(), 0755);
        std::snprintf(path, sizeof path, "/s%02d", f / filesPerFolder % 100);
        dir += path;
        if (f % filesPerFolder == 0)
            ::mkdir(dir.c_str(), 0755);
        const bool changed = f % 100 == offset;
        std::snprintf(data.data(), 17, changed ? "changed%09d" : "%016d", f);
        std::snprintf(path, sizeof path, "/f%06d.txt", f);
        const int fd = ::open((dir + path).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        const time_t when = changed ? 1700000000 : 1600000000;
        const timespec times[2] = {{when, 0}, {when, 0}};
        if (fd < 0 || ::write(fd, data.data(), data.size()) < 0 || ::futimens(fd, times) != 0)
            std::abort();
        ::close(fd);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2)
        return 1;
    const TreeBench bench(argc, argv);
    const std::string &a = bench.a, &b = bench.b;
    const int files = bench.files;
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
    return 0;
}
