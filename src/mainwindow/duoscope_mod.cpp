#include "mainwindow/duoscope_mod.h"

#include "base/message_style.h"
#include "mainwindow/twips.h"
#include "shell/platform.h"
#include "store/window_layout.h"

#include <QScreen>
#include <QWidget>

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

void CenterForm(QWidget* form) {
    const QScreen* screen = form->screen();
    const QRect area = screen->geometry();
    const double tx = twipsPerPixelX(form);
    const double ty = twipsPerPixelY(form);
    const QSize size = form->frameGeometry().size();
    const QPointF at = centeredPosition(QSizeF(area.width() * tx, area.height() * ty),
                                        QSizeF(size.width() * tx, size.height() * ty));
    form->move(area.x() + qRound(at.x() / tx), area.y() + qRound(at.y() / ty));
}
