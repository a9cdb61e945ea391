#include "core/digest_cache.h"

#include "core/unique_fd.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
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
    const UniqueFd fd{::open(m_path.constData(), O_RDONLY | O_CLOEXEC)};
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0)
        return; // none yet
    std::vector<char> bytes(size_t(st.st_size));
    Header header{};
    const size_t fixed = sizeof header + sizeof(std::uint64_t);
    bool whole = bytes.size() >= fixed && readAll(fd.fd, bytes.data(), bytes.size());
    if (whole) {
        std::memcpy(&header, bytes.data(), sizeof header);
        std::uint64_t sum = 0;
        std::memcpy(&sum, bytes.data() + bytes.size() - sizeof sum, sizeof sum);
        whole = std::memcmp(header.magic, magic, sizeof magic) == 0 &&
                header.count == (bytes.size() - fixed) / sizeof(Record) &&
                (bytes.size() - fixed) % sizeof(Record) == 0 &&
                XXH3_64bits(bytes.data(), bytes.size() - sizeof sum) == sum;
    }
    if (!whole) {
        m_foreign = m_changed = true; // written anew on the next save
        return;
    }
    m_run = header.run + 1;
    m_entries.reserve(qsizetype(header.count));
    const char* at = bytes.data() + sizeof header;
    for (std::uint64_t i = 0; i < header.count; ++i, at += sizeof(Record)) {
        Record r{};
        std::memcpy(&r, at, sizeof r);
        m_entries.insert({r.device, r.inode, r.size, r.modifiedNs, r.changedNs},
                         {{r.low, r.high}, r.used});
    }
}

std::optional<ContentDigest> DigestCache::find(const ContentKey& id) {
    if (!m_loaded)
        load();
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return std::nullopt;
    if (it->used != m_run) {
        it->used = m_run;
        m_changed = true;
    }
    return it->digest;
}

void DigestCache::insert(const ContentKey& id, const ContentDigest& digest, std::int64_t readAtNs) {
    if (!m_loaded)
        load();
    if (readAtNs - std::max(id.modifiedNs, id.changedNs) < m_settleNs)
        return;
    m_entries.insert(id, {digest, m_run});
    m_changed = true;
}

bool DigestCache::save() {
    if (!m_changed)
        return true;
    std::vector<std::pair<ContentKey, Entry>> kept;
    kept.reserve(size_t(m_entries.size()));
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        kept.emplace_back(it.key(), it.value());
    if (qsizetype(kept.size()) > m_max) {
        // The most recently used first; the rest are dropped, here and on disk.
        std::nth_element(
            kept.begin(), kept.begin() + m_max, kept.end(),
            [](const auto& a, const auto& b) { return a.second.used > b.second.used; });
        kept.resize(size_t(m_max));
        m_entries.clear();
        for (const auto& [id, entry] : kept)
            m_entries.insert(id, entry);
    }
    Header header{};
    std::memcpy(header.magic, magic, sizeof magic);
    header.run = m_run;
    header.count = kept.size();
    std::vector<char> bytes(sizeof header + kept.size() * sizeof(Record));
    std::memcpy(bytes.data(), &header, sizeof header);
    char* at = bytes.data() + sizeof header;
    for (const auto& [id, entry] : kept) {
        const Record r{id.device,    id.inode,   id.size,          id.modifiedNs,
                       id.changedNs, entry.used, entry.digest.low, entry.digest.high};
        std::memcpy(at, &r, sizeof r);
        at += sizeof r;
    }
    const std::uint64_t sum = XXH3_64bits(bytes.data(), bytes.size());
    const char* sumBytes = reinterpret_cast<const char*>(&sum);
    bytes.insert(bytes.end(), sumBytes, sumBytes + sizeof sum);

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
