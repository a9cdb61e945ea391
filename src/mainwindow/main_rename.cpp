// Rename in place: the row's label is edited and the file renamed in its pane's folder.
#include "mainwindow/main_window.h"

#include "comparison/host_commands.h"
#include "fileops/file_steps.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"

#include <QLineEdit>
#include <utility>

void Main::mnuRename_Click() {
    if (CurrentFile.isEmpty() || m_fileCommandRunning)
        return;
    activeList()->startLabelEdit();
}

void Main::mnuPopupRename_Click() {
    mnuRename_Click();
}

void Main::lvSource_BeforeLabelEdit(int& cancel) {
    beforeLabelEdit(m_ui.lvSource, m_ui.txtSource, cancel);
}

void Main::lvDest_BeforeLabelEdit(int& cancel) {
    beforeLabelEdit(m_ui.lvDest, m_ui.txtDest, cancel);
}

void Main::beforeLabelEdit(ListPane* pane, QLineEdit* folderBox, int& cancel) {
    const int row = pane->currentRow();
    if (pane->rowText(row).isEmpty() || m_fileCommandRunning) {
        cancel = -1;
        return;
    }
    // The file renamed is the one the edit began on, whatever the rows do
    // until it ends.
    const QByteArray top = FileSystem::encode(folderBox->text());
    const FileLocation file = pane->rowLocation(top, row);
    m_renaming = {pane, pane->rowText(row), {file, false, FileIdentity::of(file.path())}, top};
}

void Main::lvSource_AfterLabelEdit(int& cancel, const QString& newText) {
    afterLabelEdit(m_ui.lvSource, cancel, newText);
}

void Main::lvDest_AfterLabelEdit(int& cancel, const QString& newText) {
    afterLabelEdit(m_ui.lvDest, cancel, newText);
}

void Main::afterLabelEdit(ListPane* pane, int& cancel, const QString& newText) {
    const std::optional<Renaming> began = std::exchange(m_renaming, std::nullopt);
    if (began && began->pane == pane && newText != began->text) {
        const auto recorded = recordForUndo(QStringLiteral("Rename"), false);
        const FileIdentity chosen = began->file.identity();
        const Comparison::PaneFolder onHost =
            m_comparison->folder(pane == m_ui.lvSource ? Side::Source : Side::Destination);
        const FsResult renamed =
            onHost.remote
                ? renameOnSide(onHost.side, onHost.path, began->file.file.name, newText,
                               &m_comparison->undoJournal())
                : renameInFolder(began->file.file, newText, &m_comparison->undoJournal(), &chosen,
                                 {nullptr, began->top});
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
