#include "shell/qt_platform.h"

#include "core/file_properties.h"
#include "core/message_style.h"
#include "dialogs/property_sheet.h"
#include "dialogs/toolbar_customize_dialog.h"
#include "shell/file_manager_bus.h"
#include "shell/program_start.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <sys/stat.h>

namespace {

QMessageBox::Icon qtIcon(MessageStyle::Icon icon) {
    switch (icon) {
    case MessageStyle::Icon::Critical:
        return QMessageBox::Critical;
    case MessageStyle::Icon::Question:
        return QMessageBox::Question;
    case MessageStyle::Icon::Warning:
        return QMessageBox::Warning;
    case MessageStyle::Icon::Information:
        return QMessageBox::Information;
    case MessageStyle::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton qtButton(int answer) {
    switch (answer) {
    case Answer::Yes:
        return QMessageBox::Yes;
    case Answer::No:
        return QMessageBox::No;
    case Answer::Cancel:
        return QMessageBox::Cancel;
    case Answer::YesToAll:
        return QMessageBox::YesToAll;
    case Answer::NoToAll:
        return QMessageBox::NoToAll;
    default:
        return QMessageBox::Ok;
    }
}

} // namespace

int QtPlatform::messageBox(QWidget* owner, const QString& text, int style) {
    const MessageStyle s = decodeMessageStyle(style);
    QMessageBox box(owner);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setIcon(qtIcon(s.icon));
    // A carriage return breaks the line, as the text means it to.
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    box.setText(shown);
    const std::vector<int> answers = s.answers();
    for (size_t i = 0; i < answers.size(); ++i) {
        QAbstractButton* b = box.addButton(qtButton(answers[i]));
        if (static_cast<int>(i) == s.defaultButton)
            box.setDefaultButton(qobject_cast<QPushButton*>(b));
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (int answer : answers) {
        if (clicked && box.standardButton(clicked) == qtButton(answer))
            return answer;
    }
    // Closed without a button: the box's escape answer.
    return answers.size() == 1 ? answers.front() : answers.back();
}

void QtPlatform::beep() {
    QApplication::beep();
}

QString QtPlatform::browseForFolder(QWidget* owner, const QString& initialFolder,
                                    const QString& title) {
    // Only folders are offered and can be confirmed.
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, title, initialFolder, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return {};
    return QDir::cleanPath(chosen); // "/" stays "/", any other loses a trailing "/"
}

QByteArray QtPlatform::saveFileName(QWidget* owner, const QByteArray& initialPath,
                                    const QString& title) {
    const QString chosen =
        QFileDialog::getSaveFileName(owner, title, QFile::decodeName(initialPath));
    return chosen.isEmpty() ? QByteArray() : QFile::encodeName(chosen);
}

bool QtPlatform::openDefault(const QByteArray& path) {
    // The desktop's handler would report a missing file in a window of its own.
    struct stat st {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0)
        return false;
    return QDesktopServices::openUrl(localFileUrl(path));
}

bool QtPlatform::showProperties(QWidget* owner, const QByteArray& path) {
    DBusFileManager fileManager; // the session bus, looked at afresh each time
    return showPropertiesOf(fileManager, owner, path);
}

bool QtPlatform::openUrl(QWidget*, const QString& url) {
    // The desktop's URL handler takes no owner window.
    return QDesktopServices::openUrl(QUrl(url));
}

bool QtPlatform::startProgram(const QString& path) {
    return startCommand({QFile::encodeName(path)}).isEmpty();
}

QString QtPlatform::startCommand(const QList<QByteArray>& arguments) {
    return startDetached(arguments);
}

int QtPlatform::showModal(QDialog& dialog) {
    return dialog.exec();
}

std::optional<QStringList> QtPlatform::customizeToolbar(QWidget* owner,
                                                        const QList<ToolbarButtonInfo>& available,
                                                        const QStringList& current,
                                                        const QStringList& defaults) {
    ToolbarCustomizeDialog dialog(available, current, defaults, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.arrangement();
}

void QtPlatform::startDrag(QWidget* source, const QString& paneName) {
    auto* data = new QMimeData;
    data->setData(QLatin1String(paneDragFormat), paneName.toUtf8());
    auto* drag = new QDrag(source);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}
