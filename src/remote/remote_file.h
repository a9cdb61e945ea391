#pragma once

#include <QByteArray>

class SshLink;

// A file on the link's host as the file view takes it: brought into a local
// folder to be read and edited, and sent back only over the file that was
// brought. Its identity (device, inode, size, modification and change times
// to the nanosecond, as the host's find tells them) is what "the same file"
// means; the name travels as data, never through the remote shell.
struct RemoteFileCopy {
    QByteArray remoteFolder, name; // where it lies on the host
    QByteArray localPath;          // the copy here
    QByteArray identity;           // as find told it when it was brought
};

// Brings `copy.name` of `copy.remoteFolder` into `localFolder` by rsync,
// filling in the rest of `copy`. Returns the complaint, empty when it was
// brought whole and did not change while it was.
QByteArray fetchRemoteFile(const SshLink& link, const QByteArray& localFolder,
                           RemoteFileCopy& copy);

// The identity of the file `name` in `folder` on the host, as `identity`
// above; empty, with `complaint`, when it cannot be told.
QByteArray remoteIdentity(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          QByteArray& complaint);

enum class RemotePut { Written, Changed, Failed };

// Sends the bytes at `copy.localPath` back over the remote file: to a
// temporary beside it first, which then takes the file's name only if the
// file is still the one brought, or, with `replaceChanged`, whatever it is
// now (the user was asked). The temporary never stays. `copy.identity` is
// then the written file's.
RemotePut putRemoteFile(const SshLink& link, RemoteFileCopy& copy, bool replaceChanged,
                        QByteArray& complaint);
