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

// Reads exactly `size` bytes, through short reads and signals; false on an
// error (errno tells) or an end of file first.
inline bool readAll(int fd, char* to, size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, to, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        size -= size_t(n);
    }
    return true;
}

// Writes all `size` bytes, through short writes and signals; false on an
// error (errno tells) or a device that takes nothing more.
inline bool writeAll(int fd, const char* from, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, from, size < (size_t(1) << 30) ? size : size_t(1) << 30);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        from += n;
        size -= size_t(n);
    }
    return true;
}
