// The command-line report against `find -printf` over the same two folders
// (each entry's name, size and time), taking turns, medians of 5, with the
// peak memory of each.
//
//   build/bench/bench_compare build/src/duoscope N              two new folders of N files
//   build/bench/bench_compare build/src/duoscope --folders A B LABEL
#include "bench_files.h"
#include "bench_process.h"

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
    QTemporaryDir dir;
    std::string source, dest, label;
    if (std::string(argv[2]) == "--folders" && argc >= 6) {
        source = argv[3];
        dest = argv[4];
        label = argv[5];
    } else {
        const int n = std::atoi(argv[2]);
        source = dir.filePath(QStringLiteral("source")).toStdString();
        dest = dir.filePath(QStringLiteral("dest")).toStdString();
        makeFolder(source, n, 0);
        makeFolder(dest, n, n / 2);
        label = "2 × " + grouped(n) + " files";
    }
    const std::vector<std::string> find = {"find", source, dest, "-printf", "%p %s %T@\n"};
    const std::vector<std::string> json = {program, "--compare", source, dest, "--json"};
    const std::vector<std::string> text = {program, "--compare", source, dest};
    run(find); // each folder read once before the timing
    std::vector<double> finds, jsons, texts, findPeak, jsonPeak;
    for (int i = 0; i < 5; ++i) {
        const Run f = run(find), j = run(json), t = run(text);
        finds.push_back(f.ms);
        jsons.push_back(j.ms);
        texts.push_back(t.ms);
        findPeak.push_back(f.peakMiB);
        jsonPeak.push_back(j.peakMiB);
    }
    std::printf("find %.1f ms, --json %.1f ms, text %.1f ms\n", median(finds), median(jsons),
                median(texts));
    const char* baseline = "`find -printf` of the same folders (name, size, time)";
    result("Report `--compare --json`, " + label, median(jsons), "ms", median(finds), baseline);
    result("Report `--compare` as text, " + label, median(texts), "ms", median(finds), baseline);
    if (dir.isValid() && source.rfind(dir.path().toStdString(), 0) == 0)
        result("Peak memory of `--compare --json`, " + label, median(jsonPeak), "MiB",
               median(findPeak), "peak memory of that `find`");
    return 0;
}
