// Edit > Copy to Right and Copy to Left: the selected rows' files go to the
// same relative place in the other pane's folder.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "compare/flat_rows.h"
#include "fileops/sync_sides.h"
#include "fileops/transfer_run.h"
#include "fs/parent_folders.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"
#include "shell/platform.h"

#include <QLineEdit>
#include <QProgressBar>

// The selected rows' files or folders (whichever pane they were selected
// in) copied from the Source side to the same relative place on the
// Destination side (Right), or back (Left), with the folders above them
// made as needed; one Undo entry.
void Main::mnuEditCopyToRight_Click() {
    Parts::copyAcross(*this, Side::Source);
}

void Main::mnuEditCopyToLeft_Click() {
    Parts::copyAcross(*this, Side::Destination);
}

void Main::Parts::copyAcross(Main& m, Side from) {
    if (m.m_fileCommandRunning)
        return;
    if (m.m_comparison->syncPreview()
            .previewed()) { // the preview's rows take the copy as their action
        m.changeSyncActions(from == Side::Source ? SyncAction::CopyRight : SyncAction::CopyLeft);
        return;
    }
    const QString command =
        from == Side::Source ? QStringLiteral("Copy to Right") : QStringLiteral("Copy to Left");
    const std::optional<PaneTop> fromTop = paneTop(m, from, command, true);
    const std::optional<PaneTop> toTop = fromTop ? paneTop(m, otherSide(from), command) : fromTop;
    if (!toTop)
        return;
    // A folder on another host: its folders above a row are not made here.
    const bool onHost = fromTop->side || toTop->side;
    ListPane* fromPane = from == Side::Source ? m.m_ui.lvSource : m.m_ui.lvDest;
    // The rows chosen in the pane last pointed at; the panes' rows face each other.
    const std::vector<char> selected = selectedRowFlags(*m.activeList());
    std::vector<int> rows;
    for (int row = 0; row < fromPane->count(); ++row) {
        if (selected[static_cast<size_t>(row)] && !fromPane->rowText(row).isEmpty())
            rows.push_back(row);
    }
    if (rows.empty()) {
        m.m_platform.beep(); // nothing on that side to carry across
        return;
    }
    const auto recorded = m.recordForUndo(command);
    {
        FileCommandRun run(m.m_platform, &m, m.fileCommandActions(), m.m_fileCommandRunning,
                           m.m_ui.pbrMain);
        // The files chosen now, by name and identity, whatever the rows do meanwhile.
        QList<ClipboardEntry> chosen;
        for (const int row : rows)
            chosen.append({fromPane->rowLocation(fromTop->folder, row),
                           fromPane->rows().isFolder(row), std::nullopt, fromTop->side});
        noteIdentities(chosen, run);
        CopyOptions options = m.copyOptions;
        options.folders = std::make_shared<HeldFolders>();
        ParentFolders parents;
        std::vector<Transfer> transfers;
        for (qsizetype k = 0; k < chosen.size(); ++k) {
            const QByteArray relative = fromPane->rowFileName(rows[size_t(k)]);
            const QByteArrayView folder = folderPart(relative);
            std::vector<QByteArray> made;
            if (const FsResult ok =
                    onHost ? FsResult()
                           : parents.make(fromTop->folder, toTop->folder, folder, &made);
                !ok) {
                ReportUnexpectedError(m.m_platform, &m, ok.error().number(),
                                      ok.error().description());
                continue;
            }
            for (const QByteArray& path : made) {
                UndoStep step;
                step.kind = UndoStep::Kind::FolderMade;
                step.path = path;
                m.m_comparison->undoJournal().record(std::move(step));
            }
            transfers.push_back(transferTo(
                m, chosen[k],
                folder.isEmpty() ? toTop->folder
                                 : FileLocation{toTop->folder, folder.toByteArray()}.path(),
                toTop->side));
        }
        runTransfers(run, std::move(transfers), options);
        parents.finish();
    }
    m.m_ui.pbrMain->setValue(0);
    m.mnuRefresh_Click();
}
