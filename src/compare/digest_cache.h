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
// The file is mapped and searched in place (its entries are sorted), each
// block of entries checked against its checksum when first touched, so a
// run reads only the pages it looks at. New digests wait in a buffer of at
// most `bufferEntries`, spilled sorted to an unnamed side file when full,
// and the file is merged with them when saved: memory stays flat whatever
// the number of files. A run that only finds digests leaves the file as it
// was. One thread uses it at a time.
class DigestCache {
public:
    // `path` empty: $XDG_CACHE_HOME/duoscope/digests, or ~/.cache/... when unset.
    explicit DigestCache(QByteArray path = {}, qsizetype maxEntries = 500000,
                         qsizetype bufferEntries = 16384);
    ~DigestCache();
    DigestCache(const DigestCache&) = delete;
    DigestCache& operator=(const DigestCache&) = delete;

    // A digest is trusted only for a file unchanged for `settleNs` before it
    // was read: a write within the same tick of the file system's clock could
    // leave its times as they were.
    void setSettleTime(std::int64_t settleNs) { m_settleNs = settleNs; }

    // Whether digests of files on `device` may be found and kept (`fd` is
    // open on that file system): not where a server keeps the change times,
    // which may stay as they were over a change. Looked at once per device
    // until the next save().
    bool trusts(std::uint64_t device, int fd);

    // The digest of the file of that identity, if known. A digest spilled
    // in this run is found again only after the save. Each `finger` (below
    // `fingers`) searches out from where it last found: a caller that looks
    // up one tree's files with one finger, in listing order, mostly finds
    // the next entry a step away.
    static constexpr int fingers = 2;
    std::optional<ContentDigest> find(const ContentKey& id, int finger = 0);
    // A file's digest, read at `readAtNs` (CLOCK_REALTIME) from a file of that identity.
    void insert(const ContentKey& id, const ContentDigest& digest, std::int64_t readAtNs,
                int finger = 0);
    // Writes the entries out if any changed (a new file, renamed over the old);
    // the next use reads that file.
    bool save();

    // The entries the file held and those added since.
    qsizetype count();
    // Whether the file read was ignored as not a cache file of ours.
    bool foundForeign() const { return m_foreign; }
    const QByteArray& path() const { return m_path; }

    // As the file holds it.
    struct Stored {
        ContentKey id;
        std::uint64_t used = 0; // the run that last used it
        ContentDigest digest;
    };

private:
    void load();
    void forget(); // the file's entries, as when none was read
    bool blockSound(size_t block);
    const Stored* stored(const ContentKey& id, size_t& at, int finger);
    void spill();
    std::uint64_t usedOf(size_t at) const;
    bool writeMerged(int fd);

    QByteArray m_path;
    qsizetype m_max, m_bufferMax;
    std::int64_t m_settleNs = 1000000000;
    // The file's entries, sorted by identity: mapped, or read whole from a
    // file of the first format (whose blocks have no checksums of their own).
    const Stored* m_records = nullptr;
    size_t m_recordCount = 0;
    void* m_map = nullptr;
    size_t m_mapSize = 0;
    std::vector<Stored> m_readWhole;
    const std::uint64_t* m_blockSums = nullptr;
    std::vector<bool> m_blockChecked;
    size_t m_finger[fingers] = {}; // where each finger last found, or would have
    std::vector<bool> m_found;     // by record: used in this run
    // The digests added since the file was read and not yet spilled, in
    // one block kept for the whole run (sorted in place to be spilled or
    // merged), found by identity through an index of their positions that
    // grows with them: a small run touches only the little memory it fills.
    class Added {
    public:
        const Stored* find(const ContentKey& id) const;
        void put(const Stored& entry, size_t most); // over one of the same identity
        size_t size() const { return m_entries.size(); }
        // In identity order; nothing is found again until clear().
        std::vector<Stored>& sorted();
        void clear();   // the block is kept
        void release(); // and given back

    private:
        void place(std::uint32_t at);
        std::vector<Stored> m_entries;
        std::vector<std::uint32_t> m_slots; // an entry's position + 1, or 0
    };
    Added m_added;
    int m_spill = -1;                                            // sorted runs of added entries
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_runs; // first record, count
    std::uint64_t m_spilled = 0;
    std::uint64_t m_replaced = 0;         // added over an identity the file holds
    QHash<std::uint64_t, bool> m_trusted; // by device
    std::uint64_t m_run = 1;
    bool m_loaded = false, m_changed = false, m_foreign = false;
};

// The current time for DigestCache::insert().
std::int64_t realTimeNs();
