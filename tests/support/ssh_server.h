#pragma once

#include <QByteArray>
#include <QTemporaryDir>

// A private sshd on a free local port for one test: its own host key, a key
// of the test's own for the current user, nothing of the system's
// configuration. `sshCommand()` is the ssh the program is pointed at
// (DUOSCOPE_SSH), with a config that knows the host key and uses the key.
class SshServer {
public:
    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    // Whether it answers; a reason when not (sshd missing, no port).
    bool running() const { return m_pid > 0; }
    const QByteArray& failure() const { return m_failure; }
    QByteArray sshCommand() const;
    int port() const { return m_port; }
    // Where the sessions' XDG_DATA_HOME is (their Trash below it).
    QByteArray dataHome() const;
    // Sets DUOSCOPE_SSH for the test's duration.
    void useForProgram() const;
    // Gives the test's key a passphrase, so that ssh must ask for it.
    bool protectKey(const QByteArray& passphrase) const;
    // Ends the server and every connection it serves (a dropped link).
    void kill();

private:
    QTemporaryDir m_dir;
    QByteArray m_failure;
    int m_port = 0;
    int m_pid = -1;
};
