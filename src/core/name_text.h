#pragma once

#include <QByteArray>
#include <QString>

// The text shown for a file name read from disk. Valid UTF-8 decodes as it
// is; each byte that is not part of a valid sequence shows as "\xNN", so
// distinct names stay distinct and readable.
QString nameText(const QByteArray& fileName);

// The folder path of a folder-box text: the text with a "/" appended unless
// it already ends with one ("" gives "/").
QString folderPath(const QString& folderText);
