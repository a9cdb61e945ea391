// View > Flatten Subfolders: every file of both trees in one list, each row
// with its folder relative to the panes' folders.
#include "mainwindow/main_window.h"

#include "base/text_formats.h"
#include "compare/flat_rows.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QLabel>
#include <cerrno>

bool Main::flattened() const {
    return m_mnuFlatten->isChecked();
}

void Main::showFlattened() {
    const bool flat = flattened();
    toolbarButton(QStringLiteral("Flatten"))->setChecked(flat);
    m_lvSource->setFlat(flat);
    m_lvDest->setFlat(flat);
}

void Main::mnuFlatten_Click() {
    showFlattened();
    m_flatToggled = true;
    mnuRefresh_Click();
}

std::shared_ptr<FolderRows> Main::rowsShownAgain(const QByteArray& sourceFolder,
                                                 const QByteArray& destFolder) {
    // Anything read anew makes both stale: a file command, F5, another folder.
    ReadRows shown = std::exchange(m_shownRead, {});
    const ReadRows kept = std::exchange(m_keptRead, {});
    if (!std::exchange(m_flatToggled, false))
        return nullptr;
    // Rows whose checks have all ended are kept for toggling back.
    if (shown.rows && shown.rows == m_visibleRows->folderRows() && m_contentPending == 0)
        m_keptRead = std::move(shown);
    const bool same =
        kept.flat == flattened() && kept.source == sourceFolder && kept.destination == destFolder;
    return same ? kept.rows : nullptr;
}

std::shared_ptr<FolderRows> Main::readFlatRows(const QByteArray& sourceFolder,
                                               const QByteArray& destFolder,
                                               const TreeOptions& options, FlatFeed& feed) {
    // Files of equal size are left to the content check, as in the usual view.
    try {
        walkTrees(sourceFolder, destFolder, options, feed);
        return nullptr;
    } catch (const FsError& e) {
        // A folder that is not there lists nothing, as it does unflattened.
        if (e.number() != ENOENT && e.number() != ENOTDIR)
            throw;
    }
    ScanOptions scan;
    scan.cancel = options.cancel;
    return compareFolders(sourceFolder, destFolder, options.filters, scan);
}

void Main::showFlatRows(FlatFeed& feed) {
    const FlatFeed::Batch batch = feed.take();
    batch.apply([&](qsizetype at, qsizetype first,
                    qsizetype count) { m_visibleRows->insertRows(at, batch.rows, first, count); },
                [&](qsizetype at, RowStatus status) { m_visibleRows->setStatus(at, status); });
}

void Main::showFlatProgress(qint64 folders, qint64 entries) {
    const TextFormats formats;
    m_statusPanel1->setText(
        QStringLiteral("Reading folders: %1 folders, %2 entries read. Esc stops.")
            .arg(formats.countText(folders), formats.countText(entries)));
}
