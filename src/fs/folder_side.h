#pragma once

// A side is where one of the two folders lies, and the commands that reach
// it: listing a level, walking down and up its tree, statting an entry,
// reading a file's digest, giving it a time, making a folder, renaming
// without replacing, deleting (a whole tree too), sending to the Trash and
// taking back, each at a place the side holds (SidePlace), never at a
// path re-resolved from the root. LocalSide (local_side.h) is a folder on
// this machine, its places open descriptors reached as FolderChain reaches
// them; copying between two sides goes through the command engine
// (fileops/side_copy.h), which reads and writes the places localFolder()
// gives.
//
// A second side, a folder on another host, must provide the same commands
// over one connection it keeps (ssh), at places that are paths on that
// host checked against the identities first seen (FolderId), a level or a
// tree at a time rather than an entry at a time: a listing from the host's
// `find -printf` (name, type, size, device, inode, modification and change
// times to the nanosecond), a digest from its `sha256sum`, times given by
// `touch -h -d`, folders made and removed by `mkdir`, `rmdir` and `rm -r`,
// entries renamed never over another, and copies in and out by rsync; it gives no
// localFolder(), so its files' contents are compared by digest and the
// local copy engine refuses it (EREMOTE), where its own transfer goes.

#include "fs/file_system.h"
#include "fs/folder_chain.h"
#include "fs/folder_scan.h"
#include "fs/trash.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

struct stat;

// A folder a side holds: an open descriptor on this machine, a path on a
// remote host. Only the side that gave it looks inside.
class SidePlace {
public:
    SidePlace() = default;
    // `statsInFlight`: how many stats its listing runs at once, where the
    // walk holding it has already chosen for its file system (0: not yet).
    static SidePlace descriptor(int fd, int statsInFlight = 0) {
        SidePlace p;
        p.m_fd = fd;
        p.m_statsInFlight = statsInFlight;
        return p;
    }
    static SidePlace onHost(QByteArray path) {
        SidePlace p;
        p.m_path = std::move(path);
        return p;
    }
    int fd() const { return m_fd; }
    const QByteArray& hostPath() const { return m_path; }
    int statsInFlight() const { return m_statsInFlight; }

private:
    int m_fd = -1;
    int m_statsInFlight = 0;
    QByteArray m_path;
};

// The folders from a top folder down to the one a walk is in, entered one
// level at a time as FolderChain enters them: a link is never followed
// below the top, and a folder expected (its identity) must be the one found.
class SideWalk {
public:
    virtual ~SideWalk() = default;
    // As FolderChain::openTop, enter and leave: false with errno.
    virtual bool openTop(const QByteArray& path, bool followLink,
                         const FolderId* expected = nullptr) = 0;
    // As FolderChain::openTopAt: the top is the folder `name` at `place`,
    // held by the caller, never followed through a link (`path` names it).
    virtual bool openTopAt(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                           const FolderId* expected = nullptr) = 0;
    virtual bool enter(const QByteArray& name, const FolderId* expected = nullptr) = 0;
    virtual bool leave() = 0;
    virtual bool empty() const = 0;
    // The folder the walk is in, and its identity.
    virtual SidePlace place() const = 0;
    virtual const FolderId& id() const = 0;
};

class FolderSide {
public:
    virtual ~FolderSide() = default;

    // A walk of this side's folders, holding at most `held` open at once.
    virtual std::unique_ptr<SideWalk> walk(size_t held = 24) = 0;
    // The place from which a path as the user gave it is reached.
    virtual SidePlace root() const = 0;
    // The place's descriptor on this machine (AT_FDCWD for the root), where
    // its files can be read here; nothing on a side whose files lie elsewhere.
    virtual std::optional<int> localFolder(const SidePlace& place) const = 0;

    // The entries of the folder at `place` under the filters (listFiles in
    // folder_scan.h), `path` naming it in messages. Throws as listFiles.
    virtual FolderListing list(const SidePlace& place, const QByteArray& path,
                               const FilterSettings& settings, const ScanOptions& options) = 0;
    // The status of the entry `name` at `place` (a link itself unless
    // `followLink`; "" for the place's own folder); false with errno when
    // there is none.
    virtual bool stat(const SidePlace& place, const char* name, struct stat& st,
                      bool followLink = false) = 0;
    // Where the link `name` leads; nothing, with errno, for no link.
    virtual std::optional<QByteArray> linkTarget(const SidePlace& place, const char* name) = 0;
    // The SHA-256 of the regular file `name` (a link not followed unless
    // `followLink`, as where the listing told what it leads to): the
    // digest both kinds of side can give. Nothing, with errno, when it
    // cannot be read or `cancel` was set meanwhile.
    virtual std::optional<QByteArray> digest(const SidePlace& place, const char* name,
                                             const std::atomic<bool>* cancel = nullptr,
                                             bool followLink = false) = 0;
    // Tells the side that stat() and digest() are about to be asked for
    // the files `names` at `place`: a side that pays a round trip a command
    // reads them all at once. Nothing to do where files are read here.
    virtual void readAhead(const SidePlace& place, const std::vector<QByteArray>& names,
                           const std::atomic<bool>* cancel = nullptr) {
        Q_UNUSED(place);
        Q_UNUSED(names);
        Q_UNUSED(cancel);
    }

    // Gives the entry `name` (a link itself; "" for the place's own folder)
    // the modification time `modified`, its access time left; false with errno.
    virtual bool setModified(const SidePlace& place, const char* name,
                             const struct timespec& modified) = 0;
    // Removes the file, link or empty folder `name` (`path` names it in messages).
    virtual FsResult remove(const SidePlace& place, const QByteArray& name,
                            const QByteArray& path) = 0;
    // Sends the entry `name` (a whole folder too) to the Trash of its file
    // system, told in `entry`; restore() takes it back (Trash::restore).
    virtual FsResult trash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                           TrashEntry& entry) = 0;
    virtual FsResult restore(const TrashEntry& entry, bool replace = false) = 0;

    // Makes the folder `name` at `place` with `mode` (as the umask leaves
    // it); false with errno, EEXIST when the name is taken.
    virtual bool makeFolder(const SidePlace& place, const QByteArray& name, mode_t mode) = 0;
    // Removes the folder `name` at `place` only while it is empty; false
    // with errno: ENOTEMPTY (or EEXIST) when it holds anything, ENOTDIR
    // when no folder stands there.
    virtual bool removeFolder(const SidePlace& place, const QByteArray& name) = 0;
    // Renames the entry `from` at `fromPlace` to `to` at `toPlace`, both on
    // this side, in one step and never over an existing entry; false with
    // errno: EEXIST (or ENOTEMPTY) when `to` is taken, EXDEV when the two
    // lie on different file systems (the caller then copies).
    virtual bool rename(const SidePlace& fromPlace, const QByteArray& from,
                        const SidePlace& toPlace, const QByteArray& to) = 0;
    // Removes the folder `name` at `place` with everything in it, as `rm -r`
    // does: no link followed, each folder entered only as the one listed.
    // What could not be removed stays with the folders that hold it; the
    // first failure is returned, `path` naming the folder in it.
    virtual FsResult removeTree(const SidePlace& place, const QByteArray& name,
                                const QByteArray& path) = 0;
    // Removes the file or link `name` at `place` (never a folder) and, with
    // `left`, gives there the status its data keeps under its other names
    // (its change time moved by this removal; st_nlink 0 when it had none).
    virtual FsResult removeFile(const SidePlace& place, const QByteArray& name,
                                const QByteArray& path, struct stat* left) = 0;
    // Gives the entry `name` at `place` a second name in the Trash of its
    // file system (told in `entry`), where it stays too; discard() takes
    // such a name away again, restore() with `replace` puts it back.
    virtual FsResult keepInTrash(const SidePlace& place, const QByteArray& name,
                                 const QByteArray& path, TrashEntry& entry) = 0;
    virtual void discard(const TrashEntry& entry) = 0;
};

// The side a folder the user gave lies on, and its path there.
struct ChosenSide {
    std::unique_ptr<FolderSide> side;
    QByteArray path;
    bool remote = false; // on another host
};

// Opens the folder `folder` (a full path) into `walk` from the root, one
// name at a time with no link followed: a link or something other than a
// folder put on the way is told as such, naming `told` (what was to be
// reached through it). With `top`, a folder that is `folder` or holds it,
// that one is opened as the user gave it (a link there followed) and only
// the names below it are entered so.
FsResult reachFolder(SideWalk& walk, const QByteArray& folder, const QByteArray& told,
                     const QByteArray& top = {});
