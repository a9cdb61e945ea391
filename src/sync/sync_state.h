#pragma once

#include "compare/sorted_name_list.h"
#include "fs/file_system.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

// A file as it stood on both sides when a synchronisation left it the same
// there: two-way synchronisation tells by it which side changed a file since,
// and which side deleted it. Each side's whole identity, so that an edit in
// the second of the last run, or one that put the size and time back, is
// still a change.
struct SyncedFile {
    FileIdentity source, destination;
    // Read from a state of the first format, which kept only sizes and
    // whole seconds: compared by those until a run records it again.
    bool sizeAndSeconds = false;
    bool operator==(const SyncedFile&) const = default;
    // Whether the entry `now` on `side` is the file as it was left there.
    bool unchanged(Side side, const FileIdentity& now) const;
};

// What the last synchronisation of a pair of folders left the same on both
// sides, by path relative to the folders ("a/b/x.txt"). Kept in one small
// file per pair under $XDG_STATE_HOME (never in the folders themselves),
// named by a digest of both folders' paths, which it also holds, so a file
// of another pair is told apart.
class SyncState {
public:
    // The state file of two folders (their real paths when they resolve):
    // $XDG_STATE_HOME/Zelmar/Duoscope/sync-<digest>, ~/.local/state when unset.
    static QByteArray pathFor(const QByteArray& source, const QByteArray& destination);

    // The pair's state as the last run left it. None usable (no file, one
    // damaged, cut short, or of other folders) leaves it empty with `why`
    // saying so; else `why` is empty.
    static SyncState load(const QByteArray& source, const QByteArray& destination, QString& why);

    bool empty() const { return m_entries.empty(); }
    // The device each top folder was on at the last run (0: not known).
    dev_t sourceDevice = 0, destinationDevice = 0;
    // Whether the state was read from the first format (saved again in this one).
    bool upgraded = false;
    qsizetype count() const { return qsizetype(m_entries.size()); }
    // The file at that path, if the last run left it the same.
    std::optional<SyncedFile> find(QByteArrayView path) const;
    // Whether any file below the folder `path` ("a/b", no trailing "/") was left the same.
    bool anyBelow(QByteArrayView path) const;
    // Calls `each` with every file below the folder `path`.
    template <typename Each> void forEachBelow(QByteArrayView path, Each each) const {
        const QByteArray prefix = path.toByteArray() + '/';
        for (size_t i = lowerBound(prefix); i < m_entries.size() && name(i).startsWith(prefix); ++i)
            each(name(i), file(i));
    }

    // Adds a file (in any order, once each).
    void add(QByteArrayView path, const SyncedFile& file);
    // Writes the pair's state (a temporary file renamed over the old one):
    // nothing, or why it could not.
    FsResult save(const QByteArray& source, const QByteArray& destination);

private:
    // Each file's identities stay encoded as the file holds them (a loaded
    // state's records are the file's own bytes), decoded when asked for:
    // about a third of their size unpacked.
    struct Entry {
        quint32 at = 0;     // of its path in m_names, where the paths lie in the entries' order
        quint32 record = 0; // of its identities in m_records
    };
    QByteArrayView name(size_t i) const {
        const size_t end = i + 1 < m_entries.size() ? m_entries[i + 1].at : m_names.size();
        return {m_names.data() + m_entries[i].at, qsizetype(end - m_entries[i].at)};
    }
    SyncedFile file(size_t i) const;
    size_t lowerBound(QByteArrayView path) const;
    void sort();

    std::vector<Entry> m_entries; // sorted by path, byte by byte, once loaded or saved
    std::vector<char> m_names;
    QByteArray m_records;
    dev_t m_recordsTop = 0; // the Source device m_records' devices are differences from
};
