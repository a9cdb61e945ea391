// The refresh: both folders scanned, merged and laid out row against row.
#include "mainwindow/main_window.h"

#include "core/file_system.h"
#include "core/folder_scan.h"
#include "core/message_style.h"
#include "core/name_text.h"
#include "core/row_matching.h"
#include "core/row_status.h"
#include "core/text_formats.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/paint_pacer.h"
#include "shell/platform.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScopedValueRollback>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

const QString readingText = QStringLiteral("Reading folder content. Please wait...");

} // namespace

void Main::mnuRefresh_Click() {
    // A refresh repaints the window as it goes. Whatever arrives meanwhile (a
    // first activation, a queued drop) must not start another refresh or a
    // file command over the half-built rows.
    if (m_refreshing)
        return;
    // Hiding the panes while they fill moves the focus away; it comes back to
    // where it was, so the keys go on working in the pane the user was in.
    const QPointer<QWidget> focused = focusWidget();
    // The highlighted row comes back too: without it the view would make its
    // first row current unseen, and F2 or Delete would act on a row the user
    // never pointed at.
    ListPane* active = ActivePane == 0 ? m_lvSource : m_lvDest;
    ListPane* other = active == m_lvSource ? m_lvDest : m_lvSource;
    const int activeRow = active->currentRow();
    const QByteArray activeName = active->rowFileName(activeRow);
    const int otherRow = other->currentRow();
    const QByteArray otherName = other->rowFileName(otherRow);
    try {
        {
            const QScopedValueRollback refreshing(m_refreshing, true);
            const QScopedValueRollback busy(m_fileCommandRunning, true);
            refreshPanes();
        }
        // The other pane first, so the current file ends on the active one.
        restoreCurrentRow(other, otherRow, otherName);
        restoreCurrentRow(active, activeRow, activeName);
    } catch (const FsError& e) {
        ReportUnexpectedError(m_platform, this, e.number(), e.description());
    }
    // Files that a move left set aside, which could not get their own names back.
    for (const QString& note : FileSystem::takeLeftoverNotes())
        m_platform.messageBox(this, note, MsgStyle::Information);
    // Paste follows the clipboard again: a resize while the rows were built
    // may have taken it away.
    updatePasteCommands();
    if (focused && focused->isVisible())
        focused->setFocus();
#ifdef __GLIBC__
    // The old rows' memory goes back to the system instead of staying with
    // the allocator: after a large folder that is a hundred megabytes.
    malloc_trim(0);
#endif
}

void Main::restoreCurrentRow(ListPane* pane, int row, const QByteArray& fileName) {
    if (row < 0 || pane->count() == 0)
        return;
    int found = -1;
    for (int i = 0; !fileName.isEmpty() && i < pane->count() && found < 0; ++i) {
        if (pane->rowFileName(i) == fileName)
            found = i;
    }
    // A file gone since (deleted, renamed, moved) leaves its place to the next row.
    pane->setCurrentRow(found >= 0 ? found : std::min(row, pane->count() - 1));
    if (!pane->rowFileName(pane->currentRow()).isEmpty())
        pane->setRowSelected(pane->currentRow(), true);
}

void Main::refreshPanes() {
    const QByteArray sourceFolder = FileSystem::encode(folderPath(m_txtSource->text()));
    const QByteArray destFolder = FileSystem::encode(folderPath(m_txtDest->text()));
    m_lvSource->clear();
    m_lvDest->clear();
    stopContentCheck();
    m_statusSummary->clear();
    // No row points at the previous refresh's images any more.
    m_ilIcons.clear();
    m_iconLookup->beginRefresh();
    scanFolders(m_lstSort, sourceFolder, destFolder, m_settings);
    Q_EMIT foldersScanned();

    m_lvSource->hide();
    m_lvDest->hide();
    m_lvSource->rows().beginBulkAdd();
    m_lvDest->rows().beginBulkAdd();
    m_statusPanel1->setText(readingText);

    const qsizetype n = m_lstSort.count();
    if (n - 1 >= 1)
        m_pbrMain->setMaximum(static_cast<int>(std::min<qsizetype>(n - 1, INT_MAX)));

    const TextFormats formats;
    PaintPacer pacer;
    StatusCounts& counts = m_statusCounts;
    counts = {};
    // A file gone since the listing is left out.
    for (const StatedRow& stated :
         statRows(alignRows(m_lstSort), m_lstSort, sourceFolder, destFolder)) {
        const AlignedRow& row = stated.row;
        const RowStatus status = rowStatus(stated);
        counts.add(status);
        if (row.source >= 0)
            addFileRow(m_lvSource, m_lstSort.at(row.source), stated.source, status, formats);
        else
            m_lvSource->addRow(QString());
        if (row.destination >= 0)
            addFileRow(m_lvDest, m_lstSort.at(row.destination), stated.destination, status,
                       formats);
        else
            m_lvDest->addRow(QString());
        m_pbrMain->setValue(static_cast<int>(std::min<qsizetype>(row.progress, INT_MAX)));
        pacer.keepPainted();
    }

    m_statusPanel1->setText(QString());
    showStatusSummary();
    m_pbrMain->setValue(0);
    m_lvSource->rows().endBulkAdd();
    m_lvDest->rows().endBulkAdd();
    m_lvSource->show();
    m_lvDest->show();
    startContentCheck(sourceFolder, destFolder);
}

void Main::addFileRow(ListPane* pane, const NameEntry& entry, const FileStat& st, RowStatus status,
                      const TextFormats& formats) {
    // One stat serves the lookup and the Size and Modified columns. A failed lookup keeps the last
    // type and icon.
    m_iconLookup->lookup(entry.name, !st.folder && !st.dangling);
    const int row = pane->addRow(entry.name, entry.fileName);
    PaneModel& rows = pane->rows();
    rows.setSubItem(row, PaneModel::Size, formats.sizeText(st.size));
    rows.setSubItem(row, PaneModel::Type, m_iconLookup->typeText());
    rows.setSubItem(row, PaneModel::Modified, formats.modifiedText(st.modified));
    rows.setSmallIcon(row, m_ilIcons.add(m_iconLookup->load()));
    rows.setStatus(row, status);
}
