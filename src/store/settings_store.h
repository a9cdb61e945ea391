#pragma once

#include "fs/file_system.h"

#include <QMap>
#include <QString>

// The per-user settings: text values under the application's section of an
// INI file in the user's configuration folder
// ($XDG_CONFIG_HOME/Zelmar/Duoscope.ini, section [Duoscope]). Keys are
// printable text: a line whose key holds control bytes is not read.
//
// Only a regular file is read, opened without blocking; anything else at the
// name (a pipe, a device, a socket, a folder) reads as an empty store, so the
// defaults apply. Writes are collected and reach the file only through
// save(), which writes a complete new file beside the old one, checks every
// write, flushes it to disk and renames it into place: the store is the old
// file, whole, or the new one, whole. A link is written through only to a
// regular file; nothing else is ever replaced.
class SettingsStore {
public:
    SettingsStore();
    // A store at `fileName`; `writeCall` stands in for write(2) in tests.
    explicit SettingsStore(const QString& fileName, FileSystem::WriteCall writeCall = nullptr);

    // The configuration folder of every store made afterwards by the default
    // constructor; an empty text goes back to the user's own.
    static void setConfigFolder(const QString& folder);

    // The stored text of `key`, or `fallback` when the key is absent.
    QString read(const QString& key, const QString& fallback) const;
    void write(const QString& key, const QString& text);
    // Writes the file; false, with the old file kept, when it cannot be.
    bool save();

    QString fileName() const { return m_fileName; }

private:
    QString m_fileName;
    FileSystem::WriteCall m_writeCall;
    QMap<QString, QString> m_values;
};
