#include "shell/qt_platform.h"

#include "base/message_style.h"
#include "dialogs/property_sheet.h"
#include "dialogs/toolbar_customize_dialog.h"
#include "fs/file_properties.h"
#include "shell/file_manager_bus.h"
#include "shell/program_start.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>
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

void QtPlatform::showList(QWidget* owner, const QString& text, const QStringList& lines,
                          int style) {
    QDialog box(owner);
    box.setObjectName(QStringLiteral("listBox"));
    box.setWindowTitle(QApplication::applicationDisplayName());
    auto* icon = new QLabel(&box);
    static const QStyle::StandardPixmap pixmaps[] = {
        QStyle::SP_CustomBase, QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxQuestion,
        QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxInformation}; // in Icon's order
    const auto kind = decodeMessageStyle(style).icon;
    if (kind != MessageStyle::Icon::None) {
        const int side = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
        icon->setPixmap(box.style()->standardIcon(pixmaps[int(kind)], nullptr, &box).pixmap(side));
    }
    auto* label = new QLabel(text, &box);
    label->setWordWrap(true);
    auto* list = new QListWidget(&box);
    list->setUniformItemSizes(true); // thousands of lines lay out at once
    list->addItems(lines);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(label, 1);
    auto* layout = new QVBoxLayout(&box);
    layout->addLayout(top);
    layout->addWidget(list, 1);
    layout->addWidget(buttons);
    // As wide as the longest line wants and as tall as the lines, within
    // two thirds of the screen the window is on; the list scrolls the rest.
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 2 / 3 : QSize(800, 600);
    const int width = list->sizeHintForColumn(0) + 4 * list->frameWidth() +
                      list->verticalScrollBar()->sizeHint().width();
    const int height = list->sizeHintForRow(0) * int(std::min<qsizetype>(lines.size(), 40)) +
                       2 * list->frameWidth();
    list->setMinimumSize(std::min(width, room.width()) - 40, std::min(height, room.height() / 2));
    box.setMaximumSize(screen ? screen->availableGeometry().size()
                              : QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    box.resize(box.sizeHint().boundedTo(room));
    box.exec();
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

std::optional<QString> QtPlatform::askSecret(const QString& prompt) {
    bool ok = false;
    QString secret = QInputDialog::getText(nullptr, QApplication::applicationDisplayName(), prompt,
                                           QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return secret;
}
