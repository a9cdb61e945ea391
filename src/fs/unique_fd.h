#pragma once

#include <cerrno>
#include <cstddef>
#include <unistd.h>

// A file descriptor closed when it goes out of scope; -1 holds none.
struct UniqueFd {
    int fd = -1;
    UniqueFd() = default;
    explicit UniqueFd(int descriptor) : fd(descriptor) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd >= 0)
            ::close(fd);
    }
};

// Moves all `size` bytes through `io` (read or write), through short counts
// and signals, a gigabyte at most a call; false on an error (errno tells) or
// when `io` moves nothing (an end of file, a device that takes no more).
template <typename Byte, typename Io> bool moveAll(Io io, int fd, Byte* at, size_t size) {
    while (size > 0) {
        const ssize_t n = io(fd, at, size < (size_t(1) << 30) ? size : size_t(1) << 30);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        size -= size_t(n);
    }
    return true;
}

// The same at `offset` (pread or pwrite), the file's own offset left alone.
template <typename Byte, typename Io>
bool moveAllAt(Io io, int fd, Byte* at, size_t size, off_t offset) {
    return moveAll(
        [&](int f, Byte* b, size_t n) {
            const ssize_t moved = io(f, b, n, offset);
            offset += moved > 0 ? moved : 0;
            return moved;
        },
        fd, at, size);
}

inline bool readAll(int fd, char* to, size_t size) {
    return moveAll(::read, fd, to, size);
}

inline bool writeAll(int fd, const char* from, size_t size) {
    return moveAll(::write, fd, from, size);
}
