// File > Compare Files: which two files, and where they are shown.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "dialogs/file_diff_view.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"
#include "shell/platform.h"
#include "text/diff_command.h"
#include "text/text_diff.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <sys/stat.h>

QList<QByteArray> Main::filesToCompare() const {
    const ListPane* pane = activeList();
    auto pathOf = [](const ListPane* list, const QLineEdit* box, int row) {
        return FileSystem::encode(folderPath(box->text())) + list->rowFileName(row);
    };
    // Two files selected in one pane, in their order there.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : pane->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom() && rows.size() <= 2; ++row)
            rows.push_back(row);
    }
    if (rows.size() == 2) {
        std::sort(rows.begin(), rows.end());
        const auto isFile = [&](int row) {
            return !pane->rowText(row).isEmpty() && !pane->rows().isFolder(row);
        };
        if (!isFile(rows[0]) || !isFile(rows[1]))
            return {};
        return {pathOf(pane, activeFolderBox(), rows[0]), pathOf(pane, activeFolderBox(), rows[1])};
    }
    // Else the current row, when it holds a file on both sides.
    const int row = pane->currentRow();
    // Folders are compared by the walk and stepped into, never shown as files.
    if (row < 0 || m_ui.lvSource->rowText(row).isEmpty() || row >= m_ui.lvDest->count() ||
        m_ui.lvDest->rowText(row).isEmpty() || m_ui.lvSource->rows().isFolder(row))
        return {};
    return {pathOf(m_ui.lvSource, m_ui.txtSource, row), pathOf(m_ui.lvDest, m_ui.txtDest, row)};
}

void Main::Parts::updateCompareCommand(Main& m) {
    const bool enabled = !m.filesToCompare().isEmpty();
    m.menuEntry(QStringLiteral("mnuCompareFiles"))->setEnabled(enabled);
    m.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->setEnabled(enabled);
    m.toolbarButton(QStringLiteral("CompareFiles"))->setEnabled(enabled);
}

// File > Compare Files: the current row's two files, or the two files
// selected in the pane last pointed at, in the user's diff program when
// one is set, else in the program's own view.
void Main::mnuCompareFiles_Click() {
    const QList<QByteArray> paths = filesToCompare();
    if (paths.size() == 2)
        compareFiles(paths[0], paths[1]);
}

// Shows two files side by side as Compare Files does: in the user's diff
// program when one is set, else in the program's own view.
void Main::compareFiles(const QByteArray& left, const QByteArray& right) {
    const QList<QByteArray> paths = {left, right};
    if (!m_comparison->settings().diffProgram.trimmed().isEmpty()) {
        Parts::startDiffProgram(*this, paths);
        return;
    }
    // Files too large for the view need a diff program of the user's.
    for (const QByteArray& path : paths) {
        struct stat st {};
        if (::stat(path.constData(), &st) != 0 || st.st_size <= largestComparedFile)
            continue; // a file that cannot be read is reported by the view
        platform().messageBox(
            this,
            QStringLiteral("%1 is %2 bytes, more than the comparison window can show.\r\n"
                           "Choose a diff program in Options to compare such files.")
                .arg(nameText(path), QLocale().toString(qint64(st.st_size))),
            MsgStyle::Information);
        return;
    }
    auto* view =
        new FileDiffView(left, right, platform(), this, m_comparison->settings().diffIgnore);
    view->setKeepInTrash(m_comparison->settings().useTrash != 0);
    connect(view, &FileDiffView::ignoreChanged, this,
            [this](int ignore) { m_comparison->settings().diffIgnore = qint16(ignore); });
    connect(view, &FileDiffView::saved, this, [this](const UndoStep& step) {
        m_comparison->undoJournal().begin(QStringLiteral("Save"));
        m_comparison->undoJournal().record(step);
        m_comparison->undoJournal().end();
        updateUndoCommand();
        mnuRefresh_Click();
    });
    connect(view, &FileDiffView::replacedForGood, this, [this](const QString& why) {
        m_comparison->undoJournal().endHistory(why);
        updateUndoCommand();
        mnuRefresh_Click();
    });
    CenterForm(view);
    view->show();
}

void Main::Parts::startDiffProgram(Main& m, const QList<QByteArray>& paths) {
    const QList<QByteArray> arguments =
        diffCommandArguments(m.m_comparison->settings().diffProgram, paths[0], paths[1]);
    const QString error = arguments.isEmpty() ? QStringLiteral("A quote is not closed.")
                                              : m.platform().startCommand(arguments);
    if (!error.isEmpty())
        m.platform().messageBox(&m,
                                QStringLiteral("The diff program could not be started:\r\n%1\r\n%2")
                                    .arg(m.m_comparison->settings().diffProgram, error),
                                MsgStyle::Critical);
}
