#pragma once

#include "base/name_text.h"
#include "fs/file_system.h"
#include "fs/folder_side.h"
#include "fs/trash.h"

#include <QString>
#include <memory>
#include <optional>

// One file recorded by Cut or Copy (or chosen by a drop or Delete): its
// folder's bytes as the folder box gave them when it was recorded, so a later
// change of folder does not change what a paste copies, and its name's bytes.
struct ClipboardEntry {
    FileLocation file;
    // A folder, as the pane's listing had it: pasted with all it holds.
    bool folder = false;
    // The file itself when it was recorded: another one put at its name
    // since is not acted on. None when it was already gone.
    std::optional<FileIdentity> id = std::nullopt;
    // The side its folder lies on (folder_side.h) when on another host.
    std::shared_ptr<FolderSide> side = nullptr;

    // What a command expects at the name: for a file already gone when
    // recorded, inode 0, which no file has, so none put there since passes.
    FileIdentity identity() const { return id.value_or(FileIdentity{}); }

    // "folder text, CR LF, name"; "" for the empty entry.
    QString text() const {
        if (file.folder.isEmpty() && file.name.isEmpty())
            return {};
        return nameText(file.folder) + QLatin1String("\r\n") + nameText(file.name);
    }
};
