#include "compare/digest_cache.h"

#include "compare/digest_cache_format.h"

#include "fs/file_system_kind.h"
#include "fs/unique_fd.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace {

using namespace digest_file;

std::int64_t ns(const struct timespec& t) {
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

QByteArray defaultPath() {
    QByteArray base = qgetenv("XDG_CACHE_HOME");
    if (base.isEmpty() || !base.startsWith('/'))
        base = qgetenv("HOME") + "/.cache";
    return base + "/duoscope/digests";
}

} // namespace

ContentKey contentKey(const struct stat& st) {
    return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size),
            ns(st.st_mtim), ns(st.st_ctim)};
}

size_t qHash(const ContentKey& id, size_t seed) {
    // The inode and the change time tell a file apart: mixed, not digested.
    return qHashMulti(seed, id.inode, id.changedNs);
}

std::int64_t realTimeNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return ns(now);
}

DigestCache::DigestCache(QByteArray path, qsizetype maxEntries, qsizetype bufferEntries)
    : m_path(path.isEmpty() ? defaultPath() : std::move(path)), m_max(maxEntries),
      m_bufferMax(std::max<qsizetype>(bufferEntries, 1)) {}

DigestCache::~DigestCache() {
    forget();
    if (m_spill >= 0)
        ::close(m_spill);
}

void DigestCache::forget() {
    if (m_map)
        ::munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
    m_records = nullptr;
    m_recordCount = 0;
    m_blockSums = nullptr;
    m_readWhole = {};
    m_blockChecked = {};
    m_found = {};
}

void DigestCache::load() {
    m_loaded = true;
    // Never waiting on a FIFO, never through a link.
    const UniqueFd fd{::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return; // none yet, or not ours
    Header header{};
    const size_t size = size_t(st.st_size), tail = sizeof(std::uint64_t);
    const bool ours = size >= sizeof header + tail &&
                      readAll(fd.fd, reinterpret_cast<char*>(&header), sizeof header) &&
                      std::memcmp(header.magic, magic, sizeof magic) == 0 &&
                      header.count <= (size - sizeof header) / sizeof(Stored);
    const std::uint64_t count = ours ? header.count : 0;
    bool whole = false;
    if (ours && header.magic[7] == blockFormat &&
        size == sizeof header + count * sizeof(Stored) + blocks(count) * tail + tail) {
        m_map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.fd, 0);
        if (m_map == MAP_FAILED)
            m_map = nullptr;
        if (m_map) {
            m_mapSize = size;
            const char* bytes = static_cast<const char*>(m_map);
            m_records = reinterpret_cast<const Stored*>(bytes + sizeof header);
            m_blockSums = reinterpret_cast<const std::uint64_t*>(bytes + sizeof header +
                                                                 count * sizeof(Stored));
            m_recordCount = size_t(count);
            // The header and the blocks' checksums now; each block when first read.
            XXH3_state_t* state = XXH3_createState();
            XXH3_64bits_reset(state);
            XXH3_64bits_update(state, &header, sizeof header);
            XXH3_64bits_update(state, m_blockSums, blocks(count) * tail);
            std::uint64_t sum = 0;
            std::memcpy(&sum, bytes + size - tail, tail);
            whole = XXH3_64bits_digest(state) == sum;
            XXH3_freeState(state);
            m_blockChecked.assign(blocks(count), false);
        }
    } else if (ours && header.magic[7] == firstFormat &&
               size == sizeof header + count * sizeof(Stored) + tail) {
        // Read whole and checked as before; saved in the block format.
        m_readWhole.resize(size_t(count));
        std::uint64_t sum = 0;
        const size_t body = m_readWhole.size() * sizeof(Stored);
        whole = readAll(fd.fd, reinterpret_cast<char*>(m_readWhole.data()), body) &&
                readAll(fd.fd, reinterpret_cast<char*>(&sum), sizeof sum);
        XXH3_state_t* state = XXH3_createState();
        XXH3_64bits_reset(state);
        XXH3_64bits_update(state, &header, sizeof header);
        XXH3_64bits_update(state, m_readWhole.data(), body);
        whole = whole && XXH3_64bits_digest(state) == sum;
        XXH3_freeState(state);
        std::sort(m_readWhole.begin(), m_readWhole.end(),
                  [](const Stored& x, const Stored& y) { return before(x.id, y.id); });
        m_records = m_readWhole.data();
        m_recordCount = m_readWhole.size();
        m_changed = true;
    }
    if (!whole) {
        forget();
        m_foreign = m_changed = true; // written anew on the next save
        return;
    }
    m_found.assign(m_recordCount, false);
    m_run = header.run + 1;
}

bool DigestCache::blockSound(size_t block) {
    if (!m_blockSums || m_blockChecked[block])
        return true;
    const size_t first = block * blockEntries, n = std::min(blockEntries, m_recordCount - first);
    if (XXH3_64bits(m_records + first, n * sizeof(Stored)) != m_blockSums[block]) {
        // One bad block makes the whole file suspect: none of it is used.
        forget();
        m_foreign = m_changed = true;
        return false;
    }
    m_blockChecked[block] = true;
    return true;
}

const DigestCache::Stored* DigestCache::stored(const ContentKey& id, size_t& at, int finger) {
    // The first entry not before `id` lies in [low, high): bracketed from
    // the finger in steps that double, then halved. A block found unsound
    // drops every entry, and the search runs out.
    auto below = [&](size_t i) {
        return blockSound(i / blockEntries) && m_records && before(m_records[i].id, id);
    };
    size_t& from = m_finger[finger];
    size_t low = 0, high = m_recordCount;
    if (from < m_recordCount) {
        if (below(from)) {
            low = from + 1;
            for (size_t step = 1; low + step - 1 < m_recordCount; step *= 2) {
                if (!below(low + step - 1)) {
                    high = low + step - 1;
                    break;
                }
                low += step;
            }
        } else {
            high = from;
            for (size_t step = 1; step <= high; step *= 2) {
                if (below(high - step)) {
                    low = high - step + 1;
                    break;
                }
                high -= step;
            }
        }
    }
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (below(mid))
            low = mid + 1;
        else
            high = mid;
    }
    if (!m_records)
        return nullptr;
    from = low;
    if (low == m_recordCount || !blockSound(low / blockEntries) || !(m_records[low].id == id))
        return nullptr;
    at = low;
    return m_records + low;
}

bool DigestCache::trusts(std::uint64_t device, int fd) {
    const auto known = m_trusted.constFind(device);
    if (known != m_trusted.cend())
        return *known;
    return *m_trusted.insert(device, !servedFileSystem(fileSystemTypeOf(fd)));
}

std::optional<ContentDigest> DigestCache::find(const ContentKey& id, int finger) {
    if (!m_loaded)
        load();
    if (const Stored* added = m_added.find(id))
        return added->digest;
    size_t at = 0;
    const Stored* entry = stored(id, at, finger);
    if (!entry)
        return std::nullopt;
    // Kept with the next save; a run that adds nothing leaves the file as it was.
    m_found[at] = true;
    return entry->digest;
}

void DigestCache::insert(const ContentKey& id, const ContentDigest& digest, std::int64_t readAtNs,
                         int finger) {
    if (!m_loaded)
        load();
    if (readAtNs - std::max(id.modifiedNs, id.changedNs) < m_settleNs)
        return;
    // A digest the file holds already is used, not added; another digest of
    // that identity replaces it when saved.
    size_t at = 0;
    if (const Stored* known = stored(id, at, finger)) {
        m_found[at] = true;
        if (known->digest == digest)
            return;
        ++m_replaced;
    }
    m_added.put({id, m_run, digest}, size_t(m_bufferMax));
    m_changed = true;
    if (m_added.size() >= size_t(m_bufferMax))
        spill();
}

qsizetype DigestCache::count() {
    if (!m_loaded)
        load();
    return qsizetype(m_recordCount + m_spilled + m_added.size());
}

void DigestCache::spill() {
    // Sorted where they lie: the block is kept for the next spill.
    const std::vector<Stored>& sorted = m_added.sorted();
    if (m_spill < 0) {
        // Unnamed beside the cache: nothing to clean up however the run ends.
        const QByteArray folder = m_path.left(m_path.lastIndexOf('/'));
        QDir().mkpath(QFile::decodeName(folder));
        m_spill = ::open(folder.isEmpty() ? "." : folder.constData(),
                         O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    }
    const size_t bytes = sorted.size() * sizeof(Stored);
    // Without a side file the digests are read again next time: only time is lost.
    if (m_spill >= 0 && moveAllAt(::pwrite, m_spill, reinterpret_cast<const char*>(sorted.data()),
                                  bytes, off_t(m_spilled * sizeof(Stored)))) {
        m_runs.emplace_back(m_spilled, sorted.size());
        m_spilled += sorted.size();
    }
    m_added.clear();
}
