#include "comparison/host_commands.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "fileops/file_texts.h"

#include <cerrno>
#include <sys/stat.h>

bool deleteOnSide(CommandHost& host, const std::shared_ptr<FolderSide>& side,
                  const QByteArray& folder, const QByteArray& shownFolder, const QByteArray& name,
                  DeleteWay way, UndoJournal* journal) {
    const FileLocation shown{shownFolder, name};
    const QByteArray path = FileLocation{folder, name}.path();
    const QString text = shown.text();
    const SidePlace root = side->root();
    struct stat chosen {};
    const auto still = [&](const struct stat* was) {
        struct stat now {};
        FsResult there = side->stat(root, path.constData(), now)
                             ? FsResult()
                             : FsResult(FsError::fromErrno(errno, text));
        if (there && was && (now.st_dev != was->st_dev || now.st_ino != was->st_ino))
            there = FsError(ESTALE, text,
                            QStringLiteral("another file stands at its name since it was chosen"));
        if (!there)
            tellFailure(host, QStringLiteral("%1 was not deleted.").arg(text), there.error());
        else if (!was)
            chosen = now;
        return there.ok();
    };
    if (!still(nullptr))
        return false;
    const bool isFolder = S_ISDIR(chosen.st_mode);
    const QString question =
        isFolder
            ? QStringLiteral("Are you sure you want to delete %1 and everything in it?").arg(text)
            : deleteQuestionText(text);
    if (host.ask(question, MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return false;
    // Read-only (no one may write it) or hidden, as a file here is asked about.
    const bool guarded = (chosen.st_mode & 0222) == 0 || name.startsWith('.');
    if (!isFolder && guarded &&
        host.ask(attributeQuestionText(), MsgStyle::QuestionYesNo) != Answer::Yes)
        return false;
    if (!still(&chosen)) // asked about a while ago
        return false;
    return deleteChosenAt(host, shown, way, journal, isFolder, side, root, path);
}

FsResult renameOnSide(const std::shared_ptr<FolderSide>& side, const QByteArray& folder,
                      const QByteArray& name, const QString& newName, UndoJournal* journal) {
    const FileLocation from{folder, name}, to{folder, nameBytes(newName)};
    if (FsResult valid = FileSystem::checkName({{}, to.name}); !valid)
        return FsError(EINVAL, to.text(), valid.error().reason());
    if (!side->rename(side->root(), from.path(), side->root(), to.path()))
        return FsError::fromErrno(errno, from.text());
    if (journal)
        journal->record({UndoStep::Kind::Renamed, to.path(), from.path(), {}, {}}, side);
    return {};
}
