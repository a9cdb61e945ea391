#include "fileops/file_steps.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/content_check.h"
#include "fileops/command_host.h"
#include "fileops/file_texts.h"
#include "fileops/folder_tree.h"
#include "fileops/side_copy.h"
#include "fileops/source_removals.h"
#include "fileops/undo_journal.h"
#include "fs/local_side.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

// One failure often means many (a full disk, a folder gone read-only), each
// with its message: the user may skip the rest.
bool tellFailure(CommandHost& host, const QString& what, const FsError& error, bool othersFollow) {
    host.beep();
    if (!othersFollow) {
        host.ask(failureText(what, error), MsgStyle::Critical);
        return false;
    }
    const QString text =
        failureText(what, error) + QStringLiteral("\r\n\r\nCancel skips the files still to come.");
    return host.ask(text, MsgStyle::CriticalOkCancel) == Answer::Cancel;
}

namespace {

void check(const FsResult& result) {
    if (!result)
        throw result.error();
}

// Any entry takes a name, a folder or a dangling link included.
bool taken(const QByteArray& path) {
    return FileSystem::attributes(path) >= 0;
}

bool intoOwnFolder(const Transfer& t) {
    return t.pasting && folderPath(t.source.folder) == folderPath(t.targetFolder);
}

FsResult stepOnce(const Transfer& t, const FileLocation& target, Existing existing,
                  const CopyOptions& options, bool& copied) {
    struct stat st {};
    UniqueFd own;
    const int dir = t.linkItself ? openFolderOf(options, t.source.folder, O_PATH, own) : -1;
    if (dir >= 0 && ::fstatat(dir, t.source.name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode))
        return t.move ? moveLink(t.source, target, existing, copied, options)
                      : copyLink(t.source, target, existing, options);
    return t.move ? moveFile(t.source, target, existing, options, copied)
                  : copyFile(t.source, target, existing, options);
}

// Notes for Undo what a transfer did. `kept` is the replaced file's place in
// the Trash, when there is one.
void noteTransfer(const Transfer& t, const FileLocation& target, bool replaced,
                  const std::optional<TrashEntry>& kept, bool sourceRemoved) {
    using Kind = UndoStep::Kind;
    if (!t.journal)
        return;
    if (replaced && !kept) {
        t.journal->endHistory(
            QStringLiteral("A file was replaced without the Trash: it cannot be brought back."));
        return;
    }
    if (!t.move || !sourceRemoved) {
        t.journal->record({kept ? Kind::Replaced : Kind::Copied,
                           target.path(),
                           {},
                           {},
                           kept.value_or(TrashEntry{})},
                          t.sides[1]);
        return;
    }
    // Undone last first: the file goes home, then the replaced one comes back.
    if (kept)
        t.journal->record({Kind::Trashed, {}, target.path(), {}, *kept}, t.sides[1]);
    t.journal->record({Kind::Moved, target.path(), t.source.path(), {}, {}}, t.sides[1]);
}

// A replaced file keeps a second name in the Trash while the copy takes its
// place. Without a Trash on its drive the user may replace it for good.
FsResult keepInTrash(CommandHost& host, const FileLocation& target, const CopyOptions& options,
                     std::optional<TrashEntry>& kept) {
    TrashEntry entry;
    // Reached from the folder the copy goes into, as the copy reaches it.
    UniqueFd own;
    const int dir = openFolderOf(options, target.folder, O_PATH, own);
    FsResult linked = dir < 0 ? FsResult(FsError::fromErrno(errno, nameText(target.folder)))
                              : Trash::linkIntoTrashAt(dir, target.name, target.path(), entry);
    if (linked) {
        kept = entry;
        return linked;
    }
    if (linked.error().number() == ENOTSUP &&
        host.ask(noTrashReplaceQuestionText(target.text(), linked.error()),
                 MsgStyle::QuestionYesNoNoDefault) == Answer::Yes)
        return {};
    return linked;
}

// Yes, No or Cancel for `target`, from the command's standing answer when
// the user gave one for all files, else from the question.
int askOverwrite(CommandHost& host, const Transfer& t, const FileLocation& target) {
    const ForAll standing = t.forAll ? *t.forAll : ForAll::Ask;
    if (standing != ForAll::Ask)
        return standing == ForAll::Replace ? Answer::Yes : Answer::No;
    if (t.pasting)
        host.beep();
    const QString prompt = overwritePromptText(
        nameText(t.targetFolder), nameText(target.name), t.source.text(),
        FileSystem::stat(t.source.path()), target.text(), FileSystem::stat(target.path()),
        TextFormats(), knownSameContents(t.source.path(), target.path()));
    const bool forOthers = t.forAll && t.othersFollow;
    const int answer =
        host.ask(prompt, forOthers ? MsgStyle::QuestionYesNoToAll : MsgStyle::QuestionYesNo);
    if (answer == Answer::YesToAll || answer == Answer::NoToAll) {
        *t.forAll = answer == Answer::YesToAll ? ForAll::Replace : ForAll::Skip;
        return answer == Answer::YesToAll ? Answer::Yes : Answer::No;
    }
    return answer == Answer::Yes || (forOthers && answer == Answer::Cancel) ? answer : Answer::No;
}

// Reaches the folder of a row's file in `walk`, as RowPlace tells.
FsResult reachRowFolder(SideWalk& walk, const FileLocation& file, const RowPlace& row) {
    return reachFolder(walk, file.folder, file.path(), row.top.isEmpty() ? file.folder : row.top);
}

// The read-only, hidden and system bits of the entry `name` at `place`, as
// a listing gives them (what a link leads to, a link leading nowhere being
// a system entry); 0 for nothing.
int protectedBits(FolderSide& side, const SidePlace& place, const QByteArray& name) {
    struct stat st {};
    const int bits = name.startsWith('.') ? Attr::Hidden : 0;
    if (!side.stat(place, name.constData(), st, true))
        return side.stat(place, name.constData(), st) ? bits | Attr::System : 0;
    if (S_ISDIR(st.st_mode))
        return bits;
    if (!S_ISREG(st.st_mode))
        return bits | Attr::System;
    return bits | (st.st_mode & S_IWUSR ? 0 : Attr::ReadOnly);
}

// The files below the folder `folder.name` at `place`, for the question
// before it is deleted: counted by the plan's walk where its files are read
// here, else by the side's listings, links not followed. Nothing, with
// errno, when it cannot be read.
std::optional<qint64> filesBelow(FolderSide& side, const SidePlace& place,
                                 const FileLocation& folder) {
    TreePlan plan;
    if (side.localFolder(place)) {
        if (FsResult planned = planTreeOn(side, place, folder, plan, PlanDetail::Counted);
            !planned) {
            errno = planned.error().number();
            return std::nullopt;
        }
        return plan.files;
    }
    FilterSettings all;
    all.showHidden = all.showSystem = 1;
    ScanOptions asLinks;
    asLinks.linksAsLinks = true;
    const std::unique_ptr<SideWalk> walk = side.walk();
    const auto count = [&](const auto& self, const QByteArray& path) -> std::optional<qint64> {
        qint64 files = 0;
        try {
            const FolderListing level = side.list(walk->place(), path, all, asLinks);
            for (qsizetype i = 0; i < level.count(); ++i) {
                const QByteArray name = level.fileName(i).toByteArray();
                if (!level.isFolder(i) || level.isLink(i)) {
                    ++files;
                    continue;
                }
                std::optional<qint64> inside;
                if (walk->enter(name)) {
                    inside = self(self, FileLocation{path, name}.path());
                    if (!walk->leave())
                        return std::nullopt;
                }
                if (!inside)
                    return std::nullopt;
                files += *inside;
            }
        } catch (const FsError& e) {
            errno = e.number();
            return std::nullopt;
        }
        return files;
    };
    if (!walk->openTopAt(place, folder.name, folder.path()))
        return std::nullopt;
    return count(count, folder.path());
}

} // namespace

FileLocation pasteTarget(const Transfer& t) {
    FileLocation target{t.targetFolder, t.source.name};
    if (intoOwnFolder(t)) {
        for (int k = 1; taken(target.path()); ++k)
            target.name = FileSystem::copyName(t.source.name, k);
    }
    return target;
}

AfterFile transferFile(CommandHost& host, const Transfer& t, const CopyOptions& options) {
    const QString sourceText = t.source.text();
    const bool ownFolder = intoOwnFolder(t);
    const FileLocation target = pasteTarget(t);
    bool copied = false;
    bool replaced = false;
    std::optional<TrashEntry> kept;
    const auto step = [&](Existing existing) {
        if (existing == Existing::Replace && t.keepReplaced) {
            if (FsResult keeping = keepInTrash(host, target, options, kept); !keeping)
                return keeping;
        }
        CopyOptions keeping; // the old file stays in the Trash
        if (kept) {
            keeping = options;
            keeping.replacedKept = true;
        }
        FsResult done = stepOnce(t, target, existing, kept ? keeping : options, copied);
        if (!t.move)
            copied = done.ok();
        replaced = copied && existing == Existing::Replace;
        if (!copied && kept) {
            Trash::discard(*kept); // the old file is still in its place
            kept.reset();
        }
        return done;
    };
    const size_t pending = options.removals ? options.removals->size() : 0;
    try {
        // The question only when the name is taken: the step itself looks.
        FsResult done = step(Existing::Keep);
        if (!done && done.error().number() == EEXIST && !copied && !ownFolder) {
            switch (askOverwrite(host, t, target)) {
            case Answer::Yes:
                break;
            case Answer::Cancel:
                return AfterFile::Stop;
            default:
                return AfterFile::GoOn;
            }
            done = step(Existing::Replace);
        }
        if (copied && options.removals && options.removals->size() > pending) {
            // Its source goes (or the copy takes the replaced file's name)
            // with the command's batch, once the copy is on disk.
            options.removals->thenForLast([&host, t, target, replaced, kept,
                                           sourceText](const FsResult& removed, bool tell) {
                if (t.move || removed)
                    noteTransfer(t, target, replaced, kept, removed.ok());
                const QString what = t.move
                                         ? QStringLiteral("%1 was copied but could not be removed.")
                                         : QStringLiteral("%1 could not be copied.");
                return !removed && tell &&
                               tellFailure(host, what.arg(sourceText), removed.error(),
                                           t.othersFollow)
                           ? SourceRemovals::After::Stop
                           : SourceRemovals::After::GoOn;
            });
            return AfterFile::GoOn;
        }
        if (copied)
            noteTransfer(t, target, replaced, kept, done.ok());
        check(done);
    } catch (const FsError& e) {
        const QString what = copied ? QStringLiteral("%1 was copied but could not be removed.")
                                    : QStringLiteral("%1 could not be copied.");
        if (tellFailure(host, what.arg(sourceText), e, t.othersFollow))
            return AfterFile::Stop;
    }
    return AfterFile::GoOn;
}

bool deleteFileAsked(CommandHost& host, const FileLocation& file, DeleteWay way,
                     UndoJournal* journal, bool folder, const FileIdentity* chosen,
                     const RowPlace& row) {
    const QByteArray path = file.path();
    const QString pathText = row.shown.isEmpty() || !path.startsWith(row.top)
                                 ? file.text()
                                 : nameText(row.shown + path.mid(row.top.size()));
    const std::shared_ptr<FolderSide>& side = row.side ? row.side : localSide();
    // Its folder held from the first look to the deletion: what is checked,
    // asked about and deleted is one entry, whatever is renamed above it.
    const std::unique_ptr<SideWalk> walk = side->walk();
    const FsResult reached = reachRowFolder(*walk, file, row);
    const auto notChosen = [&] {
        const FsResult still = reached ? stillChosen(file, chosen, *side, walk->place()) : reached;
        if (!still)
            tellFailure(host, QStringLiteral("%1 was not deleted.").arg(pathText), still.error());
        return !still;
    };
    if (notChosen())
        return false;
    const SidePlace place = walk->place();
    struct stat st {};
    std::optional<FileIdentity> first;
    if (!chosen && side->stat(place, file.name.constData(), st))
        chosen = &first.emplace(FileIdentity::of(st));
    // A link to a folder goes alone.
    folder = folder && !(side->stat(place, file.name.constData(), st) && S_ISLNK(st.st_mode));
    std::optional<qint64> files;
    if (folder) {
        files = filesBelow(*side, place, file);
        if (!files) {
            tellFailure(host, QStringLiteral("%1 could not be read.").arg(pathText),
                        FsError::fromErrno(errno, pathText));
            return false;
        }
    }
    const QString question =
        folder ? folderDeleteQuestionText(pathText, *files) : deleteQuestionText(pathText);
    if (host.ask(question, MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return false;
    if (!folder && protectedBits(*side, place, file.name) != 0 &&
        host.ask(attributeQuestionText(), MsgStyle::QuestionYesNo) != Answer::Yes)
        return false;
    if (notChosen()) // asked about a while ago
        return false;
    return deleteChosenAt(host, file, way, journal, folder, side, place, file.name);
}

bool deleteChosen(CommandHost& host, const FileLocation& file, DeleteWay way, UndoJournal* journal,
                  bool folder, int folderFd) {
    const std::shared_ptr<FolderSide>& local = localSide();
    return folderFd < 0
               ? deleteChosenAt(host, file, way, journal, folder, local, local->root(), file.path())
               : deleteChosenAt(host, file, way, journal, folder, local,
                                SidePlace::descriptor(folderFd), file.name);
}

bool deleteChosenAt(CommandHost& host, const FileLocation& file, DeleteWay way,
                    UndoJournal* journal, bool folder, const std::shared_ptr<FolderSide>& side,
                    const SidePlace& place, const QByteArray& name) {
    const QString pathText = file.text();
    const QByteArray path = file.path();
    struct stat st {};
    folder = folder && side->stat(place, name.constData(), st) &&
             S_ISDIR(st.st_mode); // a link to a folder goes alone
    if (way == DeleteWay::ToTrash) {
        TrashEntry entry;
        const FsResult trashed = side->trash(place, name, path, entry);
        if (trashed) {
            if (journal)
                journal->record({UndoStep::Kind::Trashed, {}, path, {}, entry}, side);
            return true;
        }
        if (trashed.error().number() != ENOTSUP) {
            tellFailure(host, QStringLiteral("%1 could not be moved to the Trash.").arg(pathText),
                        trashed.error());
            return false;
        }
        if (host.ask(noTrashDeleteQuestionText(pathText, trashed.error()),
                     MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
            return false;
    }
    const FsResult removed =
        folder ? side->removeTree(place, name, path) : side->removeFile(place, name, path, nullptr);
    if (!removed) {
        tellFailure(host, QStringLiteral("%1 could not be deleted.").arg(pathText),
                    removed.error());
        return false;
    }
    if (journal)
        journal->endHistory(QStringLiteral(
            "Files were deleted permanently: the commands before cannot be undone."));
    return true;
}

namespace {

FsResult stillThat(const FileLocation& file, const FileIdentity* chosen,
                   const std::optional<FileIdentity>& now) {
    // Its data may have changed: it is still the file chosen.
    if (!chosen || !now || (now->device == chosen->device && now->inode == chosen->inode))
        return {};
    return FsError(ESTALE, file.text(),
                   QStringLiteral("another file stands at its name since it was chosen"));
}

} // namespace

FsResult stillChosen(const FileLocation& file, const FileIdentity* chosen, int folderFd) {
    if (!chosen)
        return {};
    return stillThat(file, chosen,
                     folderFd >= 0 ? FileIdentity::at(folderFd, file.name.constData())
                                   : FileIdentity::of(file.path()));
}

FsResult stillChosen(const FileLocation& file, const FileIdentity* chosen, FolderSide& side,
                     const SidePlace& place) {
    struct stat st {};
    if (!chosen || !side.stat(place, file.name.constData(), st))
        return {};
    return stillThat(file, chosen, FileIdentity::of(st));
}

FsResult renameInFolder(const FileLocation& file, const QString& newName, UndoJournal* journal,
                        const FileIdentity* chosen, const RowPlace& row) {
    // The bytes that reach the file system are checked, not the text typed.
    const FileLocation renamed{file.folder, nameBytes(newName)};
    if (FsResult valid = FileSystem::checkName(renamed); !valid)
        return valid;
    if (file.name.isEmpty())
        return FsError(EINVAL, file.text(), QStringLiteral("not a valid file name"));
    const std::shared_ptr<FolderSide>& side = row.side ? row.side : localSide();
    const std::unique_ptr<SideWalk> walk = side->walk();
    if (FsResult reached = reachRowFolder(*walk, file, row); !reached)
        return reached;
    if (FsResult still = stillChosen(file, chosen, *side, walk->place()); !still)
        return still;
    if (!side->rename(walk->place(), file.name, walk->place(), renamed.name)) {
        const int err = errno;
        return FsError::fromErrno(err, (err == EEXIST ? renamed : file).text());
    }
    if (journal)
        journal->record({UndoStep::Kind::Renamed, renamed.path(), file.path(), {}, {}}, side);
    return {};
}
