#include "mainwindow/file_command_run.h"

#include "mainwindow/window_keys.h"
#include "shell/platform.h"

#include <QAction>
#include <QProgressBar>
#include <algorithm>

FileCommandRun::FileCommandRun(Platform& platform, QWidget* owner, const QList<QAction*>& commands,
                               bool& running, QProgressBar* bar)
    : m_platform(platform), m_owner(owner), m_running(running), m_bar(bar) {
    m_running = true;
    for (QAction* command : commands) {
        m_commands.append({command, command->isEnabled()});
        command->setEnabled(false);
    }
    qApp->installEventFilter(this);
}

FileCommandRun::~FileCommandRun() {
    qApp->removeEventFilter(this);
    for (const auto& [command, enabled] : m_commands) {
        if (command)
            command->setEnabled(enabled);
    }
    m_running = false;
}

bool FileCommandRun::eventFilter(QObject*, QEvent* event) {
    // A question the command asks has the keys and the mouse to itself.
    if (!windowHasInput())
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        m_cancelled |= escapeForWindow(event);
        return true;
    case QEvent::ShortcutOverride:
        event->accept(); // no shortcut either: the key comes here as a press
        return true;
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::DragEnter:
    case QEvent::Drop:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

int FileCommandRun::ask(const QString& text, int style) {
    return m_platform.messageBox(m_owner, text, style);
}

void FileCommandRun::beep() {
    m_platform.beep();
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
