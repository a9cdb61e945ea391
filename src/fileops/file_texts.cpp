#include "fileops/file_texts.h"

#include "base/name_text.h"
#include "base/text_formats.h"

QString overwritePromptText(const QString& folderText, const QString& name,
                            const QString& sourcePath, const FileStat& source,
                            const QString& targetPath, const FileStat& target,
                            const TextFormats& formats, std::optional<bool> sameContents) {
    const QString crlf = QStringLiteral("\r\n");
    const QString indent(9, QLatin1Char(' '));
    const auto block = [&](const QString& path, const FileStat& st) {
        return path + crlf + crlf + indent + QLatin1String("Size: ") + formats.sizeText(st.size) +
               crlf + indent + QLatin1String("Modified: ") + formats.longDateTimeText(st.modified);
    };
    return QLatin1String("The folder ") + folderText +
           QLatin1String(" already contains a file called ") + name +
           QLatin1String(". Do you want to overwrite it?") + crlf + crlf +
           block(sourcePath, source) + crlf + crlf + block(targetPath, target) +
           (!sameContents   ? QString()
            : *sameContents ? crlf + crlf + QLatin1String("The two files have the same contents.")
                            : crlf + crlf + QLatin1String("The contents differ."));
}

QString deleteQuestionText(const QString& path) {
    return QLatin1String("Are you sure you want to delete ") + path + QLatin1Char('?');
}

QString folderDeleteQuestionText(const QString& path, qint64 files) {
    if (files == 0) // "and the 0 files in it" would read as a mistake
        return deleteQuestionText(path);
    return QStringLiteral("Are you sure you want to delete %1 and the %2 %3 in it?")
        .arg(path, TextFormats().countText(files),
             files == 1 ? QStringLiteral("file") : QStringLiteral("files"));
}

QString attributeQuestionText() {
    return QStringLiteral("This file has read-only, hidden or system attributes. "
                          "Are you sure you want to delete it?");
}

QString failureText(const QString& what, const FsError& error) {
    return what + QLatin1String("\r\n\r\n") + error.description();
}

namespace {
const QLatin1String noTrashEnd("it permanently?");
} // namespace

QString noTrashDeleteQuestionText(const QString& path, const FsError& why) {
    return QStringLiteral("%1 cannot be moved to the Trash: %2.\r\n\r\nDelete ")
               .arg(path, why.reason()) +
           noTrashEnd;
}

QString noTrashReplaceQuestionText(const QString& path, const FsError& why) {
    return QStringLiteral("%1 cannot be kept in the Trash: %2.\r\n\r\nReplace ")
               .arg(path, why.reason()) +
           noTrashEnd;
}

bool isNoTrashQuestion(const QString& question) {
    return question.endsWith(noTrashEnd);
}
