#include "remote/child_process.h"

#include "fs/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr qsizetype errorsKept = 64 * 1024;

struct Pipe {
    int read = -1, write = -1;
    // A socket for the child's input: a write to a child that stopped
    // reading fails with EPIPE instead of raising SIGPIPE (MSG_NOSIGNAL).
    bool open(bool socket = false) {
        int fds[2];
        if (socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0
                   : ::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        read = fds[0];
        write = fds[1];
        return true;
    }
    ~Pipe() {
        for (const int fd : {read, write}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
};

// The program's environment with `added` over it, for a child.
std::vector<char*> environmentWith(const std::vector<QByteArray>& added) {
    std::vector<char*> envp;
    if (added.empty())
        return envp;
    for (char** e = environ; *e; ++e) {
        const QByteArrayView entry(*e);
        const qsizetype equals = entry.indexOf('=');
        const bool replaced = std::any_of(added.begin(), added.end(), [&](const QByteArray& a) {
            return equals > 0 && a.startsWith(entry.first(equals + 1));
        });
        if (!replaced)
            envp.push_back(*e);
    }
    for (const QByteArray& a : added)
        envp.push_back(const_cast<char*>(a.constData()));
    envp.push_back(nullptr);
    return envp;
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(std::exchange(fd, -1));
}

} // namespace

ChildResult runChild(const ChildRun& run) {
    ChildResult result;
    Pipe in, out, err;
    if (!in.open(true) || !out.open() || !err.open()) {
        result.startError = errno;
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, run.inputFd >= 0 ? run.inputFd : in.read, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, 1);
    posix_spawn_file_actions_adddup2(&actions, err.write, 2);
    // Onto itself, a descriptor loses its close-on-exec in the child only.
    for (const int fd : run.inherited)
        posix_spawn_file_actions_adddup2(&actions, fd, fd);
    std::vector<char*> argv;
    for (const QByteArray& a : run.arguments)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    const std::vector<char*> envp = environmentWith(run.environment);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(),
                                       run.environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }
    closeFd(in.read);
    closeFd(out.write);
    closeFd(err.write);
    // A child that stops reading must not stop us: its input is written as it takes it.
    ::fcntl(in.write, F_SETFL, O_NONBLOCK);
    qsizetype written = 0;
    if (run.input.isEmpty() || run.inputFd >= 0)
        closeFd(in.write);
    char buffer[65536];
    while (out.read >= 0 || err.read >= 0) {
        if ((run.cancel && run.cancel->load()) || (run.stop && run.stop())) {
            ::kill(pid, SIGTERM);
            result.cancelled = true;
            break;
        }
        pollfd fds[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
        if (::poll(fds, 3, 100) < 0 && errno != EINTR)
            break;
        if (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
            const ssize_t n = ::send(in.write, run.input.constData() + written,
                                     size_t(run.input.size() - written), MSG_NOSIGNAL);
            if (n > 0)
                written += n;
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == run.input.size())
                closeFd(in.write);
        }
        for (int k = 0; k < 2; ++k) {
            int& fd = k == 0 ? out.read : err.read;
            if (fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                closeFd(fd);
                continue;
            }
            if (k == 0 && run.output) {
                run.output(QByteArrayView(buffer, n));
            } else if (k == 1) {
                result.errors.append(buffer, n);
                if (result.errors.size() > errorsKept)
                    result.errors.remove(0, result.errors.size() - errorsKept);
            }
        }
    }
    closeFd(in.write);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}
