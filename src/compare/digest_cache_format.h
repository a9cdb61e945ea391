#pragma once

#include "compare/digest_cache.h"

#include <cstdint>
#include <tuple>

// The cache file: this header, the entries sorted by identity, a checksum
// (XXH3-64) of each block of entries, then XXH3-64 of the header and the
// block checksums. Native byte order: a cache written by another machine is
// foreign anyway. The first format had no block checksums, one over all.
namespace digest_file {

constexpr char magic[7] = {'D', 'S', 'D', 'I', 'G', 'S', 0};
constexpr char firstFormat = 1, blockFormat = 2;
struct Header {
    char magic[8];
    std::uint64_t run, count;
};
static_assert(sizeof(Header) == 24 && sizeof(DigestCache::Stored) == 64);
// A page of entries: a lookup checks the one page it reads.
constexpr size_t blockEntries = 64;

inline size_t blocks(std::uint64_t count) {
    return size_t((count + blockEntries - 1) / blockEntries);
}

inline bool before(const ContentKey& a, const ContentKey& b) {
    return std::tie(a.device, a.inode, a.size, a.modifiedNs, a.changedNs) <
           std::tie(b.device, b.inode, b.size, b.modifiedNs, b.changedNs);
}

} // namespace digest_file
