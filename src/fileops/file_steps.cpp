#include "fileops/file_steps.h"

#include "core/message_style.h"
#include "core/name_text.h"
#include "core/text_formats.h"
#include "fileops/file_texts.h"
#include "shell/platform.h"

#include <cerrno>

namespace {

// True when the user chose to skip the files still to come: one failure often
// means many (a full disk, a folder gone read-only), each with its message.
bool tell(Platform& platform, QWidget* owner, const QString& what, const FsError& error,
          bool othersFollow = false) {
    platform.beep();
    if (!othersFollow) {
        platform.messageBox(owner, failureText(what, error), MsgStyle::Critical);
        return false;
    }
    const QString text =
        failureText(what, error) + QStringLiteral("\r\n\r\nCancel skips the files still to come.");
    return platform.messageBox(owner, text, MsgStyle::CriticalOkCancel) == Answer::Cancel;
}

void check(const FsResult& result) {
    if (!result)
        throw result.error();
}

// Any entry takes a name, a folder or a dangling link included.
bool taken(const QByteArray& path) {
    return FileSystem::attributes(path) >= 0;
}

bool fileExists(const QByteArray& path) {
    const int bits = FileSystem::attributes(path);
    return bits >= 0 && !(bits & Attr::Folder);
}

} // namespace

AfterFile transferFile(Platform& platform, QWidget* owner, const Transfer& t,
                       const CopyOptions& options) {
    const QByteArray source = filePathBytes(t.sourceFolderText, t.fileName);
    const QString sourceText = filePathText(t.sourceFolderText, t.name);
    bool copied = false;
    try {
        const FileStat sourceStat = FileSystem::stat(source); // gone: told and skipped
        QByteArray targetName = t.fileName;
        if (t.pasting && folderPath(t.sourceFolderText) == folderPath(t.targetFolderText)) {
            for (int k = 1; taken(filePathBytes(t.targetFolderText, targetName)); ++k)
                targetName = copyName(t.fileName, k);
        }
        const QByteArray target = filePathBytes(t.targetFolderText, targetName);
        if (targetName == t.fileName && fileExists(target)) {
            if (t.pasting)
                platform.beep();
            const QString targetText = filePathText(t.targetFolderText, t.name);
            const QString prompt =
                overwritePromptText(t.targetFolderText, t.name, sourceText, sourceStat, targetText,
                                    FileSystem::stat(target), TextFormats());
            if (platform.messageBox(owner, prompt, MsgStyle::QuestionYesNo) != Answer::Yes)
                return AfterFile::GoOn;
        }
        if (t.move) {
            check(moveRegularFile(source, target, options, copied));
        } else {
            check(copyRegularFile(source, target, options));
            copied = true;
        }
    } catch (const FsError& e) {
        const QString what = copied ? QStringLiteral("%1 was copied but could not be removed.")
                                    : QStringLiteral("%1 could not be copied.");
        if (tell(platform, owner, what.arg(sourceText), e, t.othersFollow))
            return AfterFile::Stop;
    }
    return AfterFile::GoOn;
}

bool deleteFileAsked(Platform& platform, QWidget* owner, const QString& folderText,
                     const QString& name, const QByteArray& fileName) {
    const QString pathText = filePathText(folderText, name);
    if (platform.messageBox(owner, deleteQuestionText(pathText),
                            MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return false;
    const QByteArray path = filePathBytes(folderText, fileName);
    const int bits = FileSystem::attributes(path);
    constexpr int protectedBits = Attr::ReadOnly | Attr::Hidden | Attr::System;
    if (bits >= 0 && (bits & protectedBits) &&
        platform.messageBox(owner, attributeQuestionText(), MsgStyle::QuestionYesNo) != Answer::Yes)
        return false;
    if (const FsResult removed = FileSystem::removeFile(path); !removed) {
        tell(platform, owner, QStringLiteral("%1 could not be deleted.").arg(pathText),
             removed.error());
        return false;
    }
    return true;
}

FsResult renameInFolder(const QString& folderText, const QByteArray& fileName,
                        const QString& newName) {
    if (fileName.isEmpty() || newName.isEmpty() || newName == QLatin1String(".") ||
        newName == QLatin1String("..") || newName.contains(QLatin1Char('/')) ||
        newName.contains(QChar(u'\0')))
        return FsError(EINVAL, filePathText(folderText, newName),
                       QStringLiteral("not a valid file name"));
    return FileSystem::renameFile(filePathBytes(folderText, fileName),
                                  filePathBytes(folderText, FileSystem::encode(newName)));
}
