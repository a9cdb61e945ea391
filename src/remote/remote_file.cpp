#include "remote/remote_file.h"

#include "base/name_text.h"
#include "fs/unique_fd.h"
#include "remote/rsync_transfer.h"
#include "remote/ssh_link.h"

#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Each record on the input is a folder and a name in it ("./" before the
// name: never read as an option); find tells the file's identity.
const QByteArray identityCommand =
    "xargs -0 -r -n 2 sh -c 'cd -- \"$0\" && exec find -P \"./$1\" -maxdepth 0 "
    "-printf \"%D %i %s %T@ %C@\\n\"'";

// The temporary ($1) takes the name ($2) only while the file there has the
// identity $3 ("" for any); else it goes, and "changed" says why.
const QByteArray replaceCommand =
    "xargs -0 -r -n 4 sh -c 'cd -- \"$0\" || exit 1; "
    "now=$(find -P \"./$2\" -maxdepth 0 -printf \"%D %i %s %T@ %C@\\n\" 2>/dev/null); "
    "if [ -n \"$3\" ] && [ \"$now\" != \"$3\" ]; then rm -f -- \"./$1\"; echo changed; exit 1; fi; "
    "exec mv -f -- \"./$1\" \"./$2\"'";

QByteArray folderOf(const QByteArray& folder) {
    return folder.isEmpty() ? QByteArray(".") : folder;
}

QByteArray complaintOf(const ChildResult& r, const char* what) {
    const QByteArray said = r.errors.trimmed();
    return said.isEmpty() ? QByteArray(what) : said;
}

// The identity of the file `name` in `folder` on the host, "" with `complaint`.
QByteArray identityOf(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                      QByteArray& complaint) {
    QByteArray out;
    const ChildResult r = link.run(identityCommand, folderOf(folder) + '\0' + name + '\0',
                                   [&](QByteArrayView piece) { out.append(piece); });
    if (r.exitCode != 0 || out.isEmpty()) {
        complaint = complaintOf(r, "the file cannot be told");
        return {};
    }
    return out.trimmed();
}

} // namespace

QByteArray remoteIdentity(const SshLink& link, const QByteArray& folder, const QByteArray& name,
                          QByteArray& complaint) {
    return identityOf(link, folder, name, complaint);
}

QByteArray fetchRemoteFile(const SshLink& link, const QByteArray& localFolder,
                           RemoteFileCopy& copy) {
    QByteArray complaint;
    const QByteArray before = identityOf(link, copy.remoteFolder, copy.name, complaint);
    if (before.isEmpty())
        return complaint;
    // The scratch folder held once: rsync writes into it, and a copy that
    // must go again goes from it by name.
    const UniqueFd folder{
        ::open(localFolder.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    if (folder.fd < 0)
        return QByteArray("the scratch folder cannot be opened: ") + std::strerror(errno);
    RsyncTransfer t;
    t.toHost = false;
    t.localFolder = localFolder;
    t.localFd = folder.fd;
    t.remoteFolder = folderOf(copy.remoteFolder);
    t.names = {copy.name};
    if (QByteArray failed = rsyncFiles(link, t); !failed.isEmpty())
        return failed;
    copy.localPath = folderPath(localFolder) + copy.name;
    const QByteArray after = identityOf(link, copy.remoteFolder, copy.name, complaint);
    if (after != before) {
        ::unlinkat(folder.fd, copy.name.constData(), 0);
        return complaint.isEmpty() ? QByteArray("the file changed while it was brought")
                                   : complaint;
    }
    copy.identity = after;
    return {};
}

RemotePut putRemoteFile(const SshLink& link, RemoteFileCopy& copy, bool replaceChanged,
                        QByteArray& complaint) {
    // The copy goes under a temporary name of its own: a hidden name a
    // listing of the folder would show for a moment at most.
    QTemporaryDir staging;
    const QByteArray temp =
        ".duoscope-save-" + QByteArray::number(::getpid()) + '-' + copy.name.toHex().left(32);
    const QByteArray staged = QFile::encodeName(staging.path()) + '/' + temp;
    if (!staging.isValid() || ::link(copy.localPath.constData(), staged.constData()) != 0) {
        if (!QFile::copy(QFile::decodeName(copy.localPath), QFile::decodeName(staged))) {
            complaint = "the edited copy cannot be read";
            return RemotePut::Failed;
        }
    }
    RsyncTransfer t;
    t.localFolder = QFile::encodeName(staging.path());
    t.remoteFolder = folderOf(copy.remoteFolder);
    t.names = {temp};
    if (QByteArray failed = rsyncFiles(link, t); !failed.isEmpty()) {
        complaint = failed;
        return RemotePut::Failed;
    }
    QByteArray out;
    const QByteArray expected = replaceChanged ? QByteArray() : copy.identity;
    const ChildResult r = link.run(replaceCommand,
                                   folderOf(copy.remoteFolder) + '\0' + temp + '\0' + copy.name +
                                       '\0' + expected + '\0',
                                   [&](QByteArrayView piece) { out.append(piece); });
    if (out.contains("changed"))
        return RemotePut::Changed;
    if (r.exitCode != 0) {
        complaint = complaintOf(r, "the file cannot be replaced");
        return RemotePut::Failed;
    }
    copy.identity = identityOf(link, copy.remoteFolder, copy.name, complaint);
    return RemotePut::Written;
}
