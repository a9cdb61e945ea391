#pragma once

#include <QByteArray>
#include <QHash>
#include <cstdint>
#include <optional>
#include <sys/stat.h>
#include <vector>

// What a file's contents were last seen as, by its identity: the device,
// inode, size, and modification and change times to the nanosecond. A write
// moves the change time even when the modification time is set back, so an
// entry that still matches a file's stat describes its contents.
struct ContentKey {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modifiedNs = 0, changedNs = 0;
    bool operator==(const ContentKey&) const = default;
};
ContentKey contentKey(const struct stat& st);
size_t qHash(const ContentKey& id, size_t seed = 0);

// XXH3's 128-bit digest of a file's bytes: fast enough to cost less than
// the reading, wide enough that two files of equal digest are equal.
struct ContentDigest {
    std::uint64_t low = 0, high = 0;
    bool operator==(const ContentDigest&) const = default;
};

// The digests of files already read, kept in one file under the user's
// cache folder between runs. A cache file that is not one this program
// wrote whole (another format, cut short, a bad checksum) is ignored and
// written anew; anything but a regular file there (a link, a FIFO) is
// ignored and left alone. Past `maxEntries` the entries used longest ago are dropped.
// The entries read stay in the file's own sorted array, looked up by binary
// search, and the file is written again only when entries were added: a run
// that only finds digests costs one read of the file, whatever its size.
// One thread uses it at a time.
class DigestCache {
public:
    // `path` empty: $XDG_CACHE_HOME/duoscope/digests, or ~/.cache/... when unset.
    explicit DigestCache(QByteArray path = {}, qsizetype maxEntries = 500000);

    // A digest is trusted only for a file unchanged for `settleNs` before it
    // was read: a write within the same tick of the file system's clock could
    // leave its times as they were.
    void setSettleTime(std::int64_t settleNs) { m_settleNs = settleNs; }

    // Whether digests of files on `device` may be found and kept (`fd` is
    // open on that file system): not where a server keeps the change times,
    // which may stay as they were over a change. Looked at once per device
    // until the next save().
    bool trusts(std::uint64_t device, int fd);

    // The digest of the file of that identity, if known; read from disk the
    // first time.
    std::optional<ContentDigest> find(const ContentKey& id);
    // A file's digest, read at `readAtNs` (CLOCK_REALTIME) from a file of that identity.
    void insert(const ContentKey& id, const ContentDigest& digest, std::int64_t readAtNs);
    // Writes the entries out if any changed (a new file, renamed over the old).
    bool save();

    qsizetype count() const { return qsizetype(m_stored.size()) + m_added.size(); }
    // Whether the file read was ignored as not a cache file of ours.
    bool foundForeign() const { return m_foreign; }
    const QByteArray& path() const { return m_path; }

private:
    // As the file holds it.
    struct Stored {
        ContentKey id;
        std::uint64_t used = 0; // the run that last used it
        ContentDigest digest;
    };
    void load();
    Stored* stored(const ContentKey& id);

    QByteArray m_path;
    qsizetype m_max;
    std::int64_t m_settleNs = 1000000000;
    std::vector<Stored> m_stored;         // sorted by identity
    QHash<ContentKey, Stored> m_added;    // since the file was read
    QHash<std::uint64_t, bool> m_trusted; // by device
    std::uint64_t m_run = 1;
    bool m_loaded = false, m_changed = false, m_foreign = false;
};

// The current time for DigestCache::insert().
std::int64_t realTimeNs();
