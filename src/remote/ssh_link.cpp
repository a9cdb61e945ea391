#include "remote/ssh_link.h"

#include <QDir>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder of the user's own for the master's socket.
QByteArray controlFolder() {
    QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !folder.startsWith('/'))
        folder = "/tmp/duoscope-ssh-" + QByteArray::number(::getuid());
    else
        folder += "/duoscope-ssh";
    ::mkdir(folder.constData(), 0700);
    return folder;
}

QByteArray& askPassProgram() {
    static QByteArray program = [] {
        char path[4096];
        const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
        return n > 0 ? QByteArray(path, n) : QByteArray("duoscope");
    }();
    return program;
}

} // namespace

std::vector<QByteArray> SshLink::splitCommand(const QByteArray& text) {
    std::vector<QByteArray> words;
    QByteArray word;
    bool inWord = false;
    char quote = 0;
    for (const char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ') {
            if (inWord)
                words.push_back(std::exchange(word, {}));
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

std::vector<QByteArray> SshLink::sshCommand() {
    std::vector<QByteArray> words = splitCommand(qgetenv("DUOSCOPE_SSH"));
    if (words.empty())
        words.push_back("ssh");
    return words;
}

SshLink::SshLink(RemoteAddress address, bool batch)
    : m_address(std::move(address)), m_batch(batch), m_controlPath(controlFolder() + "/%C") {}

SshLink::~SshLink() {
    // The master ends with the program; an idle one would end by itself anyway.
    std::vector<QByteArray> stop = sshCommand();
    for (const QByteArray& o : options())
        stop.push_back(o);
    stop.insert(stop.end(), {"-O", "exit", "--", m_address.host});
    runChild({stop, {}, nullptr, nullptr});
}

std::vector<QByteArray> SshLink::options() const {
    std::vector<QByteArray> o = {"-o", "ControlMaster=auto", "-o", "ControlPath=" + m_controlPath,
                                 "-o", "ControlPersist=60"};
    if (m_batch)
        o.insert(o.end(), {"-o", "BatchMode=yes"});
    if (m_address.port > 0)
        o.insert(o.end(), {"-p", QByteArray::number(m_address.port)});
    if (!m_address.user.isEmpty())
        o.insert(o.end(), {"-l", m_address.user});
    return o;
}

std::vector<QByteArray> SshLink::arguments(const QByteArray& remoteCommand) const {
    std::vector<QByteArray> a = sshCommand();
    for (const QByteArray& o : options())
        a.push_back(o);
    // The host after "--": never read as an option, whatever it is.
    a.insert(a.end(), {"--", m_address.host, remoteCommand});
    return a;
}

ChildResult SshLink::run(const QByteArray& remoteCommand, const QByteArray& input,
                         const std::function<void(QByteArrayView)>& output,
                         const std::atomic<bool>* cancel) const {
    return runChild({arguments(remoteCommand), input, output, cancel, environment()});
}

void SshLink::setAskPassProgram(QByteArray program) {
    askPassProgram() = std::move(program);
}

std::vector<QByteArray> SshLink::environment() const {
    if (m_batch)
        return {};
    // Asked whether or not a terminal or a display is there: the window has
    // no terminal, and may be on a display ssh does not look for.
    return {"SSH_ASKPASS=" + askPassProgram(), "SSH_ASKPASS_REQUIRE=force", "DUOSCOPE_ASKPASS=1"};
}

QByteArray SshLink::rsyncShell() const {
    // rsync splits this as DUOSCOPE_SSH is split: each word quoted whole.
    QByteArray shell;
    std::vector<QByteArray> words = sshCommand();
    for (const QByteArray& o : options())
        words.push_back(o);
    for (const QByteArray& w : words) {
        if (!shell.isEmpty())
            shell += ' ';
        shell += w.contains('\'') ? '"' + w + '"' : '\'' + w + '\'';
    }
    return shell;
}

std::optional<QByteArray> SshLink::rsyncVersion(QByteArray& complaint) const {
    const std::lock_guard lock(m_probing);
    if (m_rsyncVersion)
        return m_rsyncVersion;
    QByteArray out;
    const ChildResult r = run("rsync --version", {}, [&](QByteArrayView p) { out.append(p); });
    if (r.exitCode == 0)
        return m_rsyncVersion = out;
    const QByteArray errors = r.errors.trimmed();
    complaint = r.exitCode != 255  ? QByteArray("the host has no rsync")
                : errors.isEmpty() ? QByteArray("ssh failed")
                                   : errors.mid(errors.lastIndexOf('\n') + 1);
    return std::nullopt;
}

bool isSshAskPassRun(int argc) {
    return argc == 2 && std::getenv("DUOSCOPE_ASKPASS") != nullptr;
}
