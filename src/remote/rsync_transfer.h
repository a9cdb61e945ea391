#pragma once

#include <QByteArray>
#include <atomic>
#include <functional>
#include <vector>

class SshLink;

// Files copied between a local folder and a folder on the link's host by
// rsync over the link's own connection: the names (relative to both
// folders) go NUL-separated on rsync's input (--files-from, --from0), the
// remote path through rsync's protocol, never through the remote shell.
// Times, modes and links are kept (-a).
struct RsyncTransfer {
    bool toHost = true; // else from it
    QByteArray localFolder, remoteFolder;
    std::vector<QByteArray> names;
    // Each entry as rsync finishes it, as rsync prints it (an unprintable
    // byte as "\#ooo", see rsyncName()): for progress, not for reaching the file.
    std::function<void(const QByteArray&)> done;
    const std::atomic<bool>* cancel = nullptr;
    // The local folder held open here, reached through it rather than by
    // its path (-1: by `localFolder`).
    int localFd = -1;
    // Folders named are copied whole (-r); every file named is sent even
    // where one of the same size and time is there (-I); no folder above
    // a name is touched (--no-implied-dirs).
    bool whole = false;
    // ACLs and extended attributes too (-A -X), where both ends keep them.
    bool aclsAndAttributes = false;
    // Asked while it runs: true stops it, its file in progress not kept.
    std::function<bool()> stop = {};
};

// rsync's complaint, empty when every name was copied.
QByteArray rsyncFiles(const SshLink& link, const RsyncTransfer& transfer);

// A name as rsync printed it, its "\#ooo" escapes read back into bytes.
QByteArray rsyncName(QByteArrayView printed);

// What rsync at both ends of the link can do, asked once a link: `missing`
// names what is not there ("the host has no rsync"), empty when both ends
// have it; `aclsAndAttributes` when both keep ACLs and extended attributes.
struct RsyncEnds {
    QByteArray missing;
    bool aclsAndAttributes = false;
};
RsyncEnds rsyncEnds(const SshLink& link);
