#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include "support/printers.h"

// A temporary folder that tests fill with files of given contents and times.
class TempTree {
public:
    TempTree();

    // The folder's path, without a trailing "/".
    QString path() const { return m_dir.path(); }
    // Path of a name inside the folder.
    QString filePath(const QString& name) const;

    // Creates (or replaces) a file, making folders on the way.
    void write(const QString& name, const QByteArray& content = {});
    // Creates a file with a given modification time.
    void write(const QString& name, const QByteArray& content, const QDateTime& modified);
    // Creates a file whose name is raw bytes (for names that are not UTF-8).
    void writeRaw(const QByteArray& name, const QByteArray& content = {});
    void mkdir(const QString& name);
    void setModified(const QString& name, const QDateTime& modified);
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir m_dir;
};
