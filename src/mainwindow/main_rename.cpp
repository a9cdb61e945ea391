// Rename in place: the row's label is edited and the file renamed in its pane's folder.
#include "mainwindow/main_window.h"

#include "fileops/file_steps.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_parts.h"

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
    const std::optional<Parts::PaneTop> top =
        Parts::paneTop(*this, folderBox == m_ui.txtSource ? Side::Source : Side::Destination,
                       QStringLiteral("Rename"));
    if (!top) {
        cancel = -1;
        return;
    }
    const FileLocation file = pane->rowLocation(top->folder, row);
    // A host's file is known by its listing: its path here is another file's.
    m_renaming = {
        pane,
        pane->rowText(row),
        {file, false,
         top->side ? pane->rows().identity(row) : std::optional(FileIdentity::of(file.path())),
         top->side},
        top->folder};
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
        const FsResult renamed =
            renameInFolder(began->file.file, newText, &m_comparison->undoJournal(),
                           began->file.side && !began->file.id ? nullptr : &chosen,
                           {began->file.side, began->top});
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
