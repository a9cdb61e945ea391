#pragma once

#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <functional>
#include <memory>
#include <sys/types.h>
#include <utility>
#include <vector>

struct stat;
class SourceRemovals;

// The folders of one command's files, held open from its first file to its
// last, so each file's step reaches its entries from them instead of
// opening both folders again: the folders the command began with, even if
// their paths name other folders meanwhile.
class HeldFolders {
public:
    HeldFolders() = default;
    HeldFolders(const HeldFolders&) = delete;
    HeldFolders& operator=(const HeldFolders&) = delete;
    ~HeldFolders();
    // The folder at `path` opened with `flags` (O_PATH or O_RDONLY): the
    // same descriptor each time; -1 with errno when it cannot be opened.
    int open(const QByteArray& path, int flags);
    // Makes `fd` (left open by its owner, who outlives this) the folder at
    // `path` for both ways of opening: a walk lends the folder it checked.
    void lend(const QByteArray& path, int fd);
    // The descriptor lent for `path`, or AT_FDCWD when none was.
    int lent(const QByteArray& path) const;

private:
    std::vector<std::pair<std::pair<QByteArray, int>, int>> m_held;
    std::vector<std::pair<QByteArray, int>> m_lent;
};

// How a copy moves its bytes. The defaults are the real thing; tests replace
// the write and the flush to fail midway.
struct CopyOptions {
    // Let the kernel copy (and clone where the file system can) before
    // falling back to reading and writing.
    bool offload = true;
    // The read/write path's write, returning what ::write returns; setting
    // it keeps the copy on that path, and a move on copying.
    std::function<ssize_t(int fd, const char* data, size_t size)> write;
    // The flush to disk of a file or a folder (or, for a batch of moves, of
    // the file system holding that folder), returning what ::fsync returns.
    std::function<int(int fd)> fsync;
    // Called between chunks of a long copy, so the window can repaint.
    std::function<void()> onChunk;
    // A command's folders, when it holds them; otherwise each step opens its own.
    std::shared_ptr<HeldFolders> folders;
    // Where a move across file systems leaves its source's removal, and a
    // copy its rename over a file it replaces for good, for the command to
    // flush the copies once for many files; null: each move or copy flushes
    // its own and takes its step at once.
    std::shared_ptr<SourceRemovals> removals;
    // The file a copy replaces is kept by another name (in the Trash): its
    // data is not given up, so the copy takes the name without a flush.
    bool replacedKept = false;
};

// What to do with an entry that already has the target's name.
enum class Existing {
    Keep,   // fail with EEXIST, also for one that appears while the copy runs
    Replace // replace a file or a link (as a link, never written through)
};

// The per-file steps of every file command. Each is whole or not done: a
// failure leaves the target as it was, the source in place and nothing
// behind (a crash may leave a temporary, which the next listing of its
// folder clears away).
//
// copyFile: the regular file `source` (or the file a link there leads to)
// becomes `target`, with what `cp -a` keeps: owner and group where the user
// may set them (and without the set-user-ID and set-group-ID bits where not),
// mode, ACL, extended attributes, times, and holes.
// - The data goes to a locked temporary beside the target that takes the
//   target's name only when complete. A replaced target's old data is given
//   up only once the new data and then the folder are on disk (unless it is
//   kept elsewhere: replacedKept); with `options.removals` the copy takes
//   the name once its batch is on disk, and the result tells only whether
//   the copy was written. The name is taken only while it holds the file
//   found there when the copy began, unchanged.
// - A source written to while it is copied is copied again, once; when it
//   changes again the copy fails.
// - A target that is the source itself (the same folder under another path,
//   a link, a hard link), a folder, a read-only file or any other kind of
//   entry is refused; so is a source that is not a regular file (a FIFO,
//   socket or device), without being opened.
FsResult copyFile(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options = {});

// removeMovedSource: the last step of a move whose copy is on disk: the
// source (the entry in `sourceDir`, as `entry` and `data` found it when its
// copy began) goes as moveFile() removes it.
FsResult removeMovedSource(int sourceDir, const FileLocation& source, const FileLocation& target,
                           const struct stat& entry, const struct stat& data,
                           const CopyOptions& options);

// The last step of a copy that replaces a file: the temporary `temp` in
// `dir` takes `target`'s name when that is still the file `replaced`
// (identity, size, modification and change time); else, or when the rename
// fails, the temporary is removed and the replaced file stays.
FsResult replaceWithCopy(int dir, const QByteArray& temp, const FileLocation& target,
                         const struct stat& replaced);

// moveFile: within one file system one rename, so the file stands under one
// of its two names at every moment. Otherwise (or for a link, or when
// `options.write` is set) it is copied as above, the copy and its folder
// flushed to disk, and only then the source removed: only when its entry is
// still the one copied and its data unchanged since the copy began (length,
// modification and change time). A source that changed is kept beside the
// copy, and the error says so. `copied` tells whether the target was
// written, the source staying after a failure. A link is removed itself,
// never the file it leads to. With `options.removals` the copy is flushed
// and the source removed later, with the rest of its batch.
FsResult moveFile(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options, bool& copied);

// What `cp -a` keeps besides the data, from `in` (the entry at `from`, as
// `st` describes it) to `out` (at `to`, as `made` describes it): owner and
// group where the user may set them (else without the set-ID bits),
// extended attributes, ACL and mode, then the times. 0 or an errno.
int keepAttributes(const QByteArray& from, int in, const struct stat& st, const QByteArray& to,
                   int out, struct stat made);

// copyLink: the link `source` itself becomes `target`, leading where it
// leads, with its times (and owner where the user may set it). A free name
// is taken in one step, an existing file or link (with Replace; never a
// folder or a read-only file) replaced in one rename.
FsResult copyLink(const FileLocation& source, const FileLocation& target, Existing existing,
                  const CopyOptions& options = {});
// moveLink: one rename within a file system; across, the link is copied,
// then removed when it is still the link copied. `copied` as for moveFile.
FsResult moveLink(const FileLocation& source, const FileLocation& target, Existing existing,
                  bool& copied, const CopyOptions& options = {});

// The folder `folder` (bytes as a folder box or a plan gave them) opened
// with `flags` (O_PATH or O_RDONLY): the command's held descriptor when it
// holds one, else a new one kept in `own`. -1 with errno.
int openFolderOf(const CopyOptions& options, const QByteArray& folder, int flags, UniqueFd& own);
