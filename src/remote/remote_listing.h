#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <atomic>
#include <ctime>
#include <functional>

class SshLink;

// An entry as the host's GNU find tells it: its path below the folder
// listed, its type letter (f file, d folder, l link, ...), and its identity
// to the nanosecond.
struct RemoteEntry {
    QByteArray path;
    char type = 0;
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

// The remote command that lists each folder named on its standard input
// (NUL-separated): every entry below it, or with `oneLevel` only its own.
QByteArray remoteListingCommand(bool oneLevel);

// Lists `folder` on the link's host into `entry`, as the entries arrive.
// Returns ssh's or find's complaint, empty when the listing is whole.
QByteArray listRemote(const SshLink& link, const QByteArray& folder, bool oneLevel,
                      const std::function<void(const RemoteEntry&)>& entry,
                      const std::atomic<bool>* cancel = nullptr);
