#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <ctime>
#include <optional>
#include <sys/types.h>

// What a property sheet tells about a file or a folder, read from disk.
struct FileProperties {
    QString name;     // the last component ("/" for the root)
    QString folder;   // the absolute folder that holds it ("" for the root)
    QString typeName; // the content type's description, in the user's language
    bool isFolder = false;
    qint64 size = 0;    // bytes, for a file
    int itemCount = -1; // entries, for a folder; -1 when it cannot be read
    std::time_t modified = 0;
    mode_t mode = 0; // permission bits, with set-id and sticky bits
    QString owner;   // user name, or the number when it has none
    QString group;   // group name, or the number when it has none
};

// The absolute, clean form of `path`, resolved against the working folder
// when relative. A trailing "/" is dropped, except for the root.
QString absolutePath(const QString& path);

// A file URL that reaches `path` whatever characters it holds ("#", "%", " ").
QUrl localFileUrl(const QString& path);
// The same for a path given as the bytes that name it on disk, which need not
// be valid text.
QUrl localFileUrl(const QByteArray& path);

// Reads the properties of the file or folder at `path`; nothing when there is
// no such entry. A link is described by what it leads to, or as itself when
// it leads nowhere.
std::optional<FileProperties> readFileProperties(const QString& path);
// The same for a path given as bytes; names that are not valid UTF-8 show
// their stray bytes as "\xNN".
std::optional<FileProperties> readFileProperties(const QByteArray& path);

// The permission bits as a listing shows them: "rwxr-xr-x", with "s"/"S" and
// "t"/"T" for the set-id and sticky bits.
QString permissionsText(mode_t mode);
// The permission bits in octal, four digits: "0644", "4755".
QString permissionsOctal(mode_t mode);
