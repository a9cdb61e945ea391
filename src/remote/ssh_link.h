#pragma once

#include "remote/child_process.h"
#include "remote/remote_address.h"

#include <QByteArray>
#include <mutex>
#include <optional>
#include <vector>

// The user's own ssh to one host: their config, keys, agent and known
// hosts, one master connection for the program's whole run (its socket
// under $XDG_RUNTIME_DIR), so every command after the first pays no
// handshake. DUOSCOPE_SSH, when set, is the ssh command with its options,
// split as rsync splits RSYNC_RSH (spaces; quotes keep spaces in a word).
// A remote command is always a fixed text: names and paths travel on its
// standard input, NUL-separated, never through the remote shell.
class SshLink {
public:
    // `batch`: nothing is ever asked (BatchMode); a password or an unknown
    // host key is an error in ssh's own words.
    SshLink(RemoteAddress address, bool batch);
    ~SshLink();
    SshLink(const SshLink&) = delete;
    SshLink& operator=(const SshLink&) = delete;

    const RemoteAddress& address() const { return m_address; }
    // The arguments that run `remoteCommand` on the host.
    std::vector<QByteArray> arguments(const QByteArray& remoteCommand) const;
    // Runs it, `input` on its standard input.
    ChildResult run(const QByteArray& remoteCommand, const QByteArray& input,
                    const std::function<void(QByteArrayView)>& output,
                    const std::atomic<bool>* cancel = nullptr) const;
    // The same ssh with the master's options, as rsync's -e takes it.
    QByteArray rsyncShell() const;
    // What every ssh of this link (and every rsync that runs one) adds to
    // its environment: unless `batch`, this program answers ssh's questions
    // in a dialog (its SSH_ASKPASS; see shell/ssh_askpass.h).
    std::vector<QByteArray> environment() const;
    // The host's `rsync --version`, asked once for the link's life; nothing
    // when it could not be run, `complaint` saying why ("the host has no
    // rsync", or ssh's words, asked again next time).
    std::optional<QByteArray> rsyncVersion(QByteArray& complaint) const;
    // The program ssh asks through: this one, unless a test sets another.
    static void setAskPassProgram(QByteArray program);

    // DUOSCOPE_SSH split into words, or just "ssh".
    static std::vector<QByteArray> sshCommand();
    static std::vector<QByteArray> splitCommand(const QByteArray& text);

private:
    std::vector<QByteArray> options() const;

    RemoteAddress m_address;
    bool m_batch;
    QByteArray m_controlPath;
    mutable std::mutex m_probing;
    mutable std::optional<QByteArray> m_rsyncVersion;
};

// True when this run of the program is ssh asking (environment() above):
// its prompt the one argument, never taken for a folder or a command.
bool isSshAskPassRun(int argc);
