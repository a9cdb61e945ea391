#pragma once

#include <QByteArray>
#include <QString>

// The text shown for a file name or path read from disk, and back.
//
// Valid UTF-8 decodes as it is. A byte that is not part of a valid sequence,
// and each byte of a control character (C0, DEL, C1), shows as "\xNN". A
// backslash that could be read as the start of such an escape (one followed
// by a backslash, an escaped byte or "x" and two hex digits) shows doubled.
// So two different names never show the same text, ordinary names (a lone
// backslash included) show unchanged, and nameBytes() gives the bytes back.
QString nameText(const QByteArray& fileName);

// A line of a file as text: valid UTF-8 as it is and tabs kept; every other
// byte that shows escaped in a name shows the same way here. Backslashes are
// never doubled: a line is read, not typed back.
QString lineText(const QByteArray& line);

// A line as it is edited: as lineText shows it, but each byte shown as
// "\xNN" is one character U+DC00 + NN (a lone low surrogate), so every
// column stands for one place in the shown text and editedBytes() gives the
// same bytes back.
QString editableText(const QByteArray& line);
QByteArray editedBytes(QStringView text);
// Column `column` of an editable text in the text lineText shows, and back
// (a place inside an escape goes to the character's start).
qsizetype shownColumn(QStringView editable, qsizetype column);
qsizetype editableColumn(QStringView editable, qsizetype shown);

// The bytes a name text stands for: "\\" is one backslash, "\xNN" (either
// letter case) is the byte NN, everything else is its UTF-8 form.
QByteArray nameBytes(const QString& text);

// The folder path of a folder-box text: the text with a "/" appended unless
// it already ends with one ("" gives "/").
QString folderPath(const QString& folderText);
QByteArray folderPath(const QByteArray& folder);
