#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <sys/types.h>
#include <utility>
#include <vector>

struct stat;

// A folder as a walk first saw it: another folder put at its name since (a
// link followed, a folder renamed in) is told apart.
struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId& o) const { return device == o.device && inode == o.inode; }
    static FolderId of(const struct stat& st);
};

// The folders a walk entered, by their path below its top ("" for the top,
// else "a/b"), each kept as a digest of the path beside its identity: a few
// bytes a folder, so a plan can carry them all for its run to check again.
class SeenFolders {
public:
    void add(QByteArrayView path, const FolderId& id);
    // The folder at `path` as the walk entered it; null when it did not.
    const FolderId* find(QByteArrayView path) const;

private:
    static quint64 key(QByteArrayView path);
    mutable std::vector<std::pair<quint64, FolderId>> m_ids;
    mutable bool m_sorted = true;
};

// The folders from a top folder down to the one a walk is in, each entered
// from its parent's descriptor without following a link and checked to be
// the folder expected, as `rm -r` and `cp -a` walk (fts, physical): nothing
// below the top is ever reached by a path again, so no one writing in the
// tree can send the walk elsewhere. Only the deepest `held` folders keep a
// descriptor, whatever the depth; one above is reached again through ".."
// of the one below and must be the same folder it was.
class FolderChain {
public:
    explicit FolderChain(size_t held = 24) : m_held(held < 2 ? 2 : held) {}
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;
    ~FolderChain();

    // Opens the top folder at `path`; a link there is followed only with
    // `followLink`. `expected` (when given) must be the folder found. False
    // with errno (ESTALE for another folder).
    bool openTop(const QByteArray& path, bool followLink, const FolderId* expected = nullptr);
    // Opens the folder `name` of the folder `dir` (held by the caller) as the
    // top, without following a link; `path` names it in messages. As enter().
    // With AT_FDCWD, openTop(name) without following a link.
    bool openTopAt(int dir, const QByteArray& name, const QByteArray& path,
                   const FolderId* expected = nullptr);
    // Enters the subfolder `name` of the current folder, which must be
    // `expected` when given: false with errno (ELOOP or ENOTDIR for a link,
    // ESTALE for another folder), the chain staying where it was.
    bool enter(const QByteArray& name, const FolderId* expected = nullptr);
    // Back to the parent. False with errno when it could not be reached
    // again as the same folder (ESTALE): the chain is then empty.
    bool leave();
    void clear();

    bool empty() const { return m_levels.empty(); }
    size_t depth() const { return m_levels.size(); }
    // The current folder's descriptor (always held) and identity.
    int fd() const { return m_levels.back().fd; }
    const FolderId& id() const { return m_levels.back().id; }
    // The current folder's name in its parent ("" for the top).
    const QByteArray& name() const { return m_levels.back().name; }
    // Top path and names below, for messages only.
    QByteArray path() const;

    // Tests only: called with the parent's descriptor and the name just
    // before each subfolder is entered, to change the tree right then.
    static std::function<void(int parentFd, const QByteArray& name)>& beforeEnterForTests();

private:
    struct Level {
        QByteArray name;
        FolderId id;
        int fd = -1;
    };
    bool push(int fd, const QByteArray& name, const FolderId* expected);
    std::vector<Level> m_levels;
    size_t m_held;
    size_t m_open = 0;
    size_t m_oldestOpen = 0; // levels below this index hold no descriptor
};
