#pragma once

#include <QByteArray>
#include <QHash>
#include <atomic>
#include <vector>

class SshLink;

// SHA-256 digests of many files of one remote folder in one command, read
// where they lie: the names (relative to `folder`, as a listing gave them)
// go NUL-separated on the command's input, the digests come back by name.
// A file that could not be read has none. Returns ssh's or the host's
// complaint, empty when every file was read.
QByteArray remoteDigests(const SshLink& link, const QByteArray& folder,
                         const std::vector<QByteArray>& names,
                         QHash<QByteArray, QByteArray>& digests,
                         const std::atomic<bool>* cancel = nullptr);
