#pragma once

#include "fileops/file_steps.h"

#include <vector>

// Copies (or moves) the files and folders of one paste or drop in turn,
// under one progress counting their files and bytes, and with one standing
// answer to the overwrite question, all shown and asked through `host`.
// It stops before the next file once the host is cancelled; special files
// skipped inside folders are told once at the end.
void runTransfers(CommandHost& host, std::vector<Transfer> transfers, const CopyOptions& options);
