// The report with one folder on another host, over ssh to a private sshd on
// 127.0.0.1, against `rsync -an --delete` over the same ssh command, which
// lists both folders and tells what it would change: taking turns, medians
// of 5, each run making its own connection. Then the same for two trees of
// the same files, 100 to a folder, compared with --recursive.
//
//   build/bench/bench_remote build/src/duoscope N        two new folders of N files
#include "bench_files.h"
#include "bench_process.h"
#include "support/ssh_server.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdlib>
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
    return 0;
}
