#pragma once

#include "fs/folder_side.h"
#include "remote/remote_digest.h"
#include "remote/remote_listing.h"

#include <QHash>
#include <memory>
#include <vector>

class SshLink;

// A folder on another host behind one ssh connection (SshLink). Its places
// are paths on that host, each walked folder checked against the identity
// first seen there (device and inode) whenever it is listed. A level alone
// is one `find` there; once a walk goes down, the trees below are one `find`
// whose levels it takes as it comes to them. A walk's digests are one
// `sha256sum` command fed as the check asks, so nothing of a file's contents
// crosses the connection. One thread at a time uses a side; several sides
// may share one link.
class RemoteSide : public FolderSide {
public:
    explicit RemoteSide(std::shared_ptr<const SshLink> link);
    ~RemoteSide() override;

    // Reaches the host, telling the folder `top` (a host path) there, which
    // the first walk to open it takes as told: ssh's own words (an unknown
    // host, a refused key) or a host without GNU find are an error naming
    // `given`; a folder that is not there is left to the walk to tell.
    FsResult connect(const QByteArray& given, const QByteArray& top);
    // A path as the user gave it as the host path the side's commands take:
    // "." for the user's home, a relative one after "./".
    static QByteArray hostPath(const QByteArray& given);
    // The connection its commands go over, which another side may share.
    const std::shared_ptr<const SshLink>& link() const { return m_link; }

    std::unique_ptr<SideWalk> walk(size_t held = 24) override;
    SidePlace root() const override { return SidePlace::onHost({}); }
    std::optional<int> localFolder(const SidePlace&) const override { return std::nullopt; }

    FolderListing list(const SidePlace& place, const QByteArray& path,
                       const FilterSettings& settings, const ScanOptions& options) override;
    bool stat(const SidePlace& place, const char* name, struct stat& st,
              bool followLink = false) override;
    std::optional<QByteArray> linkTarget(const SidePlace& place, const char* name) override;
    std::optional<QByteArray> digest(const SidePlace& place, const char* name,
                                     const std::atomic<bool>* cancel = nullptr,
                                     bool followLink = false) override;
    void readAhead(const SidePlace& place, const std::vector<QByteArray>& names,
                   const std::atomic<bool>* cancel = nullptr) override;
    // The digests of many files at `place` in one command, by name; a file
    // that could not be read has none.
    QHash<QByteArray, QByteArray> digests(const SidePlace& place,
                                          const std::vector<QByteArray>& names,
                                          const std::atomic<bool>* cancel = nullptr);

    bool setModified(const SidePlace& place, const char* name,
                     const struct timespec& modified) override;
    FsResult remove(const SidePlace& place, const QByteArray& name,
                    const QByteArray& path) override;
    // The host's Trash as the desktops share it there (remote_trash.h).
    FsResult trash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                   TrashEntry& entry) override;
    FsResult restore(const TrashEntry& entry, bool replace = false) override;
    // Each one command on the host (remote_changes.h, remote_trash.h).
    bool makeFolder(const SidePlace& place, const QByteArray& name, mode_t mode) override;
    bool removeFolder(const SidePlace& place, const QByteArray& name) override;
    bool rename(const SidePlace& fromPlace, const QByteArray& from, const SidePlace& toPlace,
                const QByteArray& to) override;
    FsResult removeTree(const SidePlace& place, const QByteArray& name,
                        const QByteArray& path) override;
    FsResult removeFile(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                        struct stat* left) override;
    FsResult keepInTrash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                         TrashEntry& entry) override;
    void discard(const TrashEntry& entry) override;

    // The entries at `paths` (host paths), as given, in one command: one
    // not there has none; nothing, with errno, when none could be told.
    std::vector<RemoteEntry> entries(const std::vector<QByteArray>& paths, bool follow) const;
    // Entries (as entries() tells them) that stat() and a walk's steps
    // take as they are until this side changes anything (a time given
    // changes only that entry's), or the next tell().
    void tell(const std::vector<RemoteEntry>& entries);
    // From holdTimes() on, setModified() only notes each time, and
    // giveHeldTimes() gives them all in one command: false when any failed.
    void holdTimes();
    bool giveHeldTimes();
    // The entry's status as stat() gives it.
    static void toStat(const RemoteEntry& entry, struct stat& st);

private:
    friend class RemoteWalk;
    // What a listing saw at a place: folders and links for entering them
    // and comparing links without asking again, files for readAhead().
    // What a listing saw at a place, by name (the entry's path is its name).
    using Kept = RemoteEntry;
    // What readAhead() found of a file, its digest asked of m_digests,
    // until digest() takes it.
    struct Ahead {
        RemoteEntry entry;
    };
    static QByteArray at(const SidePlace& place, QByteArrayView name);
    // The host folder and the name in it of the entry `name` at `place`.
    static std::pair<QByteArray, QByteArray> split(const SidePlace& place, QByteArrayView name);
    // The level `folder` listed with the trees of the subfolders of its
    // parent not listed yet (or earlier so), taken; nothing when it could
    // not be listed so.
    std::optional<std::vector<RemoteEntry>> listedEarly(const QByteArray& folder,
                                                        const std::atomic<bool>* cancel);
    // Drops the level `folder` listed early and those below it.
    void dropEarly(const QByteArray& folder);
    // After a change: nothing kept of what the host held is trusted.
    void changed();
    // At the end of the last walk: the run's digests and early levels.
    void forget();
    // Runs `command` over the NUL-separated `paths`: false, with errno, on a complaint.
    bool runOn(const QByteArray& command, const QByteArray& path) const;

    std::shared_ptr<const SshLink> m_link;
    QHash<QByteArray, FolderId> m_walked;              // folders a walk stands in, by path
    QHash<QByteArray, QHash<QByteArray, Kept>> m_kept; // by place, then name
    // The subfolders of a listed folder (by its path) not listed yet.
    struct Below {
        std::vector<QByteArray> unlisted;
    };
    QHash<QByteArray, Below> m_below;
    // Levels listed with the tree they lie in, by path, until the walk
    // lists them (m_earlyHeld entries in all).
    QHash<QByteArray, std::vector<RemoteEntry>> m_early;
    qsizetype m_earlyHeld = 0;
    QHash<QByteArray, Ahead> m_ahead;      // by path
    QHash<QByteArray, RemoteEntry> m_told; // by path, from tell()
    std::optional<std::vector<std::pair<QByteArray, QByteArray>>> m_heldTimes; // path, time
    std::optional<RemoteEntry> m_top; // told by connect(), until a walk opens it
    // The run's digests, while a walk is open (m_walks of them).
    std::unique_ptr<RemoteDigestStream> m_digests;
    int m_walks = 0;
};
