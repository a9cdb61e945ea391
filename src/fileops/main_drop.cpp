// Rows dragged from one pane and dropped on the other are copied into its folder.
#include "mainwindow/main_window.h"

#include "fileops/file_command_run.h"
#include "fileops/pane_selection.h"
#include "fileops/transfer_run.h"
#include "mainwindow/list_pane.h"

#include <QLineEdit>
#include <QProgressBar>

void Main::lvDest_DragDrop(const QString& draggedName, float, float) {
    dropRows(m_lvSource, m_txtSource, m_txtDest, draggedName == QLatin1String("lvSource"));
}

void Main::lvSource_DragDrop(const QString& draggedName, float, float) {
    dropRows(m_lvDest, m_txtDest, m_txtSource, draggedName == QLatin1String("lvDest"));
}

void Main::dropRows(ListPane* dragged, QLineEdit* draggedBox, QLineEdit* receivingBox,
                    bool accepted) {
    if (m_fileCommandRunning)
        return;
    const auto recorded = recordForUndo(QStringLiteral("Drop"));
    FileCommandRun run(fileCommandActions(), m_fileCommandRunning, m_pbrMain);
    if (accepted) {
        CopyOptions options = copyOptions;
        options.onChunk = [&run] { run.keepPainted(); };
        options.folders = std::make_shared<HeldFolders>();
        const QByteArray from = FileSystem::encode(draggedBox->text());
        const QByteArray to = FileSystem::encode(receivingBox->text());
        const int n = dragged->count();
        const std::vector<char> selected = selectedRowFlags(*dragged);
        const auto dropped = [&](int i) {
            return selected[static_cast<size_t>(i)] && !dragged->rowText(i).isEmpty();
        };
        std::vector<Transfer> transfers;
        for (int i = 0; i < n; ++i) {
            if (!dropped(i))
                continue;
            Transfer t{dragged->rowLocation(from, i), dragged->rows().isFolder(i), to};
            t.keepReplaced = m_settings.useTrash != 0;
            t.journal = &m_undo;
            transfers.push_back(std::move(t));
        }
        runTransfers(m_platform, this, std::move(transfers), options, run);
    }
    m_pbrMain->setValue(0);
    mnuRefresh_Click();
}
