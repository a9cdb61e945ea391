// Delete: the active pane's selected files, each confirmed.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

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
    Parts::deleteSelected(*this, m_comparison->settings().useTrash != 0 ? DeleteWay::ToTrash
                                                                        : DeleteWay::Permanently);
}

void Main::mnuEditDeletePermanently_Click() {
    Parts::deleteSelected(*this, DeleteWay::Permanently);
}

void Main::Parts::deleteSelected(Main& m, DeleteWay way) {
    if (m.CurrentFile.isEmpty() || m.m_fileCommandRunning)
        return;
    const auto recorded = m.recordForUndo(QStringLiteral("Delete"));
    ListPane* pane = m.activeList();
    const std::optional<PaneTop> top =
        paneTop(m, Side(m.ActivePane),
                way == DeleteWay::ToTrash ? QStringLiteral("Delete")
                                          : QStringLiteral("Delete Permanently"));
    if (!top)
        return;
    FileCommandRun run(m.m_platform, &m, m.fileCommandActions(), m.m_fileCommandRunning,
                       m.m_ui.pbrMain);
    // The files chosen now, by name and identity: rows that hide or appear
    // while a question waits change nothing of what is deleted. A host's
    // are each as they are when first looked at.
    QList<ClipboardEntry> chosen = chosenFiles(*pane, top->folder, top->side);
    noteIdentities(chosen, run);
    const RowPlace place{top->side, top->folder,
                         top->side ? m.m_comparison->folder(Side(m.ActivePane)).given
                                   : QByteArray()};
    run.setMaximum(int(chosen.size()));
    for (qsizetype i = 0; i < chosen.size() && !run.cancelled(); ++i) {
        // Gone already when chosen here: nothing to ask about.
        if (chosen[i].side || chosen[i].id)
            (void)deleteFileAsked(run, chosen[i].file, way, &m.m_comparison->undoJournal(),
                                  chosen[i].folder, chosen[i].id ? &*chosen[i].id : nullptr, place);
        run.setValue(int(i) + 1);
    }
    m.m_ui.pbrMain->setValue(0);
    m.mnuRefresh_Click();
}

void Main::mnuPopupDelete_Click() {
    mnuDelete_Click();
}
