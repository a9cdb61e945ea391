// The report with one folder on another host, over ssh to a private sshd on
// 127.0.0.1, against `rsync -an --delete` over the same ssh command, which
// lists both folders and tells what it would change: taking turns, medians
// of 5, each run making its own connection. Then the same for two trees of
// the same files, 100 to a folder, compared with --recursive. Then two
// trees of N files of 4 KB, 100 to a folder, at one time, every tenth file
// differing at equal size: `--compare -r -c` against `rsync -anc`; and
// `--sync mirror` of 1 % of the files changed (new bytes, a newer time)
// against `rsync -a --delete`, each run with a 1 % of its own, medians of 3.
//
//   build/bench/bench_remote build/src/duoscope N        two new folders of N files
#include "bench_files.h"
#include "bench_process.h"
#include "support/ssh_server.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char* argv[]) {
    if (argc < 3)
        return 1;
    const std::string program = argv[1];
    const int n = std::atoi(argv[2]);
    SshServer server;
    if (!server.running()) {
        std::printf("remote case skipped: %s\n", server.failure().constData());
        return 0;
    }
    server.useForProgram();
    QTemporaryDir dir;
    const std::string source = dir.filePath(QStringLiteral("source")).toStdString();
    const std::string dest = dir.filePath(QStringLiteral("dest")).toStdString();
    makeFolder(source, n, 0);
    makeFolder(dest, n, n / 2);
    const std::string ssh = server.sshCommand().toStdString();
    const auto compare = [&](const std::string& a, const std::string& b, const char* recursive,
                             const std::string& measure) {
        const std::vector<std::string> rsync = {
            "rsync", "-an", "--delete", "-e", ssh, a + "/", "127.0.0.1:" + b + "/"};
        std::vector<std::string> report = {program, "--compare", a, "127.0.0.1:" + b};
        if (*recursive)
            report.insert(report.begin() + 2, recursive);
        run(rsync); // each folder read once, the host key known, before the timing
        std::vector<double> rsyncs, reports;
        for (int i = 0; i < 5; ++i) {
            reports.push_back(run(report).ms);
            rsyncs.push_back(run(rsync).ms);
        }
        result(measure, median(reports), "ms", median(rsyncs),
               "rsync -an --delete over the same ssh");
    };
    compare(source, dest, "",
            "Report with one folder on a host over ssh, 2 × " + grouped(n) + " files");
    const std::string treeA = dir.filePath(QStringLiteral("treeA")).toStdString();
    const std::string treeB = dir.filePath(QStringLiteral("treeB")).toStdString();
    ::mkdir(treeA.c_str(), 0700);
    ::mkdir(treeB.c_str(), 0700);
    for (int f = 0; f < n / 100; ++f) {
        makeFolder(treeA + "/folder" + std::to_string(f), 100, 0);
        makeFolder(treeB + "/folder" + std::to_string(f), 100, f % 2 ? 0 : 50);
    }
    compare(treeA, treeB, "-r",
            "Recursive report with one tree on a host over ssh, 2 × " + grouped(n) +
                " files, 100 a folder");
    // Two trees at one time, `differ(i)` telling which files hold other bytes.
    const auto files = [&](const std::string& top, int round, const auto& differ) {
        for (int i = 0; i < n; ++i) {
            const std::string folder = top + "/folder" + std::to_string(i / 100);
            ::mkdir(folder.c_str(), 0700);
            const std::string name = folder + "/file" + std::to_string(i) + ".dat";
            if (round > 0 && !differ(i))
                continue;
            std::string data(4096, 'a');
            data.replace(0, std::to_string(i).size(), std::to_string(i));
            if (differ(i))
                data[4000] = char('b' + round % 20);
            const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
            if (fd < 0 || ::write(fd, data.data(), data.size()) != ssize_t(data.size()))
                std::abort();
            const struct timespec at[2] = {{1700000000 + 100 * round, 0},
                                           {1700000000 + 100 * round, 0}};
            ::futimens(fd, at);
            ::close(fd);
        }
    };
    const std::string treeC = dir.filePath(QStringLiteral("treeC")).toStdString();
    const std::string treeD = dir.filePath(QStringLiteral("treeD")).toStdString();
    ::mkdir(treeC.c_str(), 0700);
    ::mkdir(treeD.c_str(), 0700);
    files(treeC, 0, [](int) { return false; });
    files(treeD, 0, [](int i) { return i % 10 == 0; });
    const std::vector<std::string> rsyncC = {"rsync", "-anc",      "-e",
                                             ssh,     treeC + "/", "127.0.0.1:" + treeD + "/"};
    const std::vector<std::string> reportC = {program, "--compare", "-r",
                                              "-c",    treeC,       "127.0.0.1:" + treeD};
    run(rsyncC);
    std::vector<double> rsyncs, reports;
    for (int i = 0; i < 3; ++i) {
        reports.push_back(run(reportC).ms);
        rsyncs.push_back(run(rsyncC).ms);
    }
    result("Report -r -c with one tree on a host, 2 × " + grouped(n) +
               " files of 4 KB, a tenth differing at equal size",
           median(reports), "ms", median(rsyncs), "rsync -anc over the same ssh");
    // Mirror: Destination on the host, equal to Source but for each run's 1 %.
    const std::string treeE = dir.filePath(QStringLiteral("treeE")).toStdString();
    const std::string treeF = dir.filePath(QStringLiteral("treeF")).toStdString();
    ::mkdir(treeE.c_str(), 0700);
    ::mkdir(treeF.c_str(), 0700);
    files(treeE, 0, [](int) { return false; });
    files(treeF, 0, [](int) { return false; });
    const std::vector<std::string> rsyncE = {
        "rsync", "-a", "--delete", "-e", ssh, treeE + "/", "127.0.0.1:" + treeF + "/"};
    const std::vector<std::string> syncE = {program, "--sync", "mirror", treeE,
                                            "127.0.0.1:" + treeF};
    run(rsyncE);
    std::vector<double> syncs;
    rsyncs.clear();
    for (int round = 1; round <= 6; ++round) {
        files(treeE, round, [&](int i) { return i % 100 == round; });
        (round % 2 ? syncs : rsyncs).push_back(run(round % 2 ? syncE : rsyncE).ms);
    }
    result("Sync mirror onto a host, 2 × " + grouped(n) + " files of 4 KB, 1 % changed",
           median(syncs), "ms", median(rsyncs), "rsync -a --delete over the same ssh");
    return 0;
}
