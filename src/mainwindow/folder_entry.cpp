#include "mainwindow/folder_entry.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

FolderEntry::FolderEntry(QLineEdit* box) : QLineEdit(box), m_box(box) {
    setObjectName(box->objectName() + QStringLiteral("Entry"));
    hide();
    // An ordinary text field, not the box's display look: it is being edited.
    const QPalette plain = QApplication::palette(this);
    QPalette look = palette();
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Text})
        look.setColor(role, plain.color(role));
    setPalette(look);
    connect(this, &QLineEdit::returnPressed, this, [this] {
        // Enter on a name of the completion list picks it; the next Enter goes there.
        const QAbstractItemView* list = completer()->popup();
        if (!list->isVisible() || !list->currentIndex().isValid())
            Q_EMIT entered(text());
    });
    box->installEventFilter(this);
}

void FolderEntry::begin(std::optional<QPoint> clickAt) {
    if (!completer()) {
        // Made at the first typing, so a window nobody types in watches no folder.
        // Folders only, hidden ones too: the user typed where they want to go.
        auto* folders = new QFileSystemModel(this);
        folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
        folders->setRootPath(QString());
        auto* names = new QCompleter(folders, this);
        names->setCompletionMode(QCompleter::PopupCompletion);
        setCompleter(names);
    }
    setGeometry(m_box->rect());
    setText(m_startText.isEmpty() ? m_box->text() : m_startText);
    show();
    raise();
    setFocus(Qt::OtherFocusReason);
    if (clickAt)
        setCursorPosition(cursorPositionAt(*clickAt));
}

void FolderEntry::end() {
    if (!isVisible())
        return;
    completer()->popup()->hide();
    hide();
}

bool FolderEntry::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_box && !isVisible() && event->type() == QEvent::MouseButtonPress) {
        begin(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    if (watched == m_box && event->type() == QEvent::Resize && isVisible())
        setGeometry(m_box->rect());
    return QLineEdit::eventFilter(watched, event);
}

void FolderEntry::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && !completer()->popup()->isVisible()) {
        end();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void FolderEntry::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The completion list takes the focus for a moment; anywhere else ends the typing.
    if (event->reason() != Qt::PopupFocusReason)
        end();
}
