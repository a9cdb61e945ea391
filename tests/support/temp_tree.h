#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include "support/printers.h"

// A temporary folder that tests fill with files of given contents and times.
class TempTree {
public:
    // In the system's temporary folder, or in `parent` when one is given.
    explicit TempTree(const QString& parent = {});
    ~TempTree();
    // The folder's path, without a trailing "/".
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // The location of `name` (which may hold folders) as the file commands take it.
    FileLocation at(const QByteArray& name) const;
    // Creates (or replaces) a file, making folders on the way; with a time
    // when one is given.
    void write(const QString& name, const QByteArray& content = {}, const QDateTime& modified = {});
    // Creates a file whose name is raw bytes (for names that are not UTF-8).
    void writeRaw(const QByteArray& name, const QByteArray& content = {});
    void mkdir(const QString& name);
    QByteArray read(const QString& name) const;
    // The contents that the tests' own Trash holds of files that stood in
    // this tree, in the order of their names there.
    QByteArrayList trashed() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_trashMade; // a Trash this tree's file system did not have before
};
