#pragma once

#include "core/file_system.h"

#include <QByteArray>
#include <functional>
#include <sys/types.h>

// How a copy moves its bytes. The defaults are the real thing; tests replace
// the write to fail midway.
struct CopyOptions {
    // Let the kernel copy (and clone where the file system can) before
    // falling back to reading and writing.
    bool offload = true;
    // The read/write path's write, returning what ::write returns; setting
    // it keeps the copy on that path, and a move on copying.
    std::function<ssize_t(int fd, const char* data, size_t size)> write;
    // Called between chunks of a long copy, so the window can repaint.
    std::function<void()> onChunk;
};

// Copies the regular file `source` to `target`, creating or replacing it,
// with the source's permission bits and modification time.
// - The data goes to a new file beside the target that is renamed over it
//   only when complete, so a failure leaves an existing target as it was and
//   nothing behind; a replaced target's data is flushed to disk before that.
// - A target that is the source itself (same folder under another text, a
//   link, a hard link), a read-only target, a folder or any other kind of
//   entry is refused; a symbolic link is replaced as a link, never written
//   through.
// - A source that is not a regular file (a FIFO, socket or device) is refused
//   without being opened.
FsResult copyRegularFile(const QByteArray& source, const QByteArray& target,
                         const CopyOptions& options = {});

// Moves the regular file `source` to `target`, with the same checks and
// refusals as copyRegularFile. Within one file system it is one rename, so
// the file stands under one of the two names at every moment, whatever
// another process does meanwhile. Otherwise (or for a link, or when
// `options.write` is set) it is copied, and then the source is removed only
// when it still is the entry that was there before the copy. `copied` tells
// whether the target was written, the source staying after a failure.
FsResult moveRegularFile(const QByteArray& source, const QByteArray& target,
                         const CopyOptions& options, bool& copied);
