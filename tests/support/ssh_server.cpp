#include "support/ssh_server.h"

#include <QFile>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

int freePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

bool answers(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// In a process group of its own when `group`: sshd's children serve the
// connections, and a kill of the group ends them all.
int spawn(const std::vector<QByteArray>& args, bool group = false) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (group) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
    }
    // Nothing of the test's output is held: a session that outlives the
    // server would keep the test runner waiting for its end.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (const int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    std::vector<char*> argv;
    for (const QByteArray& a : args)
        argv.push_back(const_cast<char*>(a.constData()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

bool runToEnd(const std::vector<QByteArray>& args) {
    const int pid = spawn(args);
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

} // namespace

SshServer::SshServer() {
    const QByteArray dir = QFile::encodeName(m_dir.path());
    const QByteArray sshd = "/usr/sbin/sshd";
    if (::access(sshd.constData(), X_OK) != 0) {
        m_failure = "no sshd: make test installs openssh-server";
        return;
    }
    ::mkdir("/run/sshd", 0755); // Debian's sshd wants its privilege-separation folder
    for (const char* key : {"host_key", "user_key"}) {
        if (!runToEnd({"ssh-keygen", "-q", "-N", "", "-t", "ed25519", "-f", dir + '/' + key})) {
            m_failure = "ssh-keygen failed";
            return;
        }
    }
    QFile pub(m_dir.filePath(QStringLiteral("host_key.pub")));
    pub.open(QIODevice::ReadOnly);
    const QByteArray hostKey = pub.readAll().split(' ').mid(0, 2).join(' ');
    m_port = freePort();
    const QByteArray port = QByteArray::number(m_port);
    QFile::copy(m_dir.filePath(QStringLiteral("user_key.pub")),
                m_dir.filePath(QStringLiteral("authorized_keys")));
    const bool written =
        writeFile(m_dir.filePath(QStringLiteral("sshd_config")),
                  "Port " + port + "\nListenAddress 127.0.0.1\nHostKey " + dir +
                      "/host_key\nAuthorizedKeysFile " + dir +
                      "/authorized_keys\nPasswordAuthentication no\n"
                      "KbdInteractiveAuthentication no\nUsePAM no\nStrictModes no\nPidFile none\n"
                      "PermitRootLogin prohibit-password\nMaxStartups 100\nMaxSessions 100\n"
                      "SetEnv XDG_DATA_HOME=" +
                      dir + "/data\n") &&
        writeFile(m_dir.filePath(QStringLiteral("known_hosts")),
                  "[127.0.0.1]:" + port + ' ' + hostKey + '\n') &&
        writeFile(m_dir.filePath(QStringLiteral("ssh_config")),
                  "Host *\n  HostName 127.0.0.1\n  Port " + port + "\n  IdentityFile " + dir +
                      "/user_key\n  IdentitiesOnly yes\n  UserKnownHostsFile " + dir +
                      "/known_hosts\n  StrictHostKeyChecking yes\n  LogLevel ERROR\n");
    if (!written) {
        m_failure = "cannot write the server's files";
        return;
    }
    m_pid = spawn({sshd, "-D", "-f", dir + "/sshd_config", "-E", dir + "/sshd.log"}, true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (m_pid > 0 && !answers(m_port)) {
        if (std::chrono::steady_clock::now() > deadline ||
            ::waitpid(m_pid, nullptr, WNOHANG) != 0) {
            m_failure = "sshd did not answer";
            kill();
            return;
        }
        ::poll(nullptr, 0, 20); // between two tries to connect
    }
}

SshServer::~SshServer() {
    kill();
}

void SshServer::kill() {
    if (m_pid <= 0)
        return;
    // sshd's children serve the connections: the whole group goes.
    ::kill(-m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

QByteArray SshServer::sshCommand() const {
    return "ssh -F " + QFile::encodeName(m_dir.path()) + "/ssh_config";
}

QByteArray SshServer::dataHome() const {
    return QFile::encodeName(m_dir.path()) + "/data";
}

void SshServer::useForProgram() const {
    qputenv("DUOSCOPE_SSH", sshCommand());
}
