#include "fileops/file_command_run.h"

#include <QAction>
#include <QCoreApplication>
#include <QProgressBar>
#include <algorithm>

namespace {

// Often enough for the eye; rarely enough to cost nothing next to the files.
constexpr qint64 paintIntervalMs = 40;

} // namespace

FileCommandRun::FileCommandRun(const QList<QAction*>& commands, bool& running, QProgressBar* bar)
    : m_running(running), m_bar(bar) {
    m_running = true;
    for (QAction* command : commands) {
        m_commands.append({command, command->isEnabled()});
        command->setEnabled(false);
    }
    m_sincePaint.start();
}

FileCommandRun::~FileCommandRun() {
    for (const auto& [command, enabled] : m_commands) {
        if (command)
            command->setEnabled(enabled);
    }
    m_running = false;
}

void FileCommandRun::setMaximum(int items) {
    m_bar->setMaximum(std::max(items, 1));
}

void FileCommandRun::setValue(int item) {
    m_bar->setValue(item);
    keepPainted();
}

void FileCommandRun::keepPainted() {
    if (m_sincePaint.elapsed() < paintIntervalMs)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_sincePaint.restart();
}
