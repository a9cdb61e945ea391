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

} // namespace

AfterFile transferFile(Platform& platform, QWidget* owner, const Transfer& t,
                       const CopyOptions& options) {
    const QString sourceText = t.source.text();
    FileLocation target{t.targetFolder, t.source.name};
    bool copied = false;
    const auto step = [&](Existing existing) {
        if (t.move)
            return moveFile(t.source, target, existing, options, copied);
        const FsResult done = copyFile(t.source, target, existing, options);
        copied = done.ok();
        return done;
    };
    try {
        const bool ownFolder = folderPath(t.source.folder) == folderPath(t.targetFolder);
        if (t.pasting && ownFolder) {
            for (int k = 1; taken(target.path()); ++k)
                target.name = FileSystem::copyName(t.source.name, k);
        }
        // The question only when the name is taken: the step itself looks.
        FsResult done = step(Existing::Keep);
        if (!done && done.error().number() == EEXIST && !copied && !(t.pasting && ownFolder)) {
            if (t.pasting)
                platform.beep();
            const QString prompt =
                overwritePromptText(nameText(t.targetFolder), nameText(target.name), sourceText,
                                    FileSystem::stat(t.source.path()), target.text(),
                                    FileSystem::stat(target.path()), TextFormats());
            if (platform.messageBox(owner, prompt, MsgStyle::QuestionYesNo) != Answer::Yes)
                return AfterFile::GoOn;
            done = step(Existing::Replace);
        }
        check(done);
    } catch (const FsError& e) {
        const QString what = copied ? QStringLiteral("%1 was copied but could not be removed.")
                                    : QStringLiteral("%1 could not be copied.");
        if (tell(platform, owner, what.arg(sourceText), e, t.othersFollow))
            return AfterFile::Stop;
    }
    return AfterFile::GoOn;
}

bool deleteFileAsked(Platform& platform, QWidget* owner, const FileLocation& file) {
    const QString pathText = file.text();
    if (platform.messageBox(owner, deleteQuestionText(pathText),
                            MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return false;
    const QByteArray path = file.path();
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

FsResult renameInFolder(const FileLocation& file, const QString& newName) {
    // The bytes that reach the file system are checked, not the text typed.
    const FileLocation renamed{file.folder, nameBytes(newName)};
    if (FsResult valid = FileSystem::checkName(renamed); !valid)
        return valid;
    if (file.name.isEmpty())
        return FsError(EINVAL, file.text(), QStringLiteral("not a valid file name"));
    return FileSystem::renameFile(file.path(), renamed.path());
}
