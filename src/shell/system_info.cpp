#include "shell/system_info.h"

#include "base/message_style.h"
#include "shell/platform.h"

#include <QStandardPaths>

QStringList systemInfoPrograms() {
    return {
        QStringLiteral("kinfocenter"),          // KDE's info centre
        QStringLiteral("hardinfo2"),            // hardware information and benchmarks
        QStringLiteral("hardinfo"),             // its predecessor
        QStringLiteral("cpu-x"),                // processor, board and memory details
        QStringLiteral("gnome-system-monitor"), // GNOME
        QStringLiteral("mate-system-monitor"),  // MATE
        QStringLiteral("xfce4-taskmanager"),    // Xfce
        QStringLiteral("lxtask"),               // LXDE
    };
}

QString findFirstProgram(const QStringList& names) {
    for (const QString& name : names) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void StartSystemInfo(Platform& platform, QWidget* owner) {
    const QString path = findFirstProgram(systemInfoPrograms());
    if (!path.isEmpty() && platform.startProgram(path))
        return;
    platform.beep();
    platform.messageBox(owner, QStringLiteral("System Info not available for the moment."),
                        MsgStyle::Information);
}
