#include "support/scripted_platform.h"

#include "base/message_style.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QItemSelectionModel>

int ScriptedPlatform::messageBox(QWidget*, const QString& text, int style) {
    shown.append({text, style});
    if (whileAsking)
        whileAsking(int(shown.size()));
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    const std::vector<int> offered = decodeMessageStyle(style).answers();
    for (int a : offered) {
        if (a == Answer::No)
            return a;
    }
    return offered.front();
}

QList<int> ScriptedPlatform::styles() const {
    QList<int> out;
    for (const Shown& s : shown)
        out << s.style;
    return out;
}

QString ScriptedPlatform::browseForFolder(QWidget*, const QString& initialFolder,
                                          const QString& title) {
    browsed.append({initialFolder, title});
    if (folders.empty())
        return {};
    QString folder = folders.front();
    folders.pop_front();
    return folder;
}

int ScriptedPlatform::showModal(QDialog& dialog) {
    // Shown without blocking: the dialog's own buttons close it and set its result.
    dialog.show();
    if (!dialogActions.empty()) {
        dialogActions.front()(dialog);
        dialogActions.pop_front();
    }
    if (dialog.isVisible())
        dialog.reject();
    return dialog.result();
}

std::optional<QStringList> ScriptedPlatform::customizeToolbar(QWidget*,
                                                              const QList<ToolbarButtonInfo>&,
                                                              const QStringList& current,
                                                              const QStringList&) {
    toolbarShown.append(current);
    if (toolbarArrangements.empty())
        return std::nullopt;
    const QStringList arrangement = toolbarArrangements.front();
    toolbarArrangements.pop_front();
    return arrangement;
}

void ScriptedPlatform::startDrag(QWidget* source, const QString& paneName) {
    drags << paneName;
    if (const auto* view = qobject_cast<QAbstractItemView*>(source))
        dragRows << int(view->selectionModel()->selectedRows().size());
}
