// Saving the digest cache: the file's entries merged with those added in
// the run (in memory and spilled), the least recently used dropped past the
// limit, written in one pass to a new file renamed over the old.
#include "compare/digest_cache.h"

#include "compare/digest_cache_format.h"
#include "fs/unique_fd.h"

#include <QDir>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

using namespace digest_file;
using Stored = DigestCache::Stored;

// Entries read in order, a buffer at a time: a sorted run of the side file,
// the file's own entries, or the added ones still in memory.
class Cursor {
public:
    Cursor(const Stored* from, size_t count) : m_memory(count ? from : nullptr), m_left(count) {}
    Cursor(int fd, std::uint64_t first, std::uint64_t count)
        : m_fd(fd), m_next(first), m_left(size_t(count)) {}

    bool done() const { return m_at == m_buffered && m_left == 0 && !m_memory; }
    const Stored& head() { return m_memory ? *m_memory : m_buffer[m_at]; }
    // False when the side file could not be read: its remaining entries are lost.
    bool fill() {
        if (m_memory || m_at < m_buffered || m_left == 0)
            return true;
        const size_t n = std::min(m_left, std::size(m_buffer));
        if (!moveAllAt(::pread, m_fd, reinterpret_cast<char*>(m_buffer), n * sizeof(Stored),
                       off_t(m_next * sizeof(Stored)))) {
            m_left = 0;
            return false;
        }
        m_at = 0;
        m_buffered = n;
        m_next += n;
        m_left -= n;
        return true;
    }
    void advance() {
        if (m_memory)
            m_memory = --m_left > 0 ? m_memory + 1 : nullptr;
        else
            ++m_at;
        fill();
    }

private:
    const Stored* m_memory = nullptr;
    int m_fd = -1;
    std::uint64_t m_next = 0;
    size_t m_left = 0, m_at = 0, m_buffered = 0;
    Stored m_buffer[1024];
};

} // namespace

std::uint64_t DigestCache::usedOf(size_t at) const {
    return m_found[at] ? m_run : m_records[at].used;
}

bool DigestCache::writeMerged(int fd) {
    // Every block of the old file checked before any of it is copied on.
    for (size_t b = 0; m_blockSums && b < m_blockChecked.size(); ++b) {
        if (!blockSound(b))
            break;
    }
    const std::vector<Stored>& added = m_added.sorted();
    // Past the limit, the runs that used entries last keep theirs: every
    // entry used at or after `oldest` stays, and `atOldest` of those used then.
    std::uint64_t oldest = 0;
    std::uint64_t atOldest = ~std::uint64_t(0);
    if (m_recordCount + m_spilled + added.size() > std::uint64_t(m_max)) {
        std::map<std::uint64_t, std::uint64_t, std::greater<>> byRun;
        byRun[m_run] += m_spilled + added.size() - m_replaced;
        for (size_t i = 0; i < m_recordCount; ++i)
            ++byRun[usedOf(i)];
        std::uint64_t room = std::uint64_t(m_max);
        for (const auto& [run, n] : byRun) {
            oldest = run;
            atOldest = std::min(n, room);
            if (n >= room)
                break;
            room -= n;
        }
    }
    // The old file's entries first among equals: a new digest of the same
    // identity replaces its entry.
    std::vector<Cursor> cursors;
    cursors.emplace_back(m_records, m_recordCount);
    for (const auto& [first, count] : m_runs)
        cursors.emplace_back(m_spill, first, count);
    cursors.emplace_back(added.data(), added.size());
    for (Cursor& c : cursors)
        c.fill();

    Header header{};
    std::memcpy(header.magic, magic, sizeof magic);
    header.magic[7] = blockFormat;
    header.run = m_run;
    std::vector<std::uint64_t> sums;
    std::vector<Stored> block;
    block.reserve(blockEntries);
    off_t at = sizeof header;
    const auto flush = [&] {
        const size_t bytes = block.size() * sizeof(Stored);
        sums.push_back(XXH3_64bits(block.data(), bytes));
        const bool written =
            moveAllAt(::pwrite, fd, reinterpret_cast<const char*>(block.data()), bytes, at);
        at += off_t(bytes);
        block.clear();
        return written;
    };
    for (;;) {
        Cursor* least = nullptr;
        for (Cursor& c : cursors) {
            if (!c.done() && (!least || before(c.head().id, least->head().id)))
                least = &c;
        }
        if (!least)
            break;
        Stored entry = least->head();
        if (least == &cursors.front())
            entry.used = usedOf(size_t(&least->head() - m_records));
        // An added digest over the old file's entry of the same identity;
        // the old file's cursor comes first among equals.
        for (Cursor& c : cursors) {
            while (&c != least && !c.done() && c.head().id == entry.id) {
                entry = c.head();
                c.advance();
            }
        }
        least->advance();
        if (entry.used < oldest || (entry.used == oldest && atOldest == 0))
            continue;
        if (entry.used == oldest)
            --atOldest;
        block.push_back(entry);
        ++header.count;
        if (block.size() == blockEntries && !flush())
            return false;
    }
    if (!block.empty() && !flush())
        return false;
    XXH3_state_t* state = XXH3_createState();
    XXH3_64bits_reset(state);
    XXH3_64bits_update(state, &header, sizeof header);
    XXH3_64bits_update(state, sums.data(), sums.size() * sizeof(std::uint64_t));
    const std::uint64_t sum = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return moveAllAt(::pwrite, fd, reinterpret_cast<const char*>(sums.data()),
                     sums.size() * sizeof(std::uint64_t), at) &&
           moveAllAt(::pwrite, fd, reinterpret_cast<const char*>(&sum), sizeof sum,
                     at + off_t(sums.size() * sizeof(std::uint64_t))) &&
           moveAllAt(::pwrite, fd, reinterpret_cast<const char*>(&header), sizeof header, 0);
}

bool DigestCache::save() {
    // By the next run a device's number may be another drive's.
    m_trusted.clear();
    if (!m_changed)
        return true;
    struct stat there {};
    if (::lstat(m_path.constData(), &there) == 0 && !S_ISREG(there.st_mode))
        return false; // not ours to replace
    const QByteArray folder = m_path.left(m_path.lastIndexOf('/'));
    QDir().mkpath(QFile::decodeName(folder));
    // A file of its own, renamed over the old: a reader never sees half of it.
    QByteArray temporary = m_path + ".XXXXXX";
    UniqueFd fd{::mkostemp(temporary.data(), O_CLOEXEC)};
    if (fd.fd < 0)
        return false;
    const bool ok = writeMerged(fd.fd) && ::close(std::exchange(fd.fd, -1)) == 0 &&
                    ::rename(temporary.constData(), m_path.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    // Whatever became of it, the next use starts from the file as it is now.
    forget();
    m_added.release();
    m_runs.clear();
    m_spilled = m_replaced = 0;
    if (m_spill >= 0)
        ::close(std::exchange(m_spill, -1));
    m_loaded = m_changed = false;
    return ok;
}
