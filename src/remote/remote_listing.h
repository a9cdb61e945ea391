#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <ctime>
#include <functional>
#include <vector>

class SshLink;

// An entry as the host's GNU find tells it: its path below the folder
// listed ("" for that folder), its type letter (f file, d folder, l link,
// ...), what a link leads to (N nowhere, L a loop, ? unknown; else a type
// letter, the entry's own for anything but a link), and its identity to the
// nanosecond.
struct RemoteEntry {
    QByteArray path;
    char type = 0, target = 0;
    qint64 size = 0;
    struct timespec modified {
    }, changed{};
    quint32 mode = 0;
    quint64 device = 0, inode = 0;
    QByteArray linkTarget; // of a link
};

// Reads find's records as they come, in pieces of any size: each whole one
// is handed on; a record that does not parse ends the listing as unreadable.
class RemoteListingReader {
public:
    explicit RemoteListingReader(std::function<void(const RemoteEntry&)> entry)
        : m_entry(std::move(entry)) {}
    void feed(QByteArrayView bytes);
    // Whether everything fed parsed into whole records.
    bool complete() const { return !m_failed && m_pending.isEmpty(); }

private:
    bool parse(QByteArrayView record, RemoteEntry& e) const;
    std::function<void(const RemoteEntry&)> m_entry;
    QByteArray m_pending;
    bool m_failed = false;
};

// find's -printf argument (in double quotes) for one record, `path` the
// directive of its path (%p as given, %P below the folder listed).
QByteArray remoteRecordFormat(const char* path);

// The remote command that lists each folder named on its standard input
// (NUL-separated, each starting with "/" or "./"): the folder, then every
// entry below it, or only those
// `levels` deep (1: its own); with `follow`, a link as what it leads to (its
// own stats where it leads nowhere).
QByteArray remoteListingCommand(int levels, bool follow = false);
// The remote command that tells the entries named on its standard input
// (paths starting with "/" or "./"), each record's path as given; with
// `follow`, a link named is followed.
QByteArray remoteStatCommand(bool follow);

// Lists `folder` on the link's host into `entry`, as the entries arrive.
// Returns ssh's or find's complaint, empty when the listing is whole.
QByteArray listRemote(const SshLink& link, const QByteArray& folder, int levels,
                      const std::function<void(const RemoteEntry&)>& entry,
                      const std::atomic<bool>* cancel = nullptr, bool follow = false);
// The same for several folders in one command, one after the other, each
// begun by its own record (path "").
QByteArray listRemote(const SshLink& link, const std::vector<QByteArray>& folders, int levels,
                      const std::function<void(const RemoteEntry&)>& entry,
                      const std::atomic<bool>* cancel = nullptr, bool follow = false);
