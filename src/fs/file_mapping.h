#pragma once

#include <cstddef>

// A regular file mapped for reading. Another program may shorten the file
// while it is mapped; reading past its new end would kill the program with
// SIGBUS, so the pages lost read as zero bytes instead.
// Returns null (errno set) when the file cannot be mapped.
const char* mapFile(int fd, std::size_t size);
void unmapFile(const char* data, std::size_t size);
