#pragma once

#include <QString>

// What runs a file command for the user: the window, or a test. The engine
// asks its questions, tells its failures and shows its progress only
// through this, so it needs no window of its own.
class CommandHost {
public:
    virtual ~CommandHost() = default;

    // A question or a message with the given style (see base/message_style.h);
    // returns the answer (see Answer there).
    virtual int ask(const QString& text, int style) = 0;
    virtual void beep() = 0;

    // The command's length in steps (none shows an empty bar), then the steps done.
    virtual void setMaximum(int steps) = 0;
    virtual void setValue(int step) = 0;
    // Called between the chunks of a long step, so the window can repaint.
    virtual void keepPainted() = 0;
    // The user asked the command to stop: nothing more is begun.
    virtual bool cancelled() const = 0;
};
