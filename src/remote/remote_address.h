#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A folder on another host, as scp and rsync write it ([user@]host:/path)
// or as desktops do (sftp://[user@]host[:port]/path). The path is bytes as
// the remote host names them; empty is the remote user's home.
struct RemoteAddress {
    QByteArray user, host;
    int port = 0; // 0: ssh's own choice
    QByteArray path;

    // As scp writes it, the port left to ssh's options.
    QByteArray written() const;
    bool operator==(const RemoteAddress&) const = default;
};

// `given` read as a remote folder, or nothing when it names a local one: a
// text with a colon stays local when it starts with "/" or "./", when its
// colon comes after a "/", or when a file of that name exists here.
std::optional<RemoteAddress> remoteAddress(const QString& given);
