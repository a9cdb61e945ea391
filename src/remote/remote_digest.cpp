#include "remote/remote_digest.h"

#include "remote/ssh_link.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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

namespace {

// The digest command reads its paths as they come, running sha256sum on
// each `group` of them; each request is made up to whole groups with a file
// that always reads (its answer also tells that every path before it was
// done), so no path waits in xargs for others that never come. A group of
// the longest paths fits xargs' own limit of a command line; a small one
// keeps the filler's answers few.
constexpr int group = 16;
const QByteArray filler = "/dev/null";

} // namespace

struct RemoteDigestStream::Shared {
    std::mutex lock;
    std::condition_variable changed;
    // What was asked, in order, not answered yet (true: a filler).
    std::deque<std::pair<QByteArray, bool>> waiting;
    QHash<QByteArray, int> asked; // not taken yet, by path
    QHash<QByteArray, std::optional<QByteArray>> done;
    QByteArray pending; // a record begun
    bool ended = false;
    std::atomic<bool> stop{false};
    int writeFd = -1, readFd = -1;
    std::thread runner;
};

RemoteDigestStream::RemoteDigestStream(const SshLink& link) : m(std::make_unique<Shared>()) {
    int fds[2];
    // A socket: a write to a command that ended fails (MSG_NOSIGNAL), never blocks for good.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        m->ended = true;
        return;
    }
    m->readFd = fds[0];
    m->writeFd = fds[1];
    m->runner =
        std::thread([this,
                     arguments = link.arguments("xargs -0 -r -n " + QByteArray::number(group) +
                                                " sha256sum -z --"),
                     environment = link.environment()] {
            ChildRun run{arguments, {}, [this](QByteArrayView piece) {
                             m->pending.append(piece);
                             qsizetype at = 0;
                             for (qsizetype end; (end = m->pending.indexOf('\0', at)) >= 0;
                                  at = end + 1)
                                 answered(QByteArrayView(m->pending).sliced(at, end - at));
                             m->pending.remove(0, at);
                         }};
            run.cancel = &m->stop;
            run.environment = environment;
            run.inputFd = m->readFd;
            runChild(run);
            const std::lock_guard hold(m->lock);
            // Whatever is still waiting will not be answered; a write to come fails.
            for (const auto& [path, fill] : m->waiting) {
                if (!fill)
                    m->done.insert(path, std::nullopt);
            }
            m->waiting.clear();
            m->ended = true;
            ::close(std::exchange(m->readFd, -1));
            m->changed.notify_all();
        });
}

RemoteDigestStream::~RemoteDigestStream() {
    close();
}

void RemoteDigestStream::answered(QByteArrayView record) {
    if (record.size() < hexDigits + 2 || record[hexDigits] != ' ')
        return;
    const QByteArrayView path = record.sliced(hexDigits + 2);
    const std::lock_guard hold(m->lock);
    // sha256sum answers in the order asked, saying nothing for a file it cannot read.
    while (!m->waiting.empty()) {
        const auto [asked, fill] = m->waiting.front();
        m->waiting.pop_front();
        const bool match = asked == path;
        if (!fill)
            m->done.insert(asked, match ? std::optional(QByteArray::fromHex(
                                              record.first(hexDigits).toByteArray()))
                                        : std::nullopt);
        if (match)
            break;
    }
    m->changed.notify_all();
}

bool RemoteDigestStream::ask(const std::vector<QByteArray>& paths) {
    QByteArray input;
    {
        const std::lock_guard hold(m->lock);
        if (m->ended)
            return false;
        for (const QByteArray& p : paths) {
            m->waiting.push_back({p, false});
            ++m->asked[p];
            input += p + '\0';
        }
        for (size_t n = paths.size(); n == paths.size() || n % group; ++n) {
            m->waiting.push_back({filler, true});
            input += filler + '\0';
        }
    }
    for (qsizetype written = 0; written < input.size();) {
        const ssize_t n = ::send(m->writeFd, input.constData() + written,
                                 size_t(input.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // the command ended: what waits is told as not read
        written += n;
    }
    return true;
}

bool RemoteDigestStream::asked(const QByteArray& path) const {
    const std::lock_guard hold(m->lock);
    return m->asked.value(path) > 0;
}

std::optional<QByteArray> RemoteDigestStream::take(const QByteArray& path,
                                                   const std::atomic<bool>* cancel) {
    std::unique_lock hold(m->lock);
    while (!m->done.contains(path) && !m->ended) {
        if (cancel && cancel->load()) {
            hold.unlock();
            close();
            errno = ECANCELED;
            return std::nullopt;
        }
        m->changed.wait_for(hold, std::chrono::milliseconds(50));
    }
    if (--m->asked[path] <= 0)
        m->asked.remove(path);
    const std::optional<QByteArray> digest = m->done.take(path);
    if (!digest)
        errno = EIO;
    return digest;
}

void RemoteDigestStream::close() {
    if (m->writeFd >= 0) {
        // Ended at once where anything is still asked, not waited for; else
        // the end of its input ends it, sooner than a signal is seen.
        {
            const std::lock_guard hold(m->lock);
            if (std::any_of(m->waiting.begin(), m->waiting.end(),
                            [](const auto& w) { return !w.second; }))
                m->stop = true;
        }
        ::shutdown(m->writeFd, SHUT_WR);
        if (m->runner.joinable())
            m->runner.join();
        ::close(std::exchange(m->writeFd, -1));
    }
}
