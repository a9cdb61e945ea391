#include "shell/program_start.h"

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

QString startDetached(const QList<QByteArray>& arguments) {
    if (arguments.isEmpty() || arguments.front().isEmpty())
        return QString::fromLocal8Bit(std::strerror(ENOENT));
    std::vector<char*> argv;
    for (const QByteArray& a : arguments)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: closing this window, or a terminal's hang-up, leaves it running.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    // glibc reports a program that cannot be run here, not in the child.
    const int err = posix_spawnp(&pid, argv.front(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (err != 0)
        return QString::fromLocal8Bit(std::strerror(err));
    // Reaped when it ends, so no process is left behind as a zombie.
    std::thread([pid] {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return {};
}
