#pragma once

#include "fs/folder_side.h"

// A folder on this machine: its places are open descriptors, each folder
// entered from its parent's without following a link (FolderChain), each
// entry reached from its folder's descriptor with the *at calls.
class LocalSide : public FolderSide {
public:
    std::unique_ptr<SideWalk> walk(size_t held = 24) override;
    SidePlace root() const override;
    std::optional<int> localFolder(const SidePlace& place) const override { return place.fd(); }

    FolderListing list(const SidePlace& place, const QByteArray& path,
                       const FilterSettings& settings, const ScanOptions& options) override;
    bool stat(const SidePlace& place, const char* name, struct stat& st,
              bool followLink = false) override;
    std::optional<QByteArray> linkTarget(const SidePlace& place, const char* name) override;
    std::optional<QByteArray> digest(const SidePlace& place, const char* name,
                                     const std::atomic<bool>* cancel = nullptr,
                                     bool followLink = false) override;

    bool setModified(const SidePlace& place, const char* name,
                     const struct timespec& modified) override;
    FsResult remove(const SidePlace& place, const QByteArray& name,
                    const QByteArray& path) override;
    FsResult trash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                   TrashEntry& entry) override;
    FsResult restore(const TrashEntry& entry, bool replace = false) override;

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
};

// This machine's side, shared by whoever needs one: it holds nothing.
const std::shared_ptr<FolderSide>& localSide();
