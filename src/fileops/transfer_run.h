#pragma once

#include "fileops/file_steps.h"
#include "fileops/folder_tree.h"

#include <functional>
#include <vector>

// The progress of one file command: the bar counts files, and a file's
// every MiB as one more, shown through the host.
class TransferProgress {
public:
    // Sets the bar's length, unless `files` is below 0 (nothing to run).
    TransferProgress(CommandHost& host, qint64 files, qint64 bytes);
    void advance(qint64 files, qint64 bytes);

private:
    CommandHost& m_host;
    qint64 m_files = 0, m_bytes = 0;
};

// The files and folders of one command, each folder's tree read before any
// is begun, with the files and bytes they hold for the bar.
struct PlannedTransfers {
    std::vector<Transfer> transfers;
    std::vector<TreePlan> trees;
    std::vector<FsResult> planned; // a folder that could not be read: told when its turn comes
    qint64 files = 0, bytes = 0;
    // Called before transfer `i` is begun, with the options it goes with:
    // reaches its folders and lends them there. False leaves it alone, not
    // told (the caller names it); none: each transfer reaches its paths.
    std::function<bool(size_t i, CopyOptions& options)> reach;
};
PlannedTransfers planTransfers(std::vector<Transfer> transfers);

// Copies (or moves) the files and folders planned in turn, advancing
// `progress`, with one standing answer to the overwrite question (a
// transfer's own, when given), all shown and asked through `host`. It stops
// before the next file once the host is cancelled; special files skipped
// inside folders are told once at the end. Files moved across file systems
// or replaced for good are given up a batch at a time, once their copies
// are on disk (`options.removals`, or a batch of the command's own), the
// last batch before it returns.
void runPlanned(CommandHost& host, PlannedTransfers& planned, const CopyOptions& options,
                TransferProgress& progress);

// The above for the files of one paste or drop, under a bar of their own.
void runTransfers(CommandHost& host, std::vector<Transfer> transfers, const CopyOptions& options);
