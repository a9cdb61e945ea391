#pragma once

#include "fs/file_system.h"

#include <sys/types.h>

class SshLink;
struct stat;

// Changes made on the link's host to the entry `name` of the host folder
// `folder` ("." or "./..." from the remote home, or a full path), each one
// command over the link, the names passed as data. Each says what went
// wrong as the local call would: false with errno (ENOENT, EEXIST,
// ENOTEMPTY, ENOTDIR, EISDIR, EXDEV; EIO for what the host said otherwise).

// mkdir with `mode` (as the host's umask leaves it); EEXIST when taken.
bool makeFolderOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                      mode_t mode);
// rmdir, only of an empty folder.
bool removeFolderOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name);
// One rename within a file system, never over an existing entry: EXDEV
// across file systems (nothing is copied), EEXIST when `to` is taken.
bool renameOnHost(const SshLink& link, const QByteArray& fromFolder, const QByteArray& from,
                  const QByteArray& toFolder, const QByteArray& to);
// The folder with everything in it, no link followed, on its file system
// only; what could not be removed stays, the host's words in the error.
FsResult removeTreeOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          const QByteArray& path);
// A file or link, never a folder. With `left`, the status its data keeps
// under its other names as far as the host told it before the removal:
// st_nlink one less (0 when it had no other), the change time left 0, so
// that nothing later takes it for the file seen.
FsResult removeFileOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          const QByteArray& path, struct stat* left);
