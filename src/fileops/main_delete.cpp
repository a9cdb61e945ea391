// Delete: the active pane's selected files, each confirmed.
#include "mainwindow/main_window.h"

#include "fileops/file_command_run.h"
#include "fileops/file_steps.h"
#include "fileops/pane_selection.h"
#include "mainwindow/list_pane.h"

#include <QLineEdit>
#include <QProgressBar>
#include <optional>

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
    // The files chosen now, by name and identity: rows that hide or appear
    // while a question waits change nothing of what is deleted.
    struct Chosen {
        FileLocation file;
        bool folder = false;
        std::optional<FileIdentity> id;
    };
    std::vector<Chosen> chosen;
    const std::vector<char> selected = selectedRowFlags(*pane);
    for (int i = 0; i < pane->count(); ++i) {
        if (selected[static_cast<size_t>(i)] && !pane->rowText(i).isEmpty()) {
            const FileLocation file = pane->rowLocation(folder, i);
            chosen.push_back({file, pane->rows().isFolder(i), FileIdentity::of(file.path())});
        }
    }
    run.setMaximum(int(chosen.size()));
    for (size_t i = 0; i < chosen.size() && !run.cancelled(); ++i) {
        if (chosen[i].id)
            (void)deleteFileAsked(m_platform, this, chosen[i].file, way, &m_undo, chosen[i].folder,
                                  &*chosen[i].id);
        run.setValue(int(i) + 1);
    }
    m_pbrMain->setValue(0);
    mnuRefresh_Click();
}

void Main::mnuPopupDelete_Click() {
    mnuDelete_Click();
}
