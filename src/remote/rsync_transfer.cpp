#include "remote/rsync_transfer.h"

#include "remote/ssh_link.h"

#include <QList>

#include <cstring>
#include <optional>

namespace {

QByteArray asFolder(const QByteArray& path) {
    if (path.isEmpty())
        return "./";
    return path.endsWith('/') ? path : path + '/';
}

// The host's folder without its "." steps: rsync drops a ".." that follows
// one ("./../x" lands in "x"), so "./" before a path that climbs would send
// the files elsewhere. The other steps, ".." included, stay as given.
QByteArray withoutDotSteps(const QByteArray& path) {
    QByteArray kept = path.startsWith('/') ? "/" : "";
    for (const QByteArray& step : path.split('/')) {
        if (!step.isEmpty() && step != ".")
            kept += step + '/';
    }
    return kept.isEmpty() ? "./" : kept;
}

// Whether an `rsync --version` tells it keeps both ACLs and extended attributes.
bool keepsAclsAndAttributes(const QByteArray& version) {
    return version.contains(" ACLs") && !version.contains("no ACLs") &&
           version.contains("xattrs") && !version.contains("no xattrs");
}

} // namespace

QByteArray rsyncFiles(const SshLink& link, const RsyncTransfer& t) {
    QByteArray input;
    for (const QByteArray& name : t.names)
        input += name + '\0';
    // A local path is never an option or a host: it starts with "/" or "./".
    QByteArray local = t.localFd >= 0 ? "/proc/self/fd/" + QByteArray::number(t.localFd) + '/'
                                      : asFolder(t.localFolder);
    if (!local.startsWith('/'))
        local = "./" + local;
    const QByteArray remote = link.address().host + ':' + withoutDotSteps(t.remoteFolder);
    std::vector<QByteArray> args = {
        "rsync",          "-a", "-s", "--from0", "--files-from=-", "--out-format=%n", "-e",
        link.rsyncShell()};
    if (t.whole)
        args.insert(args.begin() + 2, {"-r", "-I", "--no-implied-dirs"});
    if (t.aclsAndAttributes)
        args.insert(args.begin() + 2, {"-A", "-X"});
    args.push_back(t.toHost ? local : remote);
    args.push_back(t.toHost ? remote : local);
    QByteArray pending;
    ChildRun run{args, input,
                 [&](QByteArrayView piece) {
                     pending.append(piece);
                     qsizetype at = 0;
                     for (qsizetype end; (end = pending.indexOf('\n', at)) >= 0; at = end + 1) {
                         if (t.done)
                             t.done(pending.mid(at, end - at));
                     }
                     pending.remove(0, at);
                 },
                 t.cancel, link.environment()};
    run.stop = t.stop;
    if (t.localFd >= 0)
        run.inherited.push_back(t.localFd);
    const ChildResult r = runChild(run);
    if (r.exitCode == 0)
        return {};
    if (r.cancelled)
        return "stopped";
    if (r.startError)
        return "rsync could not start: " + QByteArray(std::strerror(r.startError));
    return r.errors.trimmed().isEmpty() ? "rsync failed" : r.errors.trimmed();
}

QByteArray rsyncName(QByteArrayView printed) {
    QByteArray name;
    name.reserve(printed.size());
    for (qsizetype i = 0; i < printed.size(); ++i) {
        const auto octal = [&](qsizetype k) { return printed[k] >= '0' && printed[k] <= '7'; };
        if (printed[i] == '\\' && i + 4 < printed.size() && printed[i + 1] == '#' && octal(i + 2) &&
            octal(i + 3) && octal(i + 4)) {
            name += char((printed[i + 2] - '0') * 64 + (printed[i + 3] - '0') * 8 +
                         (printed[i + 4] - '0'));
            i += 4;
        } else {
            name += printed[i];
        }
    }
    return name;
}

RsyncEnds rsyncEnds(const SshLink& link) {
    static const std::optional<QByteArray> here = [] {
        QByteArray out;
        const ChildResult r = runChild(
            {{"rsync", "--version"}, {}, [&](QByteArrayView p) { out.append(p); }, nullptr});
        return r.exitCode == 0 ? std::optional(out) : std::nullopt;
    }();
    if (!here)
        return {"this machine has no rsync", false};
    QByteArray complaint;
    const std::optional<QByteArray> there = link.rsyncVersion(complaint);
    if (!there)
        return {complaint, false};
    return {{}, keepsAclsAndAttributes(*here) && keepsAclsAndAttributes(*there)};
}
