#include "mainwindow/duoscope_mod.h"

#include "core/message_style.h"
#include "shell/platform.h"

void ReportUnexpectedError(Platform& platform, QWidget* owner, int number,
                           const QString& description) {
    platform.beep();
    platform.messageBox(owner, unexpectedErrorText(number, description), MsgStyle::Critical);
}

QString BrowseForFolder(Platform& platform, QWidget* owner, const QString& initialFolder,
                        const QString& title) {
    return platform.browseForFolder(owner, initialFolder,
                                    title.isEmpty() ? QStringLiteral("Select folder:") : title);
}
