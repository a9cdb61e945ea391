#pragma once

#include "core/file_system.h"

#include <QByteArray>
#include <QString>

class TextFormats;

// The question before a file is replaced: folder text F, name N, then the
// path, size and date of the file coming in and of the file there.
QString overwritePromptText(const QString& folderText, const QString& name,
                            const QString& sourcePath, const FileStat& source,
                            const QString& targetPath, const FileStat& target,
                            const TextFormats& formats);

QString deleteQuestionText(const QString& path);
QString attributeQuestionText();

// The report of a failed step: what could not be done, then the file and the reason.
QString failureText(const QString& what, const FsError& error);
