#include "fileops/file_command_run.h"

#include <QAction>
#include <QProgressBar>
#include <algorithm>

FileCommandRun::FileCommandRun(const QList<QAction*>& commands, bool& running, QProgressBar* bar)
    : m_running(running), m_bar(bar) {
    m_running = true;
    for (QAction* command : commands) {
        m_commands.append({command, command->isEnabled()});
        command->setEnabled(false);
    }
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
    m_pacer.keepPainted();
}
