#pragma once

#include <QByteArray>
#include <QHash>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

class SshLink;

// SHA-256 digests of many files of one remote folder in one command, read
// where they lie: the names (relative to `folder`, as a listing gave them)
// go NUL-separated on the command's input, the digests come back by name.
// A file that could not be read has none. Returns ssh's or the host's
// complaint, empty when every file was read.
QByteArray remoteDigests(const SshLink& link, const QByteArray& folder,
                         const std::vector<QByteArray>& names,
                         QHash<QByteArray, QByteArray>& digests,
                         const std::atomic<bool>* cancel = nullptr);

// One digest command for a whole run: paths asked go on its input as the
// run asks them, the digests come back as the host reads them, and each is
// waited for by its path. A file that could not be read has none. Closed
// (the command ended at once, whatever is still asked) by close(), a
// cancel, or the end of the object.
class RemoteDigestStream {
public:
    explicit RemoteDigestStream(const SshLink& link);
    ~RemoteDigestStream();
    RemoteDigestStream(const RemoteDigestStream&) = delete;
    RemoteDigestStream& operator=(const RemoteDigestStream&) = delete;

    // Asks for the digests of the files at `paths` (host paths, each
    // starting with "/" or "./"); false when the command has ended.
    bool ask(const std::vector<QByteArray>& paths);
    // Whether `path` was asked and not taken yet.
    bool asked(const QByteArray& path) const;
    // Waits for the digest of `path`, asked before: nothing, with errno,
    // when it could not be read, the command ended, or `cancel` was set
    // (ECANCELED: the command is then ended).
    std::optional<QByteArray> take(const QByteArray& path, const std::atomic<bool>* cancel);
    void close();

private:
    void answered(QByteArrayView record);

    struct Shared;
    std::unique_ptr<Shared> m;
};
