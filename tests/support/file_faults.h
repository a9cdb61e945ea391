#pragma once

#include "fileops/file_copy.h"

#include <QByteArray>
#include <climits>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

// Copies whose writes fail, as on a full disk, once `limit` bytes were asked for.
inline CopyOptions failingAfter(qint64 limit) {
    CopyOptions o;
    o.write = [asked = std::make_shared<qint64>(0), limit](int fd, const char* data, size_t size) {
        return (*asked += qint64(size)) > limit ? (errno = ENOSPC, -1) : ::write(fd, data, size);
    };
    return o;
}

// Copies that read and write, as across file systems, whose flushes to disk
// are logged in `*log`, "f" for a file and "d" for a folder: the `failing`th
// (from 1) fails with EIO, and `before` runs before each.
inline CopyOptions loggedFlushes(std::shared_ptr<QByteArray> log, int failing = 0,
                                 std::function<void()> before = {}) {
    CopyOptions o = failingAfter(LLONG_MAX);
    o.fsync = [=](int fd) {
        if (before)
            before();
        struct stat st {};
        *log += ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? 'd' : 'f';
        return log->size() == failing ? (errno = EIO, -1) : ::fsync(fd);
    };
    return o;
}
