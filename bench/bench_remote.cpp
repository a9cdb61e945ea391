// The report with one folder on another host, over ssh to a private sshd on
// 127.0.0.1, against `rsync -an --delete` over the same ssh command, which
// lists both folders and tells what it would change: taking turns, medians
// of 5, each run making its own connection.
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
    const std::vector<std::string> rsync = {
        "rsync", "-an", "--delete", "-e", ssh, source + "/", "127.0.0.1:" + dest + "/"};
    const std::vector<std::string> report = {program, "--compare", source, "127.0.0.1:" + dest};
    run(rsync); // each folder read once, the host key known, before the timing
    std::vector<double> rsyncs, reports;
    for (int i = 0; i < 5; ++i) {
        reports.push_back(run(report).ms);
        rsyncs.push_back(run(rsync).ms);
    }
    result("Report with one folder on a host over ssh, 2 × " + grouped(n) + " files",
           median(reports), "ms", median(rsyncs), "rsync -an --delete over the same ssh");
    return 0;
}
