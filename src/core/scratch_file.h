#pragma once

#include "core/file_system.h"

#include <QByteArray>
#include <QString>

// A small file at a fixed name in a folder that other processes of the same
// user may use at the same time. A symbolic link at that name is never
// followed, and a reader always sees a whole file.
namespace ScratchFile {

// Replaces the file with `data`: written under a private name beside it, then
// renamed over it, so a reader sees either the old file or the new one. A
// link at the name is replaced, not written through.
FsResult write(const QByteArray& path, const QByteArray& data);

// The whole content; throws FsError when there is no regular file at the
// name (a symbolic link there is refused, not followed) or it cannot be read.
QByteArray read(const QByteArray& path);

// Removes the file when a regular file is there; leaves anything else alone.
void removeIfFile(const QByteArray& path);

} // namespace ScratchFile

// Where the program keeps its scratch files, always ending in "/":
// `temp` (the TEMP variable) when it is set; otherwise `runtimeDir`
// (XDG_RUNTIME_DIR) when it names a folder; otherwise a folder of the user's
// own, mode 0700, under `systemTemp`, created when missing and used only when
// it is a real folder (not a link) owned by the user.
QString chooseTempFolder(const QString& temp, const QString& runtimeDir, const QString& systemTemp);
