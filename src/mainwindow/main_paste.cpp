// Paste: the recorded files copied, or moved after Cut, into the active pane's folder.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "fileops/transfer_run.h"
#include "mainwindow/file_command_run.h"

#include <QLineEdit>
#include <QProgressBar>

void Main::mnuEditPaste_Click() {
    if (m_fileCommandRunning)
        return;
    // The target is the pane active when the paste began, though the focus may move meanwhile.
    const std::optional<Parts::PaneTop> top = Parts::paneTop(
        *this, ActivePane == 0 ? Side::Source : Side::Destination, QStringLiteral("Paste"));
    if (!top)
        return;
    const auto recorded = recordForUndo(QStringLiteral("Paste"));
    FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning, m_ui.pbrMain);
    CopyOptions options = copyOptions;
    options.folders = std::make_shared<HeldFolders>();
    // A copy: the list stays as it is while the window repaints between files.
    const QList<ClipboardEntry> entries = ClipboardFiles;
    std::vector<Transfer> transfers;
    for (qsizetype i = 1; i < entries.size(); ++i) {
        Transfer t = Parts::transferTo(*this, entries[i], top->folder, top->side);
        t.pasting = true;
        t.move = ClipboardMode == 1;
        transfers.push_back(std::move(t));
    }
    runTransfers(run, std::move(transfers), options);
    m_ui.pbrMain->setValue(0);
    mnuRefresh_Click();
}

void Main::mnuPopupPaste_Click() {
    mnuEditPaste_Click();
}
