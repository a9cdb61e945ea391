// The refresh: both folders listed and laid out row against row on threads
// of their own while the window goes on answering; texts and icons are made
// for the rows as they are painted.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/row_matching.h"
#include "fs/file_system.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "shell/platform.h"

#include <QApplication>
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

// Rows whose type and icon the refresh makes itself, so that a scratch file
// that fails does so inside the refresh: more than a screenful.
constexpr qsizetype rowsLookedUpAhead = 64;

void restoreCurrentRow(ListPane* pane, int row, const QByteArray& fileName) {
    // A row the user chose while the rows came in stays.
    if (row < 0 || pane->count() == 0 || pane->currentRow() >= 0)
        return;
    const int found = pane->rows().findFile(fileName);
    // A file gone since (deleted, renamed, moved) leaves its place to the next row.
    pane->setCurrentRow(found >= 0 ? found : std::min(row, pane->count() - 1));
    if (!pane->rowFileName(pane->currentRow()).isEmpty())
        pane->setRowSelected(pane->currentRow(), true);
}

} // namespace

void Main::mnuRefresh_Click() {
    // Inside a refresh (F5 again, a new folder, the options): the running
    // one stops and a new one starts when it has.
    if (m_refreshing) {
        m_refreshAgain = true;
        m_comparison->cancelRead();
        return;
    }
    // Hiding the panes while they fill moves the focus away; it comes back to
    // where it was, so the keys go on working in the pane the user was in.
    const QPointer<QWidget> focused = focusWidget();
    // The highlighted row comes back too: without it the view would make its
    // first row current unseen, and F2 or Delete would act on a row the user
    // never pointed at.
    ListPane* active = ActivePane == 0 ? m_ui.lvSource : m_ui.lvDest;
    ListPane* other = active == m_ui.lvSource ? m_ui.lvDest : m_ui.lvSource;
    const int activeRow = active->currentRow();
    const QByteArray activeName = active->rowFileName(activeRow);
    const int otherRow = other->currentRow();
    const QByteArray otherName = other->rowFileName(otherRow);
    try {
        {
            const QScopedValueRollback refreshing(m_refreshing, true);
            const QScopedValueRollback busy(m_fileCommandRunning, true);
            do {
                m_refreshAgain = false;
                Parts::refreshPanes(*this);
            } while (m_refreshAgain);
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
    // the allocator.
    malloc_trim(0);
#endif
}

void Main::Parts::refreshPanes(Main& m) {
    m.m_comparison->setFlattened(m.flattened());
    m.m_comparison->setCompareContents(m.m_ui.mnuCompareContents->isChecked());
    // Flatten toggled back with nothing read since: the rows come back as they were.
    const std::shared_ptr<FolderRows> kept =
        m.m_comparison->beginRead(FileSystem::encode(folderPath(m.m_ui.txtSource->text())),
                                  FileSystem::encode(folderPath(m.m_ui.txtDest->text())));
    m.m_ui.statusSummary->clear();
    // No row points at the previous refresh's images any more.
    m.m_ilIcons.clear();
    m.m_iconLookup->beginRefresh();
    m.m_lookFailed = false;
    m.m_ui.statusPanel1->setText(readingText);

    const std::shared_ptr<FolderRows> rows = kept ? kept : m.m_comparison->read();
    m.m_ui.pbrMain->setValue(0);
    if (!rows) {
        // Stopped: the panes stay empty.
        m.m_ui.statusPanel1->setText(QString());
        return;
    }
    if (!kept)
        Q_EMIT m.foldersScanned();

    const qsizetype n = rows->source.count() + rows->destination.count();
    if (n - 1 >= 1)
        m.m_ui.pbrMain->setMaximum(static_cast<int>(std::min<qsizetype>(n - 1, INT_MAX)));
    // The first screens' icons go through the scratch file now: a failure
    // there ends the refresh through its error path.
    if (rows != m.m_comparison->rows()) {
        m.m_ui.lvSource->hide();
        m.m_ui.lvDest->hide();
        m.m_comparison->showRows(rows);
    }
    try {
        for (int row = 0;
             row < std::min(m.m_comparison->visibleRows().count(), int(rowsLookedUpAhead)); ++row) {
            const qsizetype shared = m.m_comparison->visibleRows().sharedRow(row);
            for (const Side side : {Side::Source, Side::Destination}) {
                if (rows->entry(shared, side) >= 0)
                    Parts::lookUp(m, *rows, shared, side);
            }
        }
    } catch (const FsError&) {
        m.m_comparison->showRows(nullptr); // the panes stay empty
        throw;
    }
    m.m_ui.statusPanel1->setText(QString());
    Parts::noteMissingFolders(m);
    Parts::showStatusSummary(m);
    m.m_ui.lvSource->show();
    m.m_ui.lvDest->show();
    m.m_comparison->readShown(kept != nullptr);
}

PaneModel::Look Main::Parts::lookUp(Main& m, const FolderRows& rows, qsizetype row, Side side) {
    // A file that cannot be looked up (a link that leads to no file) shows
    // the type and icon of the file before it in the refresh's order, Source
    // before Destination on each row; the generic file's when there is none.
    // Folders have a look of their own, which no file takes.
    if (const qint32 own = rows.entry(row, side); own >= 0 && rows.listing(side).stat(own).folder) {
        const IconLookup::Found found = m.m_iconLookup->folder(m.m_ilIcons);
        return {found.type, found.icon};
    }
    for (;;) {
        const qint32 i = rows.entry(row, side);
        const FileStat st = i >= 0 ? rows.listing(side).stat(i) : FileStat{};
        if (i >= 0 && !st.dangling && !st.folder) {
            const IconLookup::Found found =
                m.m_iconLookup->lookup(rows.listing(side).name(i), m.m_ilIcons);
            return {found.type, found.icon};
        }
        if (side == Side::Destination)
            side = Side::Source;
        else if (row-- > 0)
            side = Side::Destination;
        else
            break;
    }
    const IconLookup::Found found = m.m_iconLookup->generic(m.m_ilIcons);
    return {found.type, found.icon};
}

PaneModel::Look Main::paintedLook(const FolderRows& rows, qsizetype row, Side side) {
    try {
        return Parts::lookUp(*this, rows, row, side);
    } catch (const FsError& e) {
        // Found while painting: told once, after the paint, and the row goes
        // without its icon.
        if (!std::exchange(m_lookFailed, true)) {
            QMetaObject::invokeMethod(
                this,
                [this, number = e.number(), text = e.description()] {
                    ReportUnexpectedError(m_platform, this, number, text);
                },
                Qt::QueuedConnection);
        }
        return {};
    }
}
