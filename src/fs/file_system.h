#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <sys/types.h>
#include <vector>

struct stat;

// Attribute bits of a directory entry, as the listing mask and the file
// commands use them.
namespace Attr {
constexpr int ReadOnly = 1;
constexpr int Hidden = 2;
constexpr int System = 4;
constexpr int Folder = 16;
constexpr int Archive = 32;
constexpr int All = ReadOnly | Hidden | System | Archive; // 39: every file
} // namespace Attr

// A file-system failure: the operating-system error number, the file it
// concerns and the reason in words.
class FsError : public std::runtime_error {
public:
    FsError(int number, QString path, QString reason);
    static FsError fromErrno(int err, const QString& path);

    int number() const { return m_number; }
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }
    // "path: reason", the text shown to the user.
    QString description() const;

private:
    int m_number;
    QString m_path;
    QString m_reason;
};

// The outcome of an operation that changes the file system. Callers must look.
class [[nodiscard]] FsResult {
public:
    FsResult() = default;
    FsResult(FsError error) : m_failed(true), m_error(std::move(error)) {}
    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const FsError& error() const { return m_error; }

private:
    bool m_failed = false;
    FsError m_error{0, {}, {}};
};

// Where a file is: the bytes of its folder (as a folder box gave them, with
// or without a trailing "/") and the bytes of its name. The file commands
// carry this from a pane's row or the clipboard down to the system calls;
// text is made of it only to show it.
struct FileLocation {
    QByteArray folder;
    QByteArray name;

    // The folder, a "/" unless it ends with one, then the name.
    QByteArray path() const;
    // The path as the program shows it.
    QString text() const;
    // The location of `path`: the folder above it and its last name.
    static FileLocation of(const QByteArray& path);
};

// One entry as it stands: device, inode, length, modification and change
// time to the nanosecond. An entry changed or put at the name since, even
// one given a freed inode's number again or rewritten in place with its
// length and time put back (the change time cannot be put back), is told apart.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    struct timespec changed {};

    static FileIdentity of(const struct stat& st);
    // Of the entry itself (a link is not followed); nothing, with errno set,
    // when there is none.
    static std::optional<FileIdentity> of(const QByteArray& path);
    // The same for the entry `name` of the folder open at `dirFd`.
    static std::optional<FileIdentity> at(int dirFd, const char* name);
    // All five the same.
    bool operator==(const FileIdentity& o) const;
    // The same but for the change time, which a rename or a link count
    // changes: for an entry the program itself renames or links since.
    bool sameButChange(const FileIdentity& o) const;
};

struct FileStat {
    qint64 size = 0;
    std::time_t modified = 0; // seconds since the epoch
    bool folder = false;      // the path leads to a folder
    // A link that leads to no file (nowhere, round in a loop, through a file
    // or into a folder that cannot be entered): size and time are its own.
    bool dangling = false;
    // The entry's whole identity, where a listing keeps it (ScanOptions::identities).
    std::optional<FileIdentity> identity = std::nullopt;
};

// Paths are byte paths; text paths are the program's name text of them
// (see name_text.h) and are turned into bytes by encode().
namespace FileSystem {

// The program's own temporaries (below) are never listed (see listFiles in
// folder_scan.h). One that no running copy holds locked was left by a copy
// that never finished: a copy's temporary is removed, a moved file's source
// set aside gets its name back (or, where that is taken, the first free copy
// name, and a note for takeLeftoverNotes() tells where it is).
// True when `name`, an entry of the folder `dirFd` at `folder`, is one of the
// program's own temporaries, which no listing shows. One that no running copy
// holds is cleared away as said above; `nameGivenBack` is set when a
// file got its name back, which the listing under way may have passed.
bool ownTemporary(int dirFd, const QByteArray& folder, const char* name, bool& nameGivenBack);

// The program's own temporaries in a folder `dirFd`. A copy is written to a
// new ".duoscope-copy-XXXXXX", created locked: the lock lasts as long as a
// descriptor of it stays open. Returns that descriptor, the name in `name`
// and its status in `made`; -1 with errno on failure.
int createTemporary(int dirFd, QByteArray& name, struct stat& made);
// Sets the entry `name` aside as ".duoscope-move-XXXXXX-NAME", replacing
// nothing; the new name, or "" with errno (ENAMETOOLONG where NAME does not
// fit). A caller holds the file locked (flock) while it is aside.
QByteArray setAside(int dirFd, const QByteArray& name);
// Gives a file set aside its name back, or where that is taken the first
// free copy name; the name it has then (`aside` when neither could be had).
QByteArray giveNameBack(int dirFd, const QByteArray& aside, const QByteArray& name);
// What the listings since the last call could not give back under its own
// name, one text per file, telling where it is.
QStringList takeLeftoverNotes();

// rename(2) that never replaces an entry at `to`: 0, or -1 with errno
// (EEXIST when the name is taken).
int renameNoReplace(int fromDir, const char* from, int toDir, const char* to);

// Refuses a name that cannot stand for one entry of `file.folder`: empty,
// "." or "..", holding "/" or NUL, or longer than that file system allows.
FsResult checkName(const FileLocation& file);

// The name a file copied into its own folder tries at attempt `k`:
// "Copy of a.txt", then "Copy (2) of a.txt", "Copy (3) of a.txt", ...
QByteArray copyName(const QByteArray& fileName, int k);

// The attribute bits of the entry at `path`, or -1 when there is none.
int attributes(const QByteArray& path);
// The same for the entry `name` of the folder open at `dirFd`.
int attributesAt(int dirFd, const QByteArray& name);
int attributes(const QString& path);

// True when `path` names a file (not a folder) that the mask admits.
bool exists(const QString& path, int mask);

// Length and modification time, of the link itself for a link that leads to
// no file; throws FsError.
FileStat stat(const QByteArray& path);

// Renames within the file system; never replaces an existing file.
FsResult renameFile(const QByteArray& from, const QByteArray& to);

// The system's write(2), or a stand-in that fails on purpose.
using WriteCall = ssize_t (*)(int fd, const void* data, size_t size);

// Puts a new file with `data` and permission bits `mode` at `path`: written
// under a private name beside it, every write and the close checked, then
// renamed over whatever is at the name (a link there is replaced, never
// written through). `durable` also flushes the file and its folder to disk.
// On any failure the new file is removed and `path` is left as it was.
FsResult replaceFile(const QByteArray& path, const QByteArray& data, mode_t mode, bool durable,
                     WriteCall writeCall = nullptr);

// Removes a file (never a folder).
FsResult removeFile(const QByteArray& path);

// Sets the attributes that this platform can change: read-only (bit 1) clears
// every write bit, its absence restores the owner's.
FsResult setAttributes(const QByteArray& path, int bits);

// The bytes of a path in the program's text form.
QByteArray encode(const QString& path);

// The folder part of a path: "." for a bare name, "/" for the root's entries.
QByteArray parentFolder(const QByteArray& path);

} // namespace FileSystem
