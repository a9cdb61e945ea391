#include "fileops/file_texts.h"

#include "core/name_text.h"
#include "core/text_formats.h"

QString overwritePromptText(const QString& folderText, const QString& name,
                            const QString& sourcePath, const FileStat& source,
                            const QString& targetPath, const FileStat& target,
                            const TextFormats& formats) {
    const QString crlf = QStringLiteral("\r\n");
    const QString indent(9, QLatin1Char(' '));
    const auto block = [&](const QString& path, const FileStat& st) {
        return path + crlf + crlf + indent + QLatin1String("Size: ") + formats.sizeText(st.size) +
               crlf + indent + QLatin1String("Modified: ") + formats.longDateTimeText(st.modified);
    };
    return QLatin1String("The folder ") + folderText +
           QLatin1String(" already contains a file called ") + name +
           QLatin1String(". Do you want to overwrite it?") + crlf + crlf +
           block(sourcePath, source) + crlf + crlf + block(targetPath, target);
}

QString deleteQuestionText(const QString& path) {
    return QLatin1String("Are you sure you want to delete ") + path + QLatin1Char('?');
}

QString attributeQuestionText() {
    return QStringLiteral("This file has read-only, hidden or system attributes. "
                          "Are you sure you want to delete it?");
}

QString failureText(const QString& what, const FsError& error) {
    return what + QLatin1String("\r\n\r\n") + error.description();
}
