#include "remote/remote_digest.h"

#include "remote/ssh_link.h"

namespace {

// coreutils' sha256sum with --zero: "<64 hex digits>  <path>\0" each, the
// path as given, never escaped.
constexpr qsizetype hexDigits = 64;

} // namespace

QByteArray remoteDigests(const SshLink& link, const QByteArray& folder,
                         const std::vector<QByteArray>& names,
                         QHash<QByteArray, QByteArray>& digests, const std::atomic<bool>* cancel) {
    if (names.empty())
        return {};
    // Each file's path on the host: data on the input, never shell text.
    const QByteArray prefix = folder.isEmpty()       ? QByteArray("./")
                              : folder.endsWith('/') ? folder
                                                     : folder + '/';
    QByteArray input;
    for (const QByteArray& name : names)
        input += prefix + name + '\0';
    QByteArray pending;
    bool malformed = false;
    const ChildResult r = link.run(
        "xargs -0 -r sha256sum -z --", input,
        [&](QByteArrayView piece) {
            pending.append(piece);
            qsizetype at = 0;
            for (qsizetype end; (end = pending.indexOf('\0', at)) >= 0; at = end + 1) {
                const QByteArrayView line = QByteArrayView(pending).sliced(at, end - at);
                if (line.size() < hexDigits + 2 || line[hexDigits] != ' ') {
                    malformed = true;
                    continue;
                }
                const QByteArrayView path = line.sliced(hexDigits + 2);
                if (!path.startsWith(prefix)) {
                    malformed = true;
                    continue;
                }
                digests.insert(path.sliced(prefix.size()).toByteArray(),
                               QByteArray::fromHex(line.first(hexDigits).toByteArray()));
            }
            pending.remove(0, at);
        },
        cancel);
    if (r.exitCode == 0 && !malformed && pending.isEmpty())
        return {};
    if (!r.errors.trimmed().isEmpty())
        return r.errors.trimmed();
    return malformed ? "the host's sha256sum did not answer as coreutils does"
                     : "the digests ended early";
}
