#include "sync/sync_state.h"

#include "base/name_text.h"
#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

// The file: this magic, both folders' paths, each top folder's device, the
// number of entries, the entries sorted by path (each path as the bytes it
// shares with the one before and the rest, a byte of flags, then each side's
// identity), then XXH3-64 of all that went before. Numbers are
// variable-length integers, most of them differences from a number written
// before (a device from its top's, a change time from the modification time,
// Destination's from Source's), so a file takes about 40 bytes.
// The first format (last byte 1) had no devices nor flags, and of each side
// only the size and the modification time in whole seconds.
constexpr char magic[8] = {'D', 'S', 'S', 'Y', 'N', 'C', 0, 2};
constexpr char firstFormat = 1;
constexpr quint8 sizeAndSecondsFlag = 1;

void putNumber(QByteArray& out, quint64 n) {
    do {
        out += char((n & 0x7f) | (n > 0x7f ? 0x80 : 0));
        n >>= 7;
    } while (n);
}

void putSigned(QByteArray& out, qint64 n) {
    putNumber(out, (quint64(n) << 1) ^ quint64(n >> 63));
}

void putBytes(QByteArray& out, QByteArrayView bytes) {
    putNumber(out, quint64(bytes.size()));
    out += bytes;
}

// Reads what putNumber and the others wrote; once anything is missing or
// out of bounds every later read fails too.
// The state file's bytes, read at its size in one go; anything but a regular
// file there (a FIFO would block, a link lead elsewhere) counts as none.
bool readStateFile(const QByteArray& path, QByteArray& bytes) {
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // At its size exactly: resize() would round the block up to the next power of two.
    bytes = QByteArray(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    bytes.truncate(done);
    return true;
}

class Reader {
public:
    explicit Reader(QByteArrayView bytes)
        : m_at(bytes.data()), m_end(bytes.data() + bytes.size()) {}
    bool ok() const { return m_ok; }
    quint64 number() {
        quint64 n = 0;
        for (int shift = 0; m_ok && shift < 64; shift += 7) {
            if (m_at == m_end)
                break;
            const quint8 byte = quint8(*m_at++);
            n |= quint64(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return n;
        }
        m_ok = false;
        return 0;
    }
    qint64 signedNumber() {
        const quint64 n = number();
        return qint64(n >> 1) ^ -qint64(n & 1);
    }
    QByteArrayView bytes(quint64 size) {
        if (!m_ok || size > quint64(m_end - m_at)) {
            m_ok = false;
            return {};
        }
        m_at += size;
        return {m_at - size, qsizetype(size)};
    }
    QByteArrayView bytes() { return bytes(number()); }
    bool atEnd() const { return m_at == m_end; }
    const char* position() const { return m_at; }

private:
    const char* m_at;
    const char* m_end;
    bool m_ok = true;
};

// One side's identity, its numbers as differences from `near` (the other
// side's, or the top folder's device and zero times). Differences wrap
// around 64 bits, so every value comes back as it was.
void putIdentity(QByteArray& out, const FileIdentity& id, const FileIdentity& near) {
    const auto from = [](auto a, auto b) { return qint64(quint64(a) - quint64(b)); };
    putNumber(out, quint64(id.size));
    putSigned(out, from(id.device, near.device));
    putNumber(out, quint64(id.inode));
    putSigned(out, from(id.modified.tv_sec, near.modified.tv_sec));
    putNumber(out, quint64(id.modified.tv_nsec));
    putSigned(out, from(id.changed.tv_sec, id.modified.tv_sec));
    putNumber(out, quint64(id.changed.tv_nsec));
}

FileIdentity readIdentity(Reader& in, const FileIdentity& near) {
    const auto plus = [&in](auto base) {
        return decltype(base)(quint64(base) + quint64(in.signedNumber()));
    };
    FileIdentity id;
    id.size = off_t(in.number());
    id.device = plus(near.device);
    id.inode = ino_t(in.number());
    id.modified.tv_sec = plus(near.modified.tv_sec);
    id.modified.tv_nsec = long(in.number());
    id.changed.tv_sec = plus(id.modified.tv_sec);
    id.changed.tv_nsec = long(in.number());
    return id;
}

// An entry's record: a byte of flags, then Source's identity (its device
// from the top folder's) and Destination's (from Source's).
void putRecord(QByteArray& out, const SyncedFile& f, dev_t top) {
    FileIdentity near;
    near.device = top;
    putNumber(out, f.sizeAndSeconds ? sizeAndSecondsFlag : 0);
    putIdentity(out, f.source, near);
    putIdentity(out, f.destination, f.source);
}

SyncedFile readRecord(Reader& in, dev_t top) {
    SyncedFile f;
    FileIdentity near;
    near.device = top;
    f.sizeAndSeconds = in.number() & sizeAndSecondsFlag;
    f.source = readIdentity(in, near);
    f.destination = readIdentity(in, f.source);
    return f;
}

// A record of the first format: each side's size and whole seconds.
SyncedFile readFirstFormatRecord(Reader& in) {
    SyncedFile f;
    f.sizeAndSeconds = true;
    f.source.size = off_t(in.number());
    f.source.modified.tv_sec = in.signedNumber();
    f.destination.size = off_t(in.number());
    f.destination.modified.tv_sec = f.source.modified.tv_sec + in.signedNumber();
    return f;
}

// A folder as the state names it: its real path, so other spellings of it
// (relative, through a link) find the same state.
QByteArray realFolder(const QByteArray& folder) {
    char* real = ::realpath(folder.constData(), nullptr);
    if (!real)
        return QDir::cleanPath(QDir::current().absoluteFilePath(QFile::decodeName(folder)))
            .toLocal8Bit();
    QByteArray path(real);
    std::free(real);
    return path;
}

QByteArray pairKey(const QByteArray& source, const QByteArray& destination) {
    QByteArray key;
    putBytes(key, realFolder(source));
    putBytes(key, realFolder(destination));
    return key;
}

QString ignored(const QByteArray& file, const QString& why) {
    return QStringLiteral("The record of the last synchronization of these folders (%1) %2 and "
                          "was ignored: the plan updates both sides.")
        .arg(nameText(file), why);
}

} // namespace

QByteArray SyncState::pathFor(const QByteArray& source, const QByteArray& destination) {
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (base.isEmpty() || !base.startsWith('/'))
        base = qgetenv("HOME") + "/.local/state";
    const QByteArray key = pairKey(source, destination);
    const XXH128_hash_t digest = XXH3_128bits(key.constData(), size_t(key.size()));
    return base + "/Zelmar/Duoscope/sync-" +
           QByteArray::number(digest.high64, 16).rightJustified(16, '0') +
           QByteArray::number(digest.low64, 16).rightJustified(16, '0');
}

SyncState SyncState::load(const QByteArray& source, const QByteArray& destination, QString& why) {
    const QByteArray path = pathFor(source, destination);
    SyncState state;
    QByteArray bytes;
    if (!readStateFile(path, bytes)) {
        why = QStringLiteral(
            "No earlier synchronization of these folders: the plan updates both sides.");
        return state;
    }
    const qsizetype body = bytes.size() - qsizetype(sizeof(quint64));
    quint64 sum = 0;
    if (body < qsizetype(sizeof magic) || std::memcmp(bytes.constData(), magic, sizeof magic - 1) ||
        (bytes[sizeof magic - 1] != magic[sizeof magic - 1] &&
         bytes[sizeof magic - 1] != firstFormat)) {
        why = ignored(path, QStringLiteral("is not one this program wrote"));
        return state;
    }
    std::memcpy(&sum, bytes.constData() + body, sizeof sum);
    if (XXH3_64bits(bytes.constData(), size_t(body)) != sum) {
        why = ignored(path, QStringLiteral("is damaged or cut short"));
        return state;
    }
    state.upgraded = bytes[sizeof magic - 1] == firstFormat;
    Reader in(QByteArrayView(bytes).first(body).sliced(sizeof magic));
    const QByteArray key = pairKey(source, destination);
    const QByteArrayView sourceSeen = in.bytes(), destinationSeen = in.bytes();
    QByteArray seen;
    putBytes(seen, sourceSeen);
    putBytes(seen, destinationSeen);
    if (in.ok() && seen != key) {
        why = ignored(path, QStringLiteral("is of other folders, %1 and %2,")
                                .arg(nameText(sourceSeen.toByteArray()),
                                     nameText(destinationSeen.toByteArray())));
        return state;
    }
    if (!state.upgraded) {
        state.sourceDevice = dev_t(in.number());
        state.destinationDevice = dev_t(in.number());
    }
    const quint64 count = in.number();
    // Each entry takes a few bytes of the file at least: a count beyond that
    // is a damaged one, found below, not a reason to reserve it.
    state.m_entries.reserve(size_t(std::min<quint64>(count, quint64(body))));
    // Where each entry and its record lie in the file first, each checked,
    // so that the paths are then made whole at their size known.
    quint64 names = 0, length = 0;
    for (quint64 i = 0; in.ok() && i < count; ++i) {
        const char* entry = in.position();
        const quint64 shared = in.number();
        const quint64 rest = quint64(in.bytes().size());
        if (shared > length)
            break;
        length = shared + rest;
        names += length;
        const char* record = in.position();
        if (state.upgraded)
            readFirstFormatRecord(in);
        else
            readRecord(in, state.sourceDevice);
        state.m_entries.push_back(
            {quint32(entry - bytes.constData()), quint32(record - bytes.constData())});
    }
    if (!in.ok() || !in.atEnd() || state.count() != qsizetype(count) ||
        quint64(bytes.size()) > UINT32_MAX || names > UINT32_MAX) {
        why = ignored(path, QStringLiteral("is damaged or cut short"));
        return {};
    }
    // The paths made whole, and the records moved up over what is not
    // theirs (the header, the paths, the sum), in the file's order.
    state.m_names.resize(size_t(names));
    size_t at = 0, before = 0;
    qsizetype kept = 0;
    for (size_t k = 0; k < state.m_entries.size(); ++k) {
        Entry& e = state.m_entries[k];
        Reader piece(QByteArrayView(bytes).sliced(e.at));
        const size_t shared = size_t(piece.number());
        const QByteArrayView rest = piece.bytes();
        char* name = state.m_names.data() + at;
        std::memcpy(name, state.m_names.data() + before, shared);
        std::memcpy(name + shared, rest.data(), size_t(rest.size()));
        before = at;
        e.at = quint32(at);
        at += shared + size_t(rest.size());
        const qsizetype end = k + 1 < state.m_entries.size() ? state.m_entries[k + 1].at : body;
        const qsizetype record = e.record;
        if (state.upgraded) {
            // Kept as this format's records, as any added later are.
            Reader old(QByteArrayView(bytes).first(end).sliced(record));
            const SyncedFile f = readFirstFormatRecord(old);
            e.record = quint32(state.m_records.size());
            putRecord(state.m_records, f, 0);
        } else {
            std::memmove(bytes.data() + kept, bytes.constData() + record, size_t(end - record));
            e.record = quint32(kept);
            kept += end - record;
        }
    }
    if (!state.upgraded) {
        bytes.truncate(kept);
        bytes.squeeze();
        state.m_records = std::move(bytes);
        state.m_recordsTop = state.sourceDevice;
    }
    state.sort();
    return state;
}

bool SyncedFile::unchanged(Side side, const FileIdentity& now) const {
    const FileIdentity& was = side == Side::Source ? source : destination;
    if (sizeAndSeconds)
        return now.size == was.size && now.modified.tv_sec == was.modified.tv_sec;
    return now == was;
}

void SyncState::add(QByteArrayView path, const SyncedFile& file) {
    m_entries.push_back({quint32(m_names.size()), quint32(m_records.size())});
    m_names.insert(m_names.end(), path.begin(), path.end());
    putRecord(m_records, file, m_recordsTop);
}

SyncedFile SyncState::file(size_t i) const {
    Reader in(QByteArrayView(m_records).sliced(m_entries[i].record));
    return readRecord(in, m_recordsTop);
}

void SyncState::sort() {
    std::vector<size_t> order(m_entries.size());
    std::iota(order.begin(), order.end(), size_t(0));
    const auto byName = [this](size_t a, size_t b) { return name(a) < name(b); };
    if (std::is_sorted(order.begin(), order.end(), byName))
        return;
    std::sort(order.begin(), order.end(), byName);
    // The paths laid out again in the entries' new order.
    std::vector<Entry> entries;
    std::vector<char> names;
    entries.reserve(m_entries.size());
    names.reserve(m_names.size());
    for (const size_t i : order) {
        const QByteArrayView path = name(i);
        entries.push_back({quint32(names.size()), m_entries[i].record});
        names.insert(names.end(), path.begin(), path.end());
    }
    m_entries = std::move(entries);
    m_names = std::move(names);
}

size_t SyncState::lowerBound(QByteArrayView path) const {
    const auto it = std::partition_point(m_entries.begin(), m_entries.end(), [&](const Entry& e) {
        return name(size_t(&e - m_entries.data())) < path;
    });
    return size_t(it - m_entries.begin());
}

std::optional<SyncedFile> SyncState::find(QByteArrayView path) const {
    const size_t i = lowerBound(path);
    if (i < m_entries.size() && name(i) == path)
        return file(i);
    return std::nullopt;
}

bool SyncState::anyBelow(QByteArrayView path) const {
    const QByteArray prefix = path.toByteArray() + '/';
    const size_t i = lowerBound(prefix);
    return i < m_entries.size() && name(i).startsWith(prefix);
}

FsResult SyncState::save(const QByteArray& source, const QByteArray& destination) {
    sort();
    QByteArray out;
    // About the size it takes, so that it does not grow by doubling.
    out.reserve(qsizetype(sizeof magic + 64) + m_records.size() + qsizetype(m_names.size()));
    out.append(magic, sizeof magic);
    out += pairKey(source, destination);
    putNumber(out, quint64(sourceDevice));
    putNumber(out, quint64(destinationDevice));
    putNumber(out, m_entries.size());
    QByteArrayView before;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const QByteArrayView path = name(i);
        const auto differ = std::mismatch(path.begin(), path.end(), before.begin(), before.end());
        const qsizetype shared = differ.first - path.begin();
        putNumber(out, quint64(shared));
        putBytes(out, path.sliced(shared));
        putRecord(out, file(i), sourceDevice);
        before = path;
    }
    const quint64 sum = XXH3_64bits(out.constData(), size_t(out.size()));
    out.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    const QByteArray path = pathFor(source, destination);
    QDir().mkpath(QFile::decodeName(FileSystem::parentFolder(path)));
    return FileSystem::replaceFile(path, out, 0600, false);
}
