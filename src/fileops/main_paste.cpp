// Paste: the recorded files copied, or moved after Cut, into the active pane's folder.
#include "mainwindow/main_window.h"

#include "fileops/file_command_run.h"
#include "fileops/file_steps.h"

#include <QLineEdit>
#include <QProgressBar>

void Main::mnuEditPaste_Click() {
    if (m_fileCommandRunning)
        return;
    const auto recorded = recordForUndo(QStringLiteral("Paste"));
    FileCommandRun run(fileCommandActions(), m_fileCommandRunning, m_pbrMain);
    CopyOptions options = copyOptions;
    options.onChunk = [&run] { run.keepPainted(); };
    options.folders = std::make_shared<HeldFolders>();
    // A copy: the list stays as it is while the window repaints between files.
    const QList<ClipboardEntry> entries = ClipboardFiles;
    // The target is the pane active when the paste began, though the focus may move meanwhile.
    const QByteArray targetFolder = FileSystem::encode(activeFolderBox()->text());
    const int n = static_cast<int>(entries.size()) - 1;
    if (n != 0)
        run.setMaximum(n);
    ForAll forAll = ForAll::Ask;
    for (int i = 1; i <= n && !run.cancelled(); ++i) {
        Transfer transfer{entries[i].file, targetFolder, true, ClipboardMode == 1};
        transfer.othersFollow = i < n;
        transfer.forAll = &forAll;
        transfer.keepReplaced = m_settings.useTrash != 0;
        transfer.journal = &m_undo;
        if (transferFile(m_platform, this, transfer, options) == AfterFile::Stop)
            break;
        run.setValue(i);
    }
    m_pbrMain->setValue(0);
    mnuRefresh_Click();
}

void Main::mnuPopupPaste_Click() {
    mnuEditPaste_Click();
}
