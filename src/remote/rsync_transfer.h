#pragma once

#include <QByteArray>
#include <atomic>
#include <functional>
#include <vector>

class SshLink;

// Files copied between a local folder and a folder on the link's host by
// rsync over the link's own connection: the names (relative to both
// folders, folders among them copied whole) go NUL-separated on rsync's
// input (--files-from, --from0), the remote path through rsync's protocol,
// never through the remote shell. Times, modes and links are kept (-a).
struct RsyncTransfer {
    bool toHost = true; // else from it
    QByteArray localFolder, remoteFolder;
    std::vector<QByteArray> names;
    // Each entry as rsync finishes it, as rsync prints it (an unprintable
    // byte as "\#ooo"): for progress, not for reaching the file.
    std::function<void(const QByteArray&)> done;
    const std::atomic<bool>* cancel = nullptr;
};

// rsync's complaint, empty when every name was copied.
QByteArray rsyncFiles(const SshLink& link, const RsyncTransfer& transfer);
