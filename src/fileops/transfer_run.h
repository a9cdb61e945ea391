#pragma once

#include "fileops/file_steps.h"

#include <vector>

class FileCommandRun;

// Copies (or moves) the files and folders of one paste or drop in turn,
// under one progress counting their files and bytes, and with one standing
// answer to the overwrite question. Escape stops it before the next file;
// special files skipped inside folders are told once at the end.
void runTransfers(Platform& platform, QWidget* owner, std::vector<Transfer> transfers,
                  const CopyOptions& options, FileCommandRun& run);
