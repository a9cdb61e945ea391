// Rows dragged from one pane and dropped on the other are copied into its folder.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "fileops/transfer_run.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"

#include <QLineEdit>
#include <QProgressBar>
#include <utility>

void Main::lvDest_DragDrop(const QString& draggedName, float, float) {
    Parts::dropRows(*this, m_ui.lvSource, m_ui.txtDest, draggedName == QLatin1String("lvSource"));
}

void Main::lvSource_DragDrop(const QString& draggedName, float, float) {
    Parts::dropRows(*this, m_ui.lvDest, m_ui.txtSource, draggedName == QLatin1String("lvDest"));
}

void Main::Parts::dropRows(Main& m, ListPane* dragged, QLineEdit* receivingBox, bool accepted) {
    if (m.m_fileCommandRunning)
        return;
    if (accepted &&
        refusedOnHost(m, {Side::Source, Side::Destination}, QStringLiteral("Drag and drop"))) {
        m.m_dragged.clear();
        return;
    }
    const auto recorded = m.recordForUndo(QStringLiteral("Drop"));
    FileCommandRun run(m.m_platform, &m, m.fileCommandActions(), m.m_fileCommandRunning,
                       m.m_ui.pbrMain);
    if (accepted) {
        CopyOptions options = m.copyOptions;
        options.folders = std::make_shared<HeldFolders>();
        const QByteArray to = FileSystem::encode(receivingBox->text());
        // The rows chosen when the drag began, whatever the rows did since.
        QList<ClipboardEntry> chosen =
            m.m_dragPane == dragged ? std::exchange(m.m_dragged, {}) : QList<ClipboardEntry>();
        noteIdentities(chosen, run);
        std::vector<Transfer> transfers;
        for (const ClipboardEntry& e : chosen) {
            Transfer t{e.file, e.folder, to};
            t.keepReplaced = m.m_comparison->settings().useTrash != 0;
            t.journal = &m.m_comparison->undoJournal();
            t.chosen = e.identity();
            transfers.push_back(std::move(t));
        }
        runTransfers(run, std::move(transfers), options);
    }
    m.m_ui.pbrMain->setValue(0);
    m.mnuRefresh_Click();
}
