#pragma once

#include <QByteArray>
#include <QString>

class Platform;

// The program as ssh's SSH_ASKPASS: ssh runs it with its prompt as the one
// argument when it must ask the user something and has no terminal, and
// reads the answer from its standard output. The window's ssh commands say
// so in DUOSCOPE_ASKPASS (set only in their environment), so that a prompt is
// never taken for a folder.
struct AskPassAnswer {
    int exitCode = 0;
    QByteArray output; // what ssh reads, ending with a newline when not empty
};

// `kind` is ssh's SSH_ASKPASS_PROMPT: "confirm" (a yes or no, told by the
// exit code), "none" (only shown), or empty: a secret, or a host key
// question ssh wants answered "yes" or "no" in words.
AskPassAnswer answerSshPrompt(Platform& platform, const QString& prompt, const QByteArray& kind);
