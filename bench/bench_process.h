#pragma once

#include "bench_measure.h"

#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// One run of an outside command: its time and peak memory.
struct Run {
    double ms = 0;
    double peakMiB = 0;
};

// Runs a command with its output thrown away; a failed run (an exit status
// above `worstExit`, or a signal) ends the benchmark.
inline Run run(const std::vector<std::string>& command, int worstExit = 0) {
    std::vector<char*> argv;
    for (const std::string& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    Run r{msSince(start), usage.ru_maxrss / 1024.0};
    if (!WIFEXITED(status) || WEXITSTATUS(status) > worstExit) {
        std::fprintf(stderr, "failed: %s\n", command[0].c_str());
        std::exit(1);
    }
    return r;
}

// The program given first on a benchmark's command line, the number of
// files given second (100,000 when not), and two trees' paths, "a" and "b",
// in a temporary folder of their own.
struct TreeBench {
    TreeBench(int argc, char* argv[])
        : program(argc > 1 ? argv[1] : ""), files(argc > 2 ? std::atoi(argv[2]) : 100000) {}
    std::string program;
    int files;
    QTemporaryDir dir;
    std::string a = dir.filePath(QStringLiteral("a")).toStdString();
    std::string b = dir.filePath(QStringLiteral("b")).toStdString();
};
