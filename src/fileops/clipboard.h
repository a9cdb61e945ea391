#pragma once

#include "core/file_system.h"
#include "core/name_text.h"

#include <QString>

// One file recorded by Cut or Copy: its folder's bytes as the folder box
// gave them when it was recorded, so a later change of folder does not
// change what a paste copies, and its name's bytes.
struct ClipboardEntry {
    FileLocation file;
    // A folder, as the pane's listing had it: pasted with all it holds.
    bool folder = false;

    // "folder text, CR LF, name"; "" for the empty entry.
    QString text() const {
        if (file.folder.isEmpty() && file.name.isEmpty())
            return {};
        return nameText(file.folder) + QLatin1String("\r\n") + nameText(file.name);
    }
};
