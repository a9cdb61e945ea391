// Rename in place: the row's label is edited and the file renamed in its pane's folder.
#include "mainwindow/main_window.h"

#include "fileops/file_steps.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"

#include <QLineEdit>

void Main::mnuRename_Click() {
    if (CurrentFile.isEmpty() || m_fileCommandRunning)
        return;
    activeList()->startLabelEdit();
}

void Main::mnuPopupRename_Click() {
    mnuRename_Click();
}

void Main::lvSource_BeforeLabelEdit(int& cancel) {
    beforeLabelEdit(m_lvSource, cancel);
}

void Main::lvDest_BeforeLabelEdit(int& cancel) {
    beforeLabelEdit(m_lvDest, cancel);
}

void Main::beforeLabelEdit(ListPane* pane, int& cancel) {
    if (pane->rowText(pane->currentRow()).isEmpty() || m_fileCommandRunning)
        cancel = -1;
}

void Main::lvSource_AfterLabelEdit(int& cancel, const QString& newText) {
    afterLabelEdit(m_lvSource, m_txtSource, cancel, newText);
}

void Main::lvDest_AfterLabelEdit(int& cancel, const QString& newText) {
    afterLabelEdit(m_lvDest, m_txtDest, cancel, newText);
}

void Main::afterLabelEdit(ListPane* pane, QLineEdit* folderBox, int& cancel,
                          const QString& newText) {
    const int row = pane->currentRow();
    if (newText != pane->rowText(row)) {
        const FileLocation file = pane->rowLocation(FileSystem::encode(folderBox->text()), row);
        const auto recorded = recordForUndo(QStringLiteral("Rename"), false);
        const FsResult renamed = renameInFolder(file, newText, &m_undo);
        // The pane keeps the old label; the refresh shows the new name.
        cancel = -1;
        if (!renamed) {
            ReportUnexpectedError(m_platform, this, renamed.error().number(),
                                  renamed.error().description());
            return;
        }
    }
    mnuRefresh_Click();
}
