#include "remote/remote_changes.h"

#include "base/name_text.h"
#include "remote/ssh_link.h"

#include <cerrno>
#include <initializer_list>
#include <sys/stat.h>
#include <utility>

namespace {

// The scripts name what went wrong in a word of errno's ("E ENOENT") on
// their output; anything else is the host's own words. Paths are
// "$folder/$name": a folder never starts with "-".
const QByteArray present = "{ [ -e \"$f\" ] || [ -L \"$f\" ]; }";
const QByteArray isFolder = "{ [ -d \"$f\" ] && ! [ -L \"$f\" ]; }";

QByteArray script(const QByteArray& body) {
    return "env LC_ALL=C xargs -0 sh -c 'f=\"$0/$1\"; " + body + "'";
}

const QByteArray makeFolderScript =
    script(present + " && { echo E EEXIST; exit 1; }; mkdir -m \"$2\" -- \"$f\" 2>/dev/null || { " +
           present + " && echo E EEXIST || echo E ENOENT; exit 1; }");

const QByteArray removeFolderScript =
    script(present + " || { echo E ENOENT; exit 1; }; " + isFolder +
           " || { echo E ENOTDIR; exit 1; }; rmdir -- \"$f\" 2>/dev/null && exit 0; "
           "[ -n \"$(ls -A -- \"$f\")\" ] && echo E ENOTEMPTY; exit 1");

// $2 and $3 are the folder and name it goes to.
const QByteArray renameScript = script(
    "t=\"$2/$3\"; " + present +
    " || { echo E ENOENT; exit 1; }; "
    "[ \"$(find -P \"$f\" -maxdepth 0 -printf %D)\" = \"$(find -P \"$2\" -maxdepth 0 -printf %D "
    "2>/dev/null)\" ] || { echo E EXDEV; exit 1; }; "
    "{ [ -e \"$t\" ] || [ -L \"$t\" ]; } && { echo E EEXIST; exit 1; }; "
    "mv -n -T -- \"$f\" \"$t\" || exit 1; " +
    present + " && { echo E EEXIST; exit 1; }; exit 0");

const QByteArray removeTreeScript =
    script(present + " || { echo E ENOENT; exit 1; }; " + isFolder +
           " || { echo E ENOTDIR; exit 1; }; exec rm -r --one-file-system -- \"$f\"");

const QByteArray removeFileScript =
    script(present + " || { echo E ENOENT; exit 1; }; " + isFolder +
           " && { echo E EISDIR; exit 1; }; "
           "find -P \"$f\" -maxdepth 0 -printf \"%n %D %i %s %m\\n\"; exec rm -f -- \"$f\"");

struct Outcome {
    int err = 0; // 0 when done
    QByteArray said, out;
};

Outcome runOnHost(const SshLink& link, const QByteArray& command,
                  std::initializer_list<QByteArray> args) {
    QByteArray input;
    for (const QByteArray& a : args)
        input += a + '\0';
    Outcome o;
    const ChildResult r =
        link.run(command, input, [&](QByteArrayView piece) { o.out.append(piece); });
    if (r.exitCode == 0)
        return o;
    static const std::pair<const char*, int> words[] = {
        {"E ENOENT", ENOENT},   {"E EEXIST", EEXIST}, {"E ENOTEMPTY", ENOTEMPTY},
        {"E ENOTDIR", ENOTDIR}, {"E EISDIR", EISDIR}, {"E EXDEV", EXDEV}};
    o.err = EIO;
    for (const auto& [word, number] : words) {
        if (o.out.contains(word))
            o.err = number;
    }
    o.said = r.errors.trimmed();
    return o;
}

bool done(const Outcome& o) {
    errno = o.err;
    return o.err == 0;
}

FsResult result(const Outcome& o, const QByteArray& path) {
    if (o.err == 0)
        return {};
    if (o.err == EIO && !o.said.isEmpty())
        return FsError(EIO, nameText(path), QString::fromLocal8Bit(o.said.split('\n').first()));
    return FsError::fromErrno(o.err, nameText(path));
}

} // namespace

bool makeFolderOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                      mode_t mode) {
    return done(
        runOnHost(link, makeFolderScript, {folder, name, QByteArray::number(mode & 07777, 8)}));
}

bool removeFolderOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name) {
    return done(runOnHost(link, removeFolderScript, {folder, name}));
}

bool renameOnHost(const SshLink& link, const QByteArray& fromFolder, const QByteArray& from,
                  const QByteArray& toFolder, const QByteArray& to) {
    return done(runOnHost(link, renameScript, {fromFolder, from, toFolder, to}));
}

FsResult removeTreeOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          const QByteArray& path) {
    return result(runOnHost(link, removeTreeScript, {folder, name}), path);
}

FsResult removeFileOnHost(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          const QByteArray& path, struct stat* left) {
    const Outcome o = runOnHost(link, removeFileScript, {folder, name});
    if (o.err == 0 && left) {
        const QList<QByteArray> seen = o.out.trimmed().split(' ');
        *left = {};
        if (seen.size() == 5) {
            left->st_nlink = nlink_t(std::max(0LL, seen[0].toLongLong() - 1));
            left->st_dev = dev_t(seen[1].toULongLong());
            left->st_ino = ino_t(seen[2].toULongLong());
            left->st_size = off_t(seen[3].toLongLong());
            left->st_mode = mode_t(seen[4].toUInt(nullptr, 8));
        }
    }
    return result(o, path);
}
