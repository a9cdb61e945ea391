#pragma once

#include "fileops/command_host.h"
#include "support/scripted_platform.h"

#include <functional>

// A file command run with no window: its questions are the scripted
// platform's message boxes (answered from its queue, recorded there), its
// progress is kept here, and it stops once `stopWhen` says so.
class ScriptedHost : public CommandHost {
public:
    explicit ScriptedHost(ScriptedPlatform& platform) : m_platform(platform) {}

    int ask(const QString& text, int style) override {
        return m_platform.messageBox(nullptr, text, style);
    }
    void beep() override { m_platform.beep(); }
    void setMaximum(int steps) override { maximum = steps; }
    void setValue(int step) override { value = step; }
    void keepPainted() override { ++chunks; }
    bool cancelled() const override { return stopWhen && stopWhen(); }

    int maximum = 0;
    int value = 0;
    int chunks = 0;
    std::function<bool()> stopWhen;

private:
    ScriptedPlatform& m_platform;
};
