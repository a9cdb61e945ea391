#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QString>

// A small file at a fixed name in a folder that other processes of the same
// user may use at the same time: each write replaces the whole content and
// each read returns one whole content, and a symbolic link at the name is
// never followed.
//
// The file stays open between calls (the program writes and reads it once per
// file row); close() lets the next call find the name afresh.
class ScratchFile {
public:
    explicit ScratchFile(QByteArray path = {}) : m_path(std::move(path)) {}
    ~ScratchFile() { close(); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const QByteArray& path() const { return m_path; }
    void setPath(const QByteArray& path);

    // Replaces the content. The program's own file (a regular file of this
    // user with a single name) is rewritten in place under an exclusive lock
    // (readers take a shared one), kept until this object's next read() or
    // close(): another process's write cannot come between a write and the
    // read of it. Anything else at the name, a symbolic or
    // hard link included, is first replaced by a new file renamed over it,
    // unopened, never written through.
    FsResult write(const QByteArray& data);
    // The whole content; throws FsError when no regular file is at the name
    // (a symbolic link there is refused) or it cannot be read. Releases the
    // lock of a write.
    QByteArray read();
    void close();

    // Removes the file at `path` when a regular file is there; leaves
    // anything else (a link, a folder) alone.
    static void removeIfFile(const QByteArray& path);

private:
    FsResult openForWriting();

    QByteArray m_path;
    int m_fd = -1;
    bool m_writable = false;
    bool m_writeLocked = false; // a write's exclusive lock is held
};

// Where the program keeps its scratch files, always ending in "/":
// `temp` (the TEMP variable) when it is set; otherwise `runtimeDir`
// (XDG_RUNTIME_DIR) when it names a folder the user can write; otherwise a
// folder of the user's own, mode 0700, under `systemTemp`, created when
// missing and used only when it is a real folder (not a link) owned by the
// user and no one else can enter. When that name is taken, one of a few
// fixed alternatives is used, the same at every start.
QString chooseTempFolder(const QString& temp, const QString& runtimeDir, const QString& systemTemp);
