#pragma once

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
