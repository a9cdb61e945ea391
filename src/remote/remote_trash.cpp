#include "remote/remote_trash.h"

#include "base/name_text.h"
#include "remote/ssh_link.h"

#include <QDateTime>

namespace {

// What the host tells of each entry before it is trashed, eight fields
// each NUL-ended (all empty where it cannot tell): the folder's own path,
// the entry's identity, its device, the home trash's folder and device, the
// entry's mount point, the user's number and the host's local time.
const QByteArray probeCommand =
    "xargs -0 -r -n 2 sh -c 'none() { printf \"\\0\\0\\0\\0\\0\\0\\0\\0\"; exit 0; }; "
    "cd -- \"$0\" || none; "
    "home=${XDG_DATA_HOME:-$HOME/.local/share}; mkdir -p -- \"$home\" || none; "
    "printf \"%s\\0\" \"$(pwd -P)\" "
    "\"$(find -P \"./$1\" -maxdepth 0 -printf \"%D %i %s %T@ %C@\")\" "
    "\"$(find -P \"./$1\" -maxdepth 0 -printf %D)\" \"$home/Trash\" "
    "\"$(find -P \"$home\" -maxdepth 0 -printf %D)\" \"$(stat -c %m -- \"./$1\")\" "
    "\"$(id -u)\" \"$(date +%Y-%m-%dT%H:%M:%S)\"'";

// Moves the entry ($1 in folder $0) into the trash $2 as $3, or with $6
// "link" gives it that second name there, its info text $4 written first and
// exclusively, only while it is $5 and the trash lies on its file system;
// it prints, NUL-ended, the identity of what it put there, or the word that
// says why not.
const QByteArray trashCommand =
    "xargs -0 -r -n 7 sh -c 'no() { printf \"%s\\0\" \"$1\"; exit 0; }; cd -- \"$0\" || no failed; "
    "[ \"$(find -P \"./$1\" -maxdepth 0 -printf \"%D %i %s %T@ %C@\" 2>/dev/null)\" = \"$5\" ] "
    "|| [ -z \"$5\" ] || no changed; "
    "mkdir -p -m 700 -- \"$2/files\" \"$2/info\" || no failed; "
    "[ \"$(find -P \"$2/files\" -maxdepth 0 -printf %D)\" = "
    "\"$(find -P \"./$1\" -maxdepth 0 -printf %D)\" ] || no other; "
    "(set -C; printf %s \"$4\" >\"$2/info/$3.trashinfo\") 2>/dev/null || no taken; "
    "if [ \"$6\" = link ]; then ln -T -- \"./$1\" \"$2/files/$3\"; "
    "else mv -T -- \"./$1\" \"$2/files/$3\"; fi || { rm -f -- \"$2/info/$3.trashinfo\"; no failed; "
    "}; "
    "find -P \"$2/files/$3\" -maxdepth 0 -printf \"%D %i %s %T@ %C@\\0\"'";

// Puts $0/files/$1 back as $3 in folder $2, only while it is $4 (without
// its change time, which the move into the trash moved); over what stands
// there only when $5 is 1.
const QByteArray restoreCommand =
    "xargs -0 -r -n 6 sh -c '"
    "[ \"$(find -P \"$0/files/$1\" -maxdepth 0 -printf \"%D %i %s %T@\" 2>/dev/null)\" = \"$4\" ] "
    "|| { echo changed; exit 1; }; cd -- \"$2\" || exit 1; "
    "if [ \"$5\" = 1 ]; then mv -f -T -- \"$0/files/$1\" \"./$3\" || exit 1; "
    "else mv -n -T -- \"$0/files/$1\" \"./$3\" || exit 1; "
    "if [ -e \"$0/files/$1\" ] || [ -L \"$0/files/$1\" ]; then echo taken; exit 1; fi; fi; "
    "rm -f -- \"$0/info/$1.trashinfo\"'";

std::vector<QByteArray> fields(const QByteArray& out) {
    QList<QByteArray> parts = out.split('\0');
    return {parts.begin(), parts.end()};
}

timespec findTime(const QByteArray& text) {
    const qsizetype dot = text.indexOf('.');
    timespec t{text.left(dot).toLongLong(), 0};
    QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1).left(9);
    fraction = fraction.leftJustified(9, '0');
    t.tv_nsec = fraction.toLong();
    return t;
}

// The identity find printed as "%D %i %s %T@ %C@".
FileIdentity identityOf(const QByteArray& printed) {
    const QList<QByteArray> p = printed.trimmed().split(' ');
    FileIdentity id;
    if (p.size() == 5) {
        id.device = p[0].toULongLong();
        id.inode = p[1].toULongLong();
        id.size = p[2].toLongLong();
        id.modified = findTime(p[3]);
        id.changed = findTime(p[4]);
    }
    return id;
}

FsResult failure(const ChildResult& r, const QByteArray& out, const QByteArray& path) {
    const QString shown = nameText(path);
    if (out.contains("changed"))
        return FsError(ESTALE, shown, QStringLiteral("it changed since it was read"));
    if (out.contains("taken"))
        return FsError::fromErrno(EEXIST, shown);
    if (out.contains("other"))
        return FsError::fromErrno(ENOTSUP, shown);
    const QByteArray said = r.errors.trimmed();
    return FsError(EIO, shown,
                   said.isEmpty() ? QStringLiteral("the host did not answer")
                                  : QString::fromLocal8Bit(said));
}

// Percent-encodes a path for an info file's Path=.
QByteArray encoded(const QByteArray& path) {
    return path.toPercentEncoding("/");
}

} // namespace

namespace {

// Puts each entry (its folder, its name) into the trash as `how` says
// ("move" or "link"), while it is `expected` ("" for any), two commands for
// all of them: one that tells where each goes, then one that puts each
// there (again for those whose name is taken there, with the next number).
std::vector<FsResult> intoTrash(const SshLink& link, const std::vector<TrashedName>& names,
                                const QByteArray& expected, std::vector<TrashEntry>& entries,
                                const QByteArray& how) {
    std::vector<FsResult> results(names.size());
    entries.assign(names.size(), TrashEntry());
    QByteArray input;
    for (const auto& [folder, name] : names)
        input += folder + '\0' + name + '\0';
    QByteArray out;
    ChildResult r = link.run(probeCommand, input, [&](QByteArrayView piece) { out.append(piece); });
    const std::vector<QByteArray> told = fields(out);
    // Each still to put there, with the info text and the trash it goes to.
    struct Pending {
        size_t index;
        QByteArray trash, info;
    };
    std::vector<Pending> pending;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto& [folder, name] = names[i];
        const size_t at = 8 * i;
        if (told.size() < at + 8 || told[at + 1].isEmpty()) {
            results[i] = failure(r, {}, folder + '/' + name);
            continue;
        }
        const QByteArray &here = told[at], &device = told[at + 2], &homeTrash = told[at + 3],
                         &homeDevice = told[at + 4], &top = told[at + 5], &uid = told[at + 6],
                         &now = told[at + 7];
        // The home trash on its own file system; elsewhere the drive's, whose
        // info files name the entry from the drive's top folder.
        const bool home = device == homeDevice;
        const QByteArray trash = home ? homeTrash : (top == "/" ? "" : top) + "/.Trash-" + uid;
        const QByteArray original = here == "/" ? '/' + name : here + '/' + name;
        QByteArray inInfo = original;
        if (!home && top != "/")
            inInfo = original.mid(top.size() + 1);
        entries[i].originalPath = original;
        entries[i].folder = trash;
        pending.push_back(
            {i, trash, "[Trash Info]\nPath=" + encoded(inInfo) + "\nDeletionDate=" + now + '\n'});
    }
    for (int n = 1; n < 1000 && !pending.empty(); ++n) {
        input.clear();
        for (const Pending& p : pending) {
            const auto& [folder, name] = names[p.index];
            entries[p.index].name = n == 1 ? name : name + '.' + QByteArray::number(n);
            input += folder + '\0' + name + '\0' + p.trash + '\0' + entries[p.index].name + '\0' +
                     p.info + '\0' + expected + '\0' + how + '\0';
        }
        out.clear();
        r = link.run(trashCommand, input, [&](QByteArrayView piece) { out.append(piece); });
        const std::vector<QByteArray> said = fields(out);
        std::vector<Pending> taken;
        for (size_t k = 0; k < pending.size(); ++k) {
            const size_t i = pending[k].index;
            const QByteArray word = k < said.size() ? said[k] : QByteArray();
            if (word == "taken")
                taken.push_back(pending[k]);
            else if (word.isEmpty() || !word[0] || !QChar::isDigit(uchar(word[0])))
                results[i] = failure(r, word, names[i].first + '/' + names[i].second);
            else
                entries[i].identity = identityOf(word);
        }
        pending = std::move(taken);
    }
    for (const Pending& p : pending)
        results[p.index] = FsError::fromErrno(
            EEXIST, nameText(names[p.index].first + '/' + names[p.index].second));
    return results;
}

FsResult intoTrash(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                   const QByteArray& expected, TrashEntry& entry, const QByteArray& how) {
    std::vector<TrashEntry> entries;
    const FsResult result = intoTrash(link, {{folder, name}}, expected, entries, how).front();
    if (result)
        entry = entries.front();
    return result;
}

} // namespace

FsResult trashRemote(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                     const QByteArray& expected, TrashEntry& entry) {
    return intoTrash(link, folder, name, expected, entry, "move");
}

FsResult linkIntoTrashRemote(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                             TrashEntry& entry) {
    return intoTrash(link, folder, name, {}, entry, "link");
}

std::vector<FsResult> linkIntoTrashRemote(const SshLink& link,
                                          const std::vector<TrashedName>& names,
                                          std::vector<TrashEntry>& entries) {
    return intoTrash(link, names, {}, entries, "link");
}

void discardRemote(const SshLink& link, const TrashEntry& entry) {
    link.run("xargs -0 -r rm -rf --", entry.filePath() + '\0' + entry.infoPath() + '\0', {});
}

FsResult restoreRemote(const SshLink& link, const TrashEntry& entry, bool replace) {
    const qsizetype slash = entry.originalPath.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : entry.originalPath.left(slash);
    const QByteArray name = entry.originalPath.mid(slash + 1);
    const FileIdentity& id = entry.identity;
    // As find prints it: the seconds, a point and ten digits.
    const auto printed = [](const timespec& t) {
        return QByteArray::number(qint64(t.tv_sec)) + '.' +
               QByteArray::number(qint64(t.tv_nsec)).rightJustified(9, '0') + '0';
    };
    const QByteArray expected = QByteArray::number(quint64(id.device)) + ' ' +
                                QByteArray::number(quint64(id.inode)) + ' ' +
                                QByteArray::number(qint64(id.size)) + ' ' + printed(id.modified);
    QByteArray out;
    const ChildResult r = link.run(restoreCommand,
                                   entry.folder + '\0' + entry.name + '\0' + folder + '\0' + name +
                                       '\0' + expected + '\0' + (replace ? "1" : "0") + '\0',
                                   [&](QByteArrayView piece) { out.append(piece); });
    if (r.exitCode != 0)
        return failure(r, out, entry.originalPath);
    return {};
}
