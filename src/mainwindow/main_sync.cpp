// Edit > Synchronize: the mode asked for, the plan made off the window's
// thread, previewed in the panes themselves, changed row by row, then run as
// one command that Undo takes back whole.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "dialogs/sync_mode_dialog.h"
#include "fileops/sync_guards.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/off_thread.h"
#include "mainwindow/pane_selection.h"
#include "mainwindow/sync_column.h"
#include "shell/platform.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>

void Main::Parts::buildSyncPreview(Main& m) {
    m.m_ui.syncBar = new QWidget(m.centralWidget());
    m.m_ui.syncBar->setObjectName(QStringLiteral("picSyncBar"));
    m.m_ui.syncBar->setAutoFillBackground(true);
    m.m_ui.syncText = new QLabel(m.m_ui.syncBar);
    m.m_ui.syncText->setObjectName(QStringLiteral("lblSync"));
    m.m_ui.syncText->setToolTip(QStringLiteral(
        "Alt+Right copies right, Alt+Left copies left, Delete deletes on the side of the "
        "pane you are in, Space skips (again: back to the plan's action)."));
    auto* run = new QPushButton(QStringLiteral("&Synchronize"), m.m_ui.syncBar);
    run->setObjectName(QStringLiteral("cmdSyncRun"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m.m_ui.syncBar);
    cancel->setObjectName(QStringLiteral("cmdSyncCancel"));
    cancel->setShortcut(Qt::Key_Escape);
    auto* layout = new QHBoxLayout(m.m_ui.syncBar);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(m.m_ui.syncText, 1);
    layout->addWidget(run);
    layout->addWidget(cancel);
    connect(run, &QPushButton::clicked, &m, &Main::cmdSyncRun_Click);
    connect(cancel, &QPushButton::clicked, &m, &Main::cmdSyncCancel_Click);
    m.m_ui.syncColumn = new SyncColumn(
        m.m_ui.lvSource, m.m_ui.lvDest,
        [&m](int row) -> std::optional<SyncAction> {
            const SyncEntry* e = row >= 0 && row < m.m_comparison->visibleRows().count()
                                     ? m.m_comparison->syncPreview().entryAt(
                                           m.m_comparison->visibleRows().sharedRow(row))
                                     : nullptr;
            return e ? std::optional(e->action) : std::nullopt;
        },
        m.centralWidget());
    m.m_ui.syncSkip = new QShortcut(Qt::Key_Space, &m);
    connect(m.m_ui.syncSkip, &QShortcut::activated, &m,
            [&m] { m.changeSyncActions(SyncAction::Skip); });
    connect(&m.m_comparison->syncPreview(), &SyncPreview::actionsChanged, &m,
            [&m] { Parts::showSyncSummary(m); });
    // Rows other than the plan's in the panes (a refresh, after a file
    // command or a new folder): the preview is over.
    connect((&m.m_comparison->visibleRows()), &VisibleRows::reset, &m, [&m] {
        const SyncPlan* plan = m.m_comparison->syncPreview().previewed();
        if (plan && m.m_comparison->visibleRows().folderRows() != plan->rows)
            Parts::endSyncPreview(m);
    });
    m.m_ui.syncBar->hide();
    m.m_ui.syncColumn->hide();
    m.m_ui.syncSkip->setEnabled(false);
}

// Edit > Synchronize: the mode asked for, the plan made on a thread of
// its own (Escape stops it) and previewed in the panes, flattened, one
// row per entry with its action in a column between them. Alt+Right,
// Alt+Left, Delete and Space change the selected rows' actions;
// Synchronize runs the plan as one command, Cancel or Escape leaves it.
// Any refresh leaves it too.
void Main::mnuEditSynchronize_Click() {
    if (m_fileCommandRunning)
        return;
    // The plan goes through the sides the panes read their folders by: a
    // box changed since is read first.
    const QByteArray given[2] = {FileSystem::encode(folderPath(m_ui.txtSource->text())),
                                 FileSystem::encode(folderPath(m_ui.txtDest->text()))};
    if (m_comparison->folder(Side::Source).given != given[0] ||
        m_comparison->folder(Side::Destination).given != given[1])
        mnuRefresh_Click();
    // Nothing is copied from one host to another.
    if (!Parts::paneTop(*this, Side::Source, QStringLiteral("Synchronize"), true))
        return;
    std::optional<SyncPreview::Folder> pair[2];
    for (const Side side : {Side::Source, Side::Destination}) {
        pair[int(side)] = m_comparison->syncFolder(side);
        if (!pair[int(side)]) {
            m_platform.messageBox(this, m_comparison->folder(side).unreached, MsgStyle::Critical);
            return;
        }
    }
    if (const FsResult apart = !pair[0]->host.isEmpty() || !pair[1]->host.isEmpty()
                                   ? FsResult()
                                   : checkSyncFolders(given[0], given[1]);
        !apart) {
        m_platform.messageBox(this, apart.error().description(), MsgStyle::Critical);
        return;
    }
    SyncModeDialog dialog(this, m_comparison->syncPreview().mode());
    if (m_platform.showModal(dialog) != QDialog::Accepted)
        return;
    m_comparison->syncPreview().setMode(dialog.chosen());
    // The same filters and exclusions as the panes; Escape stops the walk.
    std::atomic<bool> cancel{false};
    std::atomic<qint64> folders{0}, entries{0};
    TreeOptions options;
    options.filters = m_comparison->settings();
    options.contents = m_ui.mnuCompareContents->isChecked();
    options.cancel = &cancel;
    options.foldersWalked = &folders;
    options.entriesRead = &entries;
    SyncPreview::Outcome planned;
    try {
        // The walk's count goes from the status bar however the walk ends.
        const auto counted = qScopeGuard([this] { m_ui.statusPanel1->setText(QString()); });
        // No other command meanwhile.
        FileCommandRun busy(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                            m_ui.pbrMain);
        planned = m_comparison->syncPreview().plan(
            *pair[0], *pair[1], options, [&](const std::function<void()>& work) {
                runOffThread(this, cancel, work, [&] { showFlatProgress(folders, entries); });
            });
    } catch (const FsError& e) {
        ReportUnexpectedError(m_platform, this, e.number(), e.description());
        return;
    }
    if (planned.planned == SyncPreview::Planned::Previewed)
        Parts::showSyncPreview(*this);
    else if (!planned.message.isEmpty()) // stopped: the panes stay as they were
        m_platform.messageBox(this, planned.message,
                              planned.failed ? MsgStyle::Critical : MsgStyle::Information);
}

void Main::Parts::showSyncPreview(Main& m) {
    // The check's findings are for the rows going.
    m.m_comparison->stopContentCheck();
    for (ListPane* pane : {m.m_ui.lvSource, m.m_ui.lvDest})
        pane->setFlat(true);
    // Only the plan's rows in view: a view of the plan, which keeps every
    // row for the state the run saves.
    m.m_comparison->visibleRows().setFolderRows(m.m_comparison->syncPreview().previewed()->rows,
                                                m.m_comparison->syncPreview().shownRows());
    m.m_ui.syncBar->show();
    m.m_ui.syncColumn->show();
    m.m_ui.syncSkip->setEnabled(true);
    m.Form_Resize();
    Parts::showSyncSummary(m);
    ListPane* pane = m.activeList();
    pane->setCurrentRow(0);
    pane->setRowSelected(0, true);
    pane->setFocus();
}

void Main::Parts::showSyncSummary(Main& m) {
    const bool toTrash = m.m_comparison->settings().useTrash != 0;
    m.m_ui.statusSummary->setText(m.m_comparison->syncPreview().summary(toTrash));
    m.m_ui.syncText->setText(m.m_comparison->syncPreview().text(toTrash));
    m.m_ui.syncColumn->update();
}

void Main::Parts::endSyncPreview(Main& m) {
    if (!m.m_comparison->syncPreview().previewed())
        return;
    m.m_comparison->syncPreview().end();
    m.m_ui.syncBar->hide();
    m.m_ui.syncColumn->hide();
    m.m_ui.syncSkip->setEnabled(false);
    m.showFlattened();
    m.Form_Resize();
}

void Main::cmdSyncCancel_Click() {
    Parts::endSyncPreview(*this);
    mnuRefresh_Click();
}

// The selected rows' actions (the current row's when none is selected)
// set to `action` where the row allows it; Skip on rows all skipped
// gives them back the plan's own.
void Main::changeSyncActions(SyncAction action) {
    if (!m_comparison->syncPreview().previewed() || m_fileCommandRunning)
        return;
    ListPane* pane = activeList();
    std::vector<qsizetype> rows;
    const std::vector<char> selected = selectedRowFlags(*pane);
    for (int row = 0; row < int(selected.size()); ++row) {
        if (selected[size_t(row)])
            rows.push_back(m_comparison->visibleRows().sharedRow(row));
    }
    if (rows.empty() && pane->currentRow() >= 0)
        rows.push_back(m_comparison->visibleRows().sharedRow(pane->currentRow()));
    if (!m_comparison->syncPreview().change(rows, action))
        m_platform.beep(); // no row chosen can do that
}

void Main::cmdSyncRun_Click() {
    if (!m_comparison->syncPreview().previewed() || m_fileCommandRunning)
        return;
    const bool toTrash = m_comparison->settings().useTrash != 0;
    for (const QString& question : m_comparison->syncPreview().questionsBeforeRun(toTrash)) {
        if (m_platform.messageBox(this, question, MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
            return; // the preview stays, for other actions
    }
    QStringList changed;
    {
        FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                           m_ui.pbrMain);
        // The engine asks nothing per file (the preview was the question);
        // a file about to go for good where the Trash was wanted, and every
        // failure, still reach the user through the run.
        changed = m_comparison->syncPreview().run(
            run, toTrash ? DeleteWay::ToTrash : DeleteWay::Permanently,
            &m_comparison->undoJournal());
    }
    m_ui.pbrMain->setValue(0);
    updateUndoCommand();
    // Files changed since the preview were left alone: said once, by name.
    Parts::endSyncPreview(*this);
    if (!changed.isEmpty())
        m_platform.messageBox(this,
                              QStringLiteral("These changed after the preview and were left "
                                             "alone:\r\n\r\n") +
                                  changed.join(QStringLiteral("\r\n")),
                              MsgStyle::Information);
    mnuRefresh_Click();
}
