#include "fileops/tree_transfer.h"

#include "core/message_style.h"
#include "core/name_text.h"
#include "fileops/undo_journal.h"
#include "shell/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray at(const QByteArray& top, const QByteArray& below) {
    return below.isEmpty() ? top : top + '/' + below;
}

// True when `below` is the folder `folder` or lies under it.
bool holds(const QByteArray& folder, const QByteArray& below) {
    return folder.isEmpty() || below == folder || below.startsWith(folder + '/');
}

// A folder of the copy between its making and its finishing.
struct OpenFolder {
    QByteArray below;  // its path below the top, "" for the top
    bool made = false; // made by the copy, not merged into one that was there
};

} // namespace

AfterFile transferFolder(Platform& platform, QWidget* owner, const Transfer& t,
                         const TreePlan& plan, const CopyOptions& options, TreeRun& run) {
    const QByteArray from = t.source.path();
    const QByteArray top = pasteTarget(t).path();
    const auto tell = [&](const QString& what, const FsError& error) {
        return tellFailure(platform, owner, what, error, t.othersFollow);
    };
    const QString notCopied = QStringLiteral("%1 could not be copied.");
    if (FsResult inside = checkNotInside(from, t.targetFolder); !inside)
        return tell(notCopied.arg(t.source.text()), inside.error()) ? AfterFile::Stop
                                                                    : AfterFile::GoOn;
    if (t.move) {
        // Within one file system the whole tree moves in one rename.
        if (FileSystem::renameNoReplace(AT_FDCWD, from.constData(), AT_FDCWD, top.constData()) ==
            0) {
            if (t.journal)
                t.journal->record({UndoStep::Kind::Moved, top, from, {}, {}});
            run.advanced(plan.files, plan.bytes);
            return AfterFile::GoOn;
        }
        if (errno != EXDEV && errno != EEXIST && errno != ENOTEMPTY)
            return tell(notCopied.arg(t.source.text()), FsError::fromErrno(errno, nameText(from)))
                       ? AfterFile::Stop
                       : AfterFile::GoOn;
    }
    size_t lastFile = 0;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (plan.entries[i].kind != TreeEntry::Kind::Folder)
            lastFile = i;
    }
    std::vector<OpenFolder> open;
    // Times go on last, as the entries made in a folder change them; a moved
    // tree's source folder goes once it is empty.
    const auto close = [&] {
        const OpenFolder f = open.back();
        open.pop_back();
        const QByteArray source = at(from, f.below), target = at(top, f.below);
        if (f.made) {
            if (FsResult kept = finishFolder(source, target); !kept)
                tellFailure(platform, owner, notCopied.arg(nameText(source)), kept.error());
        }
        struct stat st {};
        if (t.move && ::lstat(source.constData(), &st) == 0 && ::rmdir(source.constData()) == 0 &&
            t.journal) {
            UndoStep removed{UndoStep::Kind::FolderRemoved, {}, source, {}, {}};
            removed.mode = st.st_mode & 07777;
            t.journal->record(removed);
        }
    };
    // Each folder's files reach it through descriptors held while they are
    // copied, and closed before the next folder's: never one for every folder.
    CopyOptions fileOptions = options;
    AfterFile after = AfterFile::GoOn;
    QByteArray passedOver; // a folder that could not be made, with what is below it
    bool passing = false;
    for (size_t i = 0; i < plan.entries.size() && after == AfterFile::GoOn; ++i) {
        if (run.cancelled && run.cancelled())
            break;
        const TreeEntry& e = plan.entries[i];
        const QByteArray source = entryPath(from, e);
        if (e.kind == TreeEntry::Kind::Folder) {
            const QByteArray below = entryPath({}, e);
            while (!open.empty() && !holds(open.back().below, below))
                close();
            if (passing && holds(passedOver, below))
                continue;
            passing = false;
            const QByteArray target = entryPath(top, e);
            OpenFolder f{below, false};
            struct stat st {};
            if (FsResult made = makeFolder(target); made) {
                f.made = true;
                if (t.journal)
                    t.journal->record({UndoStep::Kind::FolderMade, target, {}, {}, {}});
            } else if (made.error().number() != EEXIST || ::lstat(target.constData(), &st) != 0 ||
                       !S_ISDIR(st.st_mode)) {
                // Something else stands where the folder goes: nothing below it is copied.
                const FsError error = made.error().number() == EEXIST
                                          ? FsError::fromErrno(ENOTDIR, nameText(target))
                                          : made.error();
                const bool skipRest = tell(notCopied.arg(nameText(source)), error);
                if (i == 0)
                    return skipRest ? AfterFile::Stop : AfterFile::GoOn;
                if (skipRest)
                    after = AfterFile::Stop;
                passing = true;
                passedOver = below;
                continue;
            }
            open.push_back(f);
            fileOptions.folders = std::make_shared<HeldFolders>();
            if (e.unreadable != 0 &&
                tell(QStringLiteral("%1 could not be read.").arg(nameText(source)),
                     FsError::fromErrno(e.unreadable, nameText(source))))
                after = AfterFile::Stop;
            continue;
        }
        if (!(passing && holds(passedOver, e.folder))) {
            if (e.kind == TreeEntry::Kind::Special) {
                run.skipped << nameText(source);
            } else {
                Transfer file = t;
                file.source = {at(from, e.folder), e.name};
                file.folder = false;
                file.targetFolder = at(top, e.folder);
                file.linkItself = e.kind == TreeEntry::Kind::Link;
                file.othersFollow = t.othersFollow || i < lastFile;
                after = transferFile(platform, owner, file, fileOptions);
            }
        }
        run.advanced(1, e.size);
    }
    while (!open.empty())
        close();
    return after;
}

void tellSkipped(Platform& platform, QWidget* owner, const QStringList& skipped) {
    if (skipped.isEmpty())
        return;
    constexpr int shownAtMost = 20;
    QString text = QStringLiteral("Only files, links and folders are copied. Skipped:\r\n\r\n") +
                   skipped.mid(0, shownAtMost).join(QStringLiteral("\r\n"));
    if (skipped.size() > shownAtMost)
        text += QStringLiteral("\r\n... and %1 more").arg(skipped.size() - shownAtMost);
    platform.messageBox(owner, text, MsgStyle::Information);
}
