// Rows dragged from one pane and dropped on the other are copied into its folder.
#include "mainwindow/main_window.h"

#include "fileops/transfer_run.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"

#include <QLineEdit>
#include <QProgressBar>
#include <utility>

void Main::lvDest_DragDrop(const QString& draggedName, float, float) {
    dropRows(m_ui.lvSource, m_ui.txtDest, draggedName == QLatin1String("lvSource"));
}

void Main::lvSource_DragDrop(const QString& draggedName, float, float) {
    dropRows(m_ui.lvDest, m_ui.txtSource, draggedName == QLatin1String("lvDest"));
}

void Main::dropRows(ListPane* dragged, QLineEdit* receivingBox, bool accepted) {
    if (m_fileCommandRunning)
        return;
    const auto recorded = recordForUndo(QStringLiteral("Drop"));
    FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning, m_ui.pbrMain);
    if (accepted) {
        CopyOptions options = copyOptions;
        options.folders = std::make_shared<HeldFolders>();
        const QByteArray to = FileSystem::encode(receivingBox->text());
        // The rows chosen when the drag began, whatever the rows did since.
        QList<ClipboardEntry> chosen =
            m_dragPane == dragged ? std::exchange(m_dragged, {}) : QList<ClipboardEntry>();
        noteIdentities(chosen, run);
        std::vector<Transfer> transfers;
        for (const ClipboardEntry& e : chosen) {
            Transfer t{e.file, e.folder, to};
            t.keepReplaced = m_comparison->settings().useTrash != 0;
            t.journal = &m_comparison->undoJournal();
            t.chosen = e.identity();
            transfers.push_back(std::move(t));
        }
        runTransfers(run, std::move(transfers), options);
    }
    m_ui.pbrMain->setValue(0);
    mnuRefresh_Click();
}
