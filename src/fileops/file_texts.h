#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <QString>
#include <optional>

class TextFormats;

// The question before a file is replaced: folder text F, name N, then the
// path, size and date of the file coming in and of the file there, and
// whether their contents are the same when that is known.
QString overwritePromptText(const QString& folderText, const QString& name,
                            const QString& sourcePath, const FileStat& source,
                            const QString& targetPath, const FileStat& target,
                            const TextFormats& formats,
                            std::optional<bool> sameContents = std::nullopt);

QString deleteQuestionText(const QString& path);
// A folder is asked about once, with the number of files below it.
QString folderDeleteQuestionText(const QString& path, qint64 files);
QString attributeQuestionText();

// The report of a failed step: what could not be done, then the file and the reason.
QString failureText(const QString& what, const FsError& error);

// Where a file's drive has no Trash: whether to delete it, or replace it,
// for good instead.
QString noTrashDeleteQuestionText(const QString& path, const FsError& why);
QString noTrashReplaceQuestionText(const QString& path, const FsError& why);
// Whether `question` is one of the two above: a file about to go for good
// because the Trash cannot take it.
bool isNoTrashQuestion(const QString& question);
