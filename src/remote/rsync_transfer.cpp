#include "remote/rsync_transfer.h"

#include "remote/ssh_link.h"

#include <cstring>

namespace {

QByteArray asFolder(const QByteArray& path) {
    if (path.isEmpty())
        return "./";
    return path.endsWith('/') ? path : path + '/';
}

} // namespace

QByteArray rsyncFiles(const SshLink& link, const RsyncTransfer& t) {
    QByteArray input;
    for (const QByteArray& name : t.names)
        input += name + '\0';
    // A local path is never an option or a host: it starts with "/" or "./".
    QByteArray local = asFolder(t.localFolder);
    if (!local.startsWith('/'))
        local = "./" + local;
    const QByteArray remote = link.address().host + ':' + asFolder(t.remoteFolder);
    std::vector<QByteArray> args = {
        "rsync",          "-a", "-s", "--from0", "--files-from=-", "--out-format=%n", "-e",
        link.rsyncShell()};
    args.push_back(t.toHost ? local : remote);
    args.push_back(t.toHost ? remote : local);
    QByteArray pending;
    const ChildResult r =
        runChild({args, input,
                  [&](QByteArrayView piece) {
                      pending.append(piece);
                      qsizetype at = 0;
                      for (qsizetype end; (end = pending.indexOf('\n', at)) >= 0; at = end + 1) {
                          if (t.done)
                              t.done(pending.mid(at, end - at));
                      }
                      pending.remove(0, at);
                  },
                  t.cancel, link.environment()});
    if (r.exitCode == 0)
        return {};
    if (r.cancelled)
        return "stopped";
    if (r.startError)
        return "rsync could not start: " + QByteArray(std::strerror(r.startError));
    return r.errors.trimmed().isEmpty() ? "rsync failed" : r.errors.trimmed();
}
