// Rows dragged from one pane and dropped on the other are copied into its folder.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "fileops/sync_sides.h"
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
    const Side to = receivingBox == m.m_ui.txtSource ? Side::Source : Side::Destination;
    const std::optional<PaneTop> fromTop =
        accepted ? paneTop(m, otherSide(to), QStringLiteral("Drag and drop"), true) : std::nullopt;
    const std::optional<PaneTop> toTop =
        fromTop ? paneTop(m, to, QStringLiteral("Drag and drop")) : std::nullopt;
    if (accepted && !toTop) {
        m.m_dragged.clear();
        return;
    }
    const auto recorded = m.recordForUndo(QStringLiteral("Drop"));
    FileCommandRun run(m.m_platform, &m, m.fileCommandActions(), m.m_fileCommandRunning,
                       m.m_ui.pbrMain);
    if (accepted) {
        CopyOptions options = m.copyOptions;
        options.folders = std::make_shared<HeldFolders>();
        // The rows chosen when the drag began, whatever the rows did since.
        QList<ClipboardEntry> chosen =
            m.m_dragPane == dragged ? std::exchange(m.m_dragged, {}) : QList<ClipboardEntry>();
        noteIdentities(chosen, run);
        std::vector<Transfer> transfers;
        for (const ClipboardEntry& e : chosen)
            transfers.push_back(transferTo(m, e, toTop->folder, toTop->side));
        runTransfers(run, std::move(transfers), options);
    }
    m.m_ui.pbrMain->setValue(0);
    m.mnuRefresh_Click();
}
