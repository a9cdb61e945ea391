// Delete: the active pane's selected files, each confirmed.
#include "mainwindow/main_window.h"

#include "fileops/file_steps.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"

#include <QLineEdit>
#include <QProgressBar>

void Main::mnuDelete_Click() {
    // The preview's rows take the deletion, on the pane's side, as their action.
    if (m_comparison->syncPreview().previewed()) {
        changeSyncActions(ActivePane == 0 ? SyncAction::DeleteLeft : SyncAction::DeleteRight);
        return;
    }
    deleteSelected(m_comparison->settings().useTrash != 0 ? DeleteWay::ToTrash
                                                          : DeleteWay::Permanently);
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
    FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning, m_ui.pbrMain);
    const QByteArray folder = FileSystem::encode(folderBox->text());
    // The files chosen now, by name and identity: rows that hide or appear
    // while a question waits change nothing of what is deleted.
    QList<ClipboardEntry> chosen = chosenFiles(*pane, folder);
    noteIdentities(chosen, run);
    run.setMaximum(int(chosen.size()));
    for (qsizetype i = 0; i < chosen.size() && !run.cancelled(); ++i) {
        if (chosen[i].id) // gone already when chosen: nothing to ask about
            (void)deleteFileAsked(run, chosen[i].file, way, &m_comparison->undoJournal(),
                                  chosen[i].folder, &*chosen[i].id);
        run.setValue(int(i) + 1);
    }
    m_ui.pbrMain->setValue(0);
    mnuRefresh_Click();
}

void Main::mnuPopupDelete_Click() {
    mnuDelete_Click();
}
