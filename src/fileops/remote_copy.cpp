#include "fileops/remote_copy.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/flat_rows.h"
#include "fileops/command_host.h"
#include "fileops/file_steps.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "fs/unique_fd.h"
#include "remote/remote_side.h"
#include "remote/rsync_transfer.h"
#include "remote/ssh_link.h"

#include <QHash>
#include <QRegularExpression>
#include <dirent.h>
#include <fcntl.h>
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
        static_cast<const RemoteSide&>(*to.side).link().run(
            "env LC_ALL=C xargs -0 -r -n 2 sh -c 'for t in \"$0\"/.\"$1\".\"" + x + x + x + x + x +
                x +
                "; do [ -f \"$t\" ] && ! [ -L \"$t\" ] && rm -f -- \"$t\"; "
                "done; exit 0'",
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
            if (e->d_type == DT_REG && rsyncTemporaryOf(e->d_name, name))
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
    return (top.endsWith('/') ? top : top + '/') + relative.toByteArray();
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
    RemoteAddress address = hostOf(from, to).link().address();
    address.path = to.onHost() ? to.top : QByteArray();
    const QString where = nameText(to.onHost() ? address.written() : to.top);
    const auto tell = [&](const QString& text) { host.ask(text, MsgStyle::Critical); };
    if (files.empty())
        return true;
    const RsyncEnds ends = rsyncEnds(hostOf(from, to).link());
    if (!ends.missing.isEmpty()) {
        tell(QStringLiteral("Nothing was copied to %1: %2.")
                 .arg(where, QString::fromLocal8Bit(ends.missing)));
        return false;
    }
    // Each file replaced keeps a second name in the Trash first: rsync
    // writes the new one beside it and renames it over the name.
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
    for (AcrossFile& f : files) {
        if (f.replaced && keepReplaced) {
            TrashEntry entry;
            const std::optional<SidePlace> place =
                to.onHost()
                    ? std::optional(SidePlace::onHost(below(to.top, folderPart(f.relative))))
                    : to.reach(folderPart(f.relative));
            const FsResult linked =
                place ? to.side->keepInTrash(*place, namePart(f.relative).toByteArray(),
                                             below(to.top, f.relative), entry)
                      : FsResult(FsError::fromErrno(ESTALE, nameText(below(to.top, f.relative))));
            if (!linked) {
                keptAll = false;
                tellFailure(
                    host,
                    QStringLiteral("%1 was not replaced.").arg(nameText(below(to.top, f.relative))),
                    linked.error());
                continue;
            }
            kept.insert(f.relative, entry);
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
        t.names.empty() ? QByteArray() : rsyncFiles(hostOf(from, to).link(), t);
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
    const qsizetype copied = qsizetype(files.size() - unsent.size());
    tell(QStringLiteral("Copying to %1 stopped: %2\r\n\r\n%3 of %4 copied; %5 not copied, left "
                        "as they were.")
             .arg(where, QString::fromLocal8Bit(complaint.trimmed().split('\n').last()))
             .arg(copied)
             .arg(files.size())
             .arg(unsent.size()));
    return false;
}
