#pragma once

#include <QByteArray>
#include <QString>

// One file recorded by Cut or Copy: where it was and what it is called, with
// the bytes that reach it on disk. The folder text is kept as the folder box
// read, so a later change of folder does not change what a paste copies.
struct ClipboardEntry {
    QString folderText;
    QString name;
    QByteArray fileName;

    // "folder text, CR LF, name"; "" for the empty entry.
    QString text() const {
        if (folderText.isEmpty() && name.isEmpty())
            return {};
        return folderText + QLatin1String("\r\n") + name;
    }
};
