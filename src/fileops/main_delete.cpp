// Delete: the active pane's selected files, each confirmed.
#include "mainwindow/main_window.h"

#include "fileops/file_command_run.h"
#include "fileops/file_steps.h"
#include "fileops/pane_selection.h"
#include "mainwindow/list_pane.h"

#include <QLineEdit>
#include <QProgressBar>

void Main::mnuDelete_Click() {
    deleteSelected(m_settings.useTrash != 0 ? DeleteWay::ToTrash : DeleteWay::Permanently);
}

void Main::mnuEditDeletePermanently_Click() {
    deleteSelected(DeleteWay::Permanently);
}

void Main::deleteSelected(DeleteWay way) {
    if (CurrentFile.isEmpty() || m_fileCommandRunning)
        return;
    const auto recorded = recordForUndo(QStringLiteral("Delete"));
    ListPane* pane = activeList();
    QLineEdit* folderBox = activeFolderBox();
    FileCommandRun run(fileCommandActions(), m_fileCommandRunning, m_pbrMain);
    const QByteArray folder = FileSystem::encode(folderBox->text());
    const int n = pane->count();
    const std::vector<char> selected = selectedRowFlags(*pane);
    run.setMaximum(n);
    for (int i = 0; i < n && !run.cancelled(); ++i) {
        if (selected[static_cast<size_t>(i)] && !pane->rowText(i).isEmpty())
            (void)deleteFileAsked(m_platform, this, {folder, pane->rowFileName(i)}, way, &m_undo,
                                  pane->rows().isFolder(i));
        run.setValue(i + 1);
    }
    m_pbrMain->setValue(0);
    mnuRefresh_Click();
}

void Main::mnuPopupDelete_Click() {
    mnuDelete_Click();
}
