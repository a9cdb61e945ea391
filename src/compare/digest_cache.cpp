#include "compare/digest_cache.h"

#include "fs/file_system_kind.h"
#include "fs/unique_fd.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace {

// The file: this header, the entries, then XXH3-64 of all that went before.
// Native byte order: a cache written by another machine is foreign anyway.
constexpr char magic[8] = {'D', 'S', 'D', 'I', 'G', 'S', 0, 1};
struct Header {
    char magic[8];
    std::uint64_t run, count;
};
struct Record {
    std::uint64_t device, inode;
    std::int64_t size, modifiedNs, changedNs;
    std::uint64_t used, low, high;
};
static_assert(sizeof(Header) == 24 && sizeof(Record) == 64);

constexpr auto byIdentity = [](const auto& a, const auto& b) {
    return std::tie(a.id.device, a.id.inode, a.id.size, a.id.modifiedNs, a.id.changedNs) <
           std::tie(b.id.device, b.id.inode, b.id.size, b.id.modifiedNs, b.id.changedNs);
};

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
    return size_t(XXH3_64bits_withSeed(&id, sizeof id, seed));
}

std::int64_t realTimeNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return ns(now);
}

DigestCache::DigestCache(QByteArray path, qsizetype maxEntries)
    : m_path(path.isEmpty() ? defaultPath() : std::move(path)), m_max(maxEntries) {}

void DigestCache::load() {
    m_loaded = true;
    // Never waiting on a FIFO, never through a link.
    const UniqueFd fd{::open(m_path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return; // none yet, or not ours
    static_assert(sizeof(Stored) == sizeof(Record) &&
                  offsetof(Stored, used) == offsetof(Record, used) &&
                  offsetof(Stored, digest) == offsetof(Record, low));
    // Read straight into the entries: one copy of a file that may be tens of MB.
    Header header{};
    std::uint64_t sum = 0;
    const size_t fixed = sizeof header + sizeof sum, size = size_t(st.st_size);
    bool whole = size >= fixed && (size - fixed) % sizeof(Record) == 0 &&
                 readAll(fd.fd, reinterpret_cast<char*>(&header), sizeof header) &&
                 std::memcmp(header.magic, magic, sizeof magic) == 0 &&
                 header.count == (size - fixed) / sizeof(Record);
    if (whole) {
        m_stored.resize(size_t(header.count));
        const size_t body = m_stored.size() * sizeof(Record);
        whole = readAll(fd.fd, reinterpret_cast<char*>(m_stored.data()), body) &&
                readAll(fd.fd, reinterpret_cast<char*>(&sum), sizeof sum);
        XXH3_state_t* state = XXH3_createState();
        XXH3_64bits_reset(state);
        XXH3_64bits_update(state, &header, sizeof header);
        XXH3_64bits_update(state, m_stored.data(), body);
        whole = whole && XXH3_64bits_digest(state) == sum;
        XXH3_freeState(state);
    }
    if (!whole) {
        m_stored.clear();
        m_foreign = m_changed = true; // written anew on the next save
        return;
    }
    m_run = header.run + 1;
    // A file written before entries were kept in order is sorted, and saved so.
    if (!std::is_sorted(m_stored.begin(), m_stored.end(), byIdentity)) {
        std::sort(m_stored.begin(), m_stored.end(), byIdentity);
        m_changed = true;
    }
}

bool DigestCache::trusts(std::uint64_t device, int fd) {
    const auto known = m_trusted.constFind(device);
    if (known != m_trusted.cend())
        return *known;
    return *m_trusted.insert(device, !servedFileSystem(fileSystemTypeOf(fd)));
}

DigestCache::Stored* DigestCache::stored(const ContentKey& id) {
    const auto it =
        std::lower_bound(m_stored.begin(), m_stored.end(), Stored{id, 0, {}}, byIdentity);
    return it != m_stored.end() && it->id == id ? &*it : nullptr;
}

std::optional<ContentDigest> DigestCache::find(const ContentKey& id) {
    if (!m_loaded)
        load();
    Stored* entry = stored(id);
    if (!entry) {
        const auto it = m_added.find(id);
        if (it == m_added.end())
            return std::nullopt;
        entry = &*it;
    }
    // Kept with the next save; a run that adds nothing leaves the file as it was.
    entry->used = m_run;
    return entry->digest;
}

void DigestCache::insert(const ContentKey& id, const ContentDigest& digest, std::int64_t readAtNs) {
    if (!m_loaded)
        load();
    if (readAtNs - std::max(id.modifiedNs, id.changedNs) < m_settleNs)
        return;
    if (Stored* entry = stored(id))
        *entry = {id, m_run, digest};
    else
        m_added.insert(id, {id, m_run, digest});
    m_changed = true;
}

bool DigestCache::save() {
    // By the next run a device's number may be another drive's.
    m_trusted.clear();
    if (!m_changed)
        return true;
    std::vector<Stored> kept = std::move(m_stored);
    kept.reserve(kept.size() + size_t(m_added.size()));
    for (const Stored& entry : std::as_const(m_added))
        kept.push_back(entry);
    m_added.clear();
    if (qsizetype(kept.size()) > m_max) {
        // The most recently used first; the rest are dropped, here and on disk.
        std::nth_element(kept.begin(), kept.begin() + m_max, kept.end(),
                         [](const Stored& a, const Stored& b) { return a.used > b.used; });
        kept.resize(size_t(m_max));
    }
    std::sort(kept.begin(), kept.end(), byIdentity);
    m_stored = std::move(kept);
    Header header{};
    std::memcpy(header.magic, magic, sizeof magic);
    header.run = m_run;
    header.count = m_stored.size();
    std::vector<char> bytes(sizeof header + m_stored.size() * sizeof(Record));
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, m_stored.data(), m_stored.size() * sizeof(Record));
    const std::uint64_t sum = XXH3_64bits(bytes.data(), bytes.size());
    const char* sumBytes = reinterpret_cast<const char*>(&sum);
    bytes.insert(bytes.end(), sumBytes, sumBytes + sizeof sum);

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
    const bool ok = writeAll(fd.fd, bytes.data(), bytes.size()) &&
                    ::close(std::exchange(fd.fd, -1)) == 0 &&
                    ::rename(temporary.constData(), m_path.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    else
        m_changed = false;
    return ok;
}
