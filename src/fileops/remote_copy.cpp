#include "fileops/remote_copy.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/flat_rows.h"
#include "fileops/command_host.h"
#include "fileops/file_steps.h"
#include "fileops/file_texts.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "fs/folder_chain.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"
#include "remote/remote_side.h"
#include "remote/remote_trash.h"
#include "remote/rsync_transfer.h"
#include "remote/ssh_link.h"

#include <QHash>
#include <QRegularExpression>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <unistd.h>

namespace {

const RemoteSide& hostOf(const AcrossEnd& from, const AcrossEnd& to) {
    return static_cast<const RemoteSide&>(from.onHost() ? *from.side : *to.side);
}

// The name rsync gives its temporary for `name` while it writes it.
bool rsyncTemporaryOf(QByteArrayView entry, QByteArrayView name) {
    static const QRegularExpression suffix(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    return entry.size() == name.size() + 8 && entry.startsWith('.') &&
           entry.sliced(1, name.size()) == name &&
           suffix.match(QLatin1StringView(entry.sliced(name.size() + 1))).hasMatch();
}

// Removes rsync's temporaries of the names not copied, each in its folder
// on the target's side, where rsync, cut off, did not: only files of the
// very form ".NAME.XXXXXX".
void removeLeftovers(const AcrossEnd& to, const std::vector<const AcrossFile*>& unsent) {
    if (unsent.empty())
        return;
    if (to.onHost()) {
        QByteArray input;
        for (const AcrossFile* f : unsent)
            input += below(to.top, folderPart(f->relative)) + '\0' +
                     namePart(f->relative).toByteArray() + '\0';
        const QByteArray x = "[A-Za-z0-9]";
        static_cast<const RemoteSide&>(*to.side).link()->run(
            "env LC_ALL=C xargs -0 -r -n 2 sh -c 'for t in \"$0\"/.\"$1\"." + x + x + x + x + x +
                x + "; do [ -f \"$t\" ] && ! [ -L \"$t\" ] && rm -f -- \"$t\"; done; exit 0'",
            input, {});
        return;
    }
    for (const AcrossFile* f : unsent) {
        const std::optional<SidePlace> place = to.reach(folderPart(f->relative));
        if (!place)
            continue;
        UniqueFd fd(::openat(place->fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        DIR* dir = fd.fd >= 0 ? ::fdopendir(fd.fd) : nullptr;
        if (!dir)
            continue;
        fd.fd = -1; // the stream owns it
        const QByteArrayView name = namePart(f->relative);
        while (const dirent* e = ::readdir(dir)) {
            struct stat st {};
            if (rsyncTemporaryOf(e->d_name, name) &&
                ::fstatat(place->fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode))
                ::unlinkat(place->fd(), e->d_name, 0);
        }
        ::closedir(dir);
    }
}

// What the target holds of each name made, the copies' own and those inside
// folders copied whole.
std::vector<std::optional<struct stat>> statMade(const AcrossEnd& to,
                                                 const std::vector<QByteArray>& relatives) {
    if (to.onHost())
        return statOnHost(static_cast<const RemoteSide&>(*to.side), to.top, relatives);
    std::vector<std::optional<struct stat>> made;
    for (const QByteArray& relative : relatives) {
        struct stat st {};
        const std::optional<SidePlace> place = to.reach(folderPart(relative));
        made.push_back(
            place && to.side->stat(*place, namePart(relative).toByteArray().constData(), st)
                ? std::optional(st)
                : std::nullopt);
    }
    return made;
}

// Gives each file to be replaced a second name in the Trash of the
// target's side (on a host, all in two commands), telling each failure.
std::vector<std::optional<TrashEntry>> keepAll(CommandHost& host, const AcrossEnd& to,
                                               const std::vector<AcrossFile>& files) {
    std::vector<FsResult> results(files.size());
    std::vector<TrashEntry> entries(files.size());
    std::vector<TrashedName> names;
    for (size_t i = 0; i < files.size(); ++i) {
        const AcrossFile& f = files[i];
        if (!f.replaced)
            continue;
        const QByteArray folder = below(to.top, folderPart(f.relative));
        if (to.onHost()) {
            names.push_back({folder, namePart(f.relative).toByteArray()});
            continue;
        }
        const std::optional<SidePlace> place = to.reach(folderPart(f.relative));
        results[i] = place ? to.side->keepInTrash(*place, namePart(f.relative).toByteArray(),
                                                  below(to.top, f.relative), entries[i])
                           : FsResult(FsError::fromErrno(ESTALE, nameText(folder)));
    }
    if (to.onHost()) {
        std::vector<TrashEntry> told;
        const std::vector<FsResult> linked =
            linkIntoTrashRemote(*static_cast<const RemoteSide&>(*to.side).link(), names, told);
        for (size_t i = 0, k = 0; i < files.size(); ++i) {
            if (files[i].replaced) {
                results[i] = linked[k];
                entries[i] = told[k++];
            }
        }
    }
    std::vector<std::optional<TrashEntry>> kept(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        if (!files[i].replaced)
            continue;
        if (results[i])
            kept[i] = entries[i];
        else
            tellFailure(host,
                        QStringLiteral("%1 was not replaced.")
                            .arg(nameText(below(to.top, files[i].relative))),
                        results[i].error());
    }
    return kept;
}

// rsync's words on why it stopped: what it could not do rather than its
// exit code's line, which follows.
QByteArray decisive(const QByteArray& complaint) {
    const QList<QByteArray> lines = complaint.trimmed().split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith("rsync error:"))
            return line;
    }
    return lines.last();
}

// Notes for Undo what the run made, parents before what they hold: each file
// copied (replacing the one kept in the Trash), each folder made.
void noteMade(UndoJournal& journal, const AcrossEnd& to, const std::vector<QByteArray>& made,
              const std::vector<std::optional<struct stat>>& now,
              const QHash<QByteArray, TrashEntry>& kept) {
    for (size_t i = 0; i < made.size(); ++i) {
        if (!now[i])
            continue;
        UndoStep step;
        step.path = below(to.top, made[i]);
        step.kind = S_ISDIR(now[i]->st_mode) ? UndoStep::Kind::FolderMade
                    : kept.contains(made[i]) ? UndoStep::Kind::Replaced
                                             : UndoStep::Kind::Copied;
        step.trashed = kept.value(made[i]);
        if (to.onHost())
            step.left = FileIdentity::of(*now[i]);
        journal.record(std::move(step), to.side);
    }
}

} // namespace

QByteArray below(const QByteArray& top, QByteArrayView relative) {
    if (relative.isEmpty())
        return top;
    return folderPath(top) + relative.toByteArray();
}

std::vector<std::optional<struct stat>> statOnHost(const RemoteSide& side, const QByteArray& top,
                                                   const std::vector<QByteArray>& relatives) {
    std::vector<QByteArray> paths;
    QHash<QByteArray, size_t> index;
    for (size_t i = 0; i < relatives.size(); ++i) {
        paths.push_back(below(top, relatives[i]));
        index.insert(paths.back(), i);
    }
    std::vector<std::optional<struct stat>> found(relatives.size());
    if (paths.empty())
        return found;
    for (const RemoteEntry& e : side.entries(paths, false)) {
        if (const auto i = index.constFind(e.path); i != index.cend()) {
            struct stat st {};
            RemoteSide::toStat(e, st);
            found[*i] = st;
        }
    }
    return found;
}

bool copyAcross(CommandHost& host, const AcrossEnd& from, const AcrossEnd& to,
                std::vector<AcrossFile>& files, bool keepReplaced, UndoJournal* journal,
                TransferProgress& progress) {
    const AcrossEnd& here = from.onHost() ? to : from;
    const AcrossEnd& there = from.onHost() ? from : to;
    RemoteAddress address = hostOf(from, to).link()->address();
    address.path = to.onHost() ? to.top : QByteArray();
    const QString where = nameText(to.onHost() ? address.written() : to.top);
    const auto tell = [&](const QString& text) { host.ask(text, MsgStyle::Critical); };
    if (files.empty())
        return true;
    // The ends' rsync asked while the files replaced are kept: the host's
    // round trips overlap.
    std::future<RsyncEnds> asking = std::async(
        std::launch::async, [&link = *hostOf(from, to).link()] { return rsyncEnds(link); });
    // Each file replaced keeps a second name in the Trash first: rsync
    // writes the new one beside it and renames it over the name.
    const std::vector<std::optional<TrashEntry>> keeping =
        keepReplaced ? keepAll(host, to, files)
                     : std::vector<std::optional<TrashEntry>>(files.size());
    const RsyncEnds ends = asking.get();
    if (!ends.missing.isEmpty()) {
        for (const std::optional<TrashEntry>& k : keeping) {
            if (k)
                to.side->discard(*k); // nothing replaced: the second names go again
        }
        tell(QStringLiteral("Nothing was copied to %1: %2.")
                 .arg(where, QString::fromLocal8Bit(ends.missing)));
        return false;
    }
    QHash<QByteArray, TrashEntry> kept;
    RsyncTransfer t;
    t.toHost = to.onHost();
    t.remoteFolder = there.top;
    t.localFd = here.fd;
    t.whole = true;
    t.aclsAndAttributes = ends.aclsAndAttributes;
    t.stop = [&host] { return host.cancelled(); };
    QHash<QByteArray, AcrossFile*> byName;
    bool keptAll = true;
    for (size_t i = 0; i < files.size(); ++i) {
        AcrossFile& f = files[i];
        if (f.replaced && keepReplaced) {
            if (!keeping[i]) {
                keptAll = false;
                continue; // told, not replaced
            }
            kept.insert(f.relative, *keeping[i]);
        } else if (f.replaced && journal) {
            journal->endHistory(QStringLiteral(
                "A file was replaced without the Trash: it cannot be brought back."));
        }
        t.names.push_back(f.relative);
        byName.insert(f.relative, &f);
    }
    // In rsync's order, each folder before what it holds.
    std::vector<QByteArray> made;
    t.done = [&](const QByteArray& printed) {
        QByteArray name = rsyncName(printed);
        if (name.endsWith('/'))
            name.chop(1);
        if (name.isEmpty() || name == ".")
            return; // the folders' own tops, which it only passes through
        const AcrossFile* f = byName.value(name);
        progress.advance(1, f ? f->bytes : 0);
        made.push_back(std::move(name));
    };
    const QByteArray complaint =
        t.names.empty() ? QByteArray() : rsyncFiles(*hostOf(from, to).link(), t);
    std::vector<std::optional<struct stat>> now = statMade(to, made);
    QHash<QByteArray, size_t> madeAt;
    for (size_t i = 0; i < made.size(); ++i)
        madeAt.insert(made[i], i);
    std::vector<const AcrossFile*> unsent;
    for (AcrossFile& f : files) {
        const auto i = madeAt.constFind(f.relative);
        // Told as sent, but cut off before it took the name: the old file stays.
        if (i != madeAt.cend() && now[*i] && f.replaced &&
            FolderId::of(*now[*i]) == FolderId::of(*f.replaced))
            now[*i].reset();
        f.made = i == madeAt.cend() ? std::nullopt : now[*i];
        if (!f.made)
            unsent.push_back(&f);
    }
    for (const AcrossFile* f : unsent) {
        // Not copied: its second name in the Trash goes again.
        if (const auto k = kept.constFind(f->relative); k != kept.cend()) {
            to.side->discard(*k);
            kept.erase(k);
        }
    }
    if (journal)
        noteMade(*journal, to, made, now, kept);
    if (complaint.isEmpty())
        return keptAll;
    removeLeftovers(to, unsent);
    if (host.cancelled())
        return false; // the user stopped it: nothing to tell
    const qsizetype copied = qsizetype(files.size() - unsent.size());
    tell(QStringLiteral("Copying to %1 stopped: %2\r\n\r\n%3 of %4 copied; %5 not copied, left "
                        "as they were.")
             .arg(where, QString::fromLocal8Bit(decisive(complaint)))
             .arg(copied)
             .arg(files.size())
             .arg(unsent.size()));
    return false;
}

namespace {

// A host's side, which rsync reaches; another side elsewhere is refused by
// the copy engine.
bool sideOnHost(const std::shared_ptr<FolderSide>& side) {
    return dynamic_cast<const RemoteSide*>(side.get()) != nullptr;
}

FileStat listed(const struct stat& st) {
    return {qint64(st.st_size), st.st_mtim.tv_sec, S_ISDIR(st.st_mode), false};
}

// Yes or No for replacing `target` (Cancel: the rest skipped too), from the
// command's standing answer when the user gave one for all files.
int askReplace(CommandHost& host, const Transfer& t, const struct stat& source,
               const struct stat& target) {
    if (t.forAll && *t.forAll != ForAll::Ask)
        return *t.forAll == ForAll::Replace ? Answer::Yes : Answer::No;
    const FileLocation at{t.targetFolder, t.source.name};
    const bool forOthers = t.forAll && t.othersFollow;
    const int answer = host.ask(
        overwritePromptText(nameText(t.targetFolder), nameText(t.source.name), t.source.text(),
                            listed(source), at.text(), listed(target), TextFormats()),
        forOthers ? MsgStyle::QuestionYesNoToAll : MsgStyle::QuestionYesNo);
    if (answer == Answer::YesToAll || answer == Answer::NoToAll)
        *t.forAll = answer == Answer::YesToAll ? ForAll::Replace : ForAll::Skip;
    return answer == Answer::YesToAll  ? Answer::Yes
           : answer == Answer::NoToAll ? Answer::No
                                       : answer;
}

} // namespace

bool acrossHosts(const Transfer& t) {
    return sideOnHost(t.sides[0]) || sideOnHost(t.sides[1]);
}

AfterFile transferAcross(CommandHost& host, const Transfer& t, TransferProgress& progress) {
    const auto failed = [&](const FsError& error) {
        return tellFailure(host, QStringLiteral("%1 could not be copied.").arg(t.source.text()),
                           error, t.othersFollow)
                   ? AfterFile::Stop
                   : AfterFile::GoOn;
    };
    if (sideOnHost(t.sides[0]) && sideOnHost(t.sides[1]))
        return failed(FsError(EREMOTE, t.source.text(),
                              QStringLiteral("nothing is copied between two hosts")));
    AcrossEnd ends[2];
    FolderChain chain;
    const QByteArray folders[2] = {t.source.folder, t.targetFolder};
    for (int i = 0; i < 2; ++i) {
        ends[i].side = t.sides[i] ? t.sides[i] : localSide();
        if (sideOnHost(t.sides[i])) {
            ends[i].top = RemoteSide::hostPath(folders[i]);
            continue;
        }
        // The folder here as the command gave it, held for the run.
        if (!chain.openTop(folderPath(folders[i]), true))
            return failed(FsError::fromErrno(errno, nameText(folders[i])));
        ends[i].top = folders[i];
        ends[i].fd = chain.fd();
        ends[i].reach = [fd = chain.fd()](QByteArrayView) {
            return std::optional(SidePlace::descriptor(fd));
        };
    }
    const auto look = [&](const AcrossEnd& end) -> std::optional<struct stat> {
        if (end.onHost())
            return statOnHost(static_cast<const RemoteSide&>(*end.side), end.top, {t.source.name})
                .front();
        struct stat st {};
        if (!end.side->stat(*end.reach({}), t.source.name.constData(), st))
            return std::nullopt;
        return st;
    };
    const std::optional<struct stat> source = look(ends[0]), target = look(ends[1]);
    if (!source || (t.chosen && !(FileIdentity::of(*source) == *t.chosen)))
        return failed(FsError::fromErrno(source ? ESTALE : ENOENT, t.source.text()));
    if (target && (S_ISDIR(target->st_mode) || t.folder))
        return failed(
            FsError::fromErrno(EEXIST, FileLocation{t.targetFolder, t.source.name}.text()));
    if (target) {
        const int answer = askReplace(host, t, *source, *target);
        if (answer != Answer::Yes)
            return answer == Answer::Cancel ? AfterFile::Stop : AfterFile::GoOn;
    }
    std::vector<AcrossFile> files = {
        {t.source.name, t.folder, qint64(source->st_size), target, std::nullopt}};
    if (!copyAcross(host, ends[0], ends[1], files, t.keepReplaced, t.journal, progress))
        return host.cancelled() ? AfterFile::Stop : AfterFile::GoOn;
    if (!t.move)
        return AfterFile::GoOn;
    // Moved: the source goes to its Trash, whence Undo takes it back.
    const SidePlace place = ends[0].onHost() ? SidePlace::onHost(ends[0].top) : *ends[0].reach({});
    deleteChosenAt(host, t.source, DeleteWay::ToTrash, t.journal, t.folder, ends[0].side, place,
                   t.source.name);
    return AfterFile::GoOn;
}
