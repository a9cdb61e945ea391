#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <functional>
#include <vector>

// A program run with its arguments as they are (no shell between), `input`
// on its standard input, its output handed on as it comes, its errors kept.
struct ChildRun {
    std::vector<QByteArray> arguments; // the program first, found on PATH
    QByteArray input;
    // Each piece of standard output as it arrives.
    std::function<void(QByteArrayView)> output;
    // Set from another thread: the child is ended, the run returns.
    const std::atomic<bool>* cancel = nullptr;
    // "NAME=value" entries over the program's own environment.
    std::vector<QByteArray> environment = {};
    // Asked while it runs, from the caller's thread: true ends it as `cancel` does.
    std::function<bool()> stop = {};
    // Descriptors of ours the child keeps, at the same numbers (a folder
    // held here that it reaches as /proc/self/fd/N).
    std::vector<int> inherited = {};
    // The child's standard input from this descriptor of the caller's, who
    // writes it as it goes (`input` unused); -1: `input`.
    int inputFd = -1;
};

struct ChildResult {
    int exitCode = -1; // -1: it could not start, or ended by a signal
    int signal = 0;
    int startError = 0; // errno of a failed start
    bool cancelled = false;
    QByteArray errors; // its standard error, the last 64 KiB
};

ChildResult runChild(const ChildRun& run);
