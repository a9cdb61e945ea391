// Edit > Synchronize: the mode asked for, the plan made off the window's
// thread, previewed in the panes themselves, changed row by row, then run as
// one command that Undo takes back whole.
#include "mainwindow/main_window.h"

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

void Main::buildSyncPreview() {
    m_syncBar = new QWidget(centralWidget());
    m_syncBar->setObjectName(QStringLiteral("picSyncBar"));
    m_syncBar->setAutoFillBackground(true);
    m_syncText = new QLabel(m_syncBar);
    m_syncText->setObjectName(QStringLiteral("lblSync"));
    m_syncText->setToolTip(QStringLiteral(
        "Alt+Right copies right, Alt+Left copies left, Delete deletes on the side of the "
        "pane you are in, Space skips (again: back to the plan's action)."));
    auto* run = new QPushButton(QStringLiteral("&Synchronize"), m_syncBar);
    run->setObjectName(QStringLiteral("cmdSyncRun"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_syncBar);
    cancel->setObjectName(QStringLiteral("cmdSyncCancel"));
    cancel->setShortcut(Qt::Key_Escape);
    auto* layout = new QHBoxLayout(m_syncBar);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(m_syncText, 1);
    layout->addWidget(run);
    layout->addWidget(cancel);
    connect(run, &QPushButton::clicked, this, &Main::cmdSyncRun_Click);
    connect(cancel, &QPushButton::clicked, this, &Main::cmdSyncCancel_Click);
    m_syncColumn = new SyncColumn(
        m_lvSource, m_lvDest,
        [this](int row) -> std::optional<SyncAction> {
            const SyncEntry* e = row >= 0 && row < m_visibleRows->count()
                                     ? m_syncPreview.entryAt(m_visibleRows->sharedRow(row))
                                     : nullptr;
            return e ? std::optional(e->action) : std::nullopt;
        },
        centralWidget());
    m_syncSkip = new QShortcut(Qt::Key_Space, this);
    connect(m_syncSkip, &QShortcut::activated, this,
            [this] { changeSyncActions(SyncAction::Skip); });
    connect(&m_syncPreview, &SyncPreview::actionsChanged, this, &Main::showSyncSummary);
    // Rows other than the plan's in the panes (a refresh, after a file
    // command or a new folder): the preview is over.
    connect(m_visibleRows, &VisibleRows::reset, this, [this] {
        const SyncPlan* plan = m_syncPreview.previewed();
        if (plan && m_visibleRows->folderRows() != plan->rows)
            endSyncPreview();
    });
    m_syncBar->hide();
    m_syncColumn->hide();
    m_syncSkip->setEnabled(false);
}

void Main::mnuEditSynchronize_Click() {
    if (m_fileCommandRunning)
        return;
    if (const FsResult apart = checkSyncFolders(FileSystem::encode(m_txtSource->text()),
                                                FileSystem::encode(m_txtDest->text()));
        !apart) {
        m_platform.messageBox(this, apart.error().description(), MsgStyle::Critical);
        return;
    }
    SyncModeDialog dialog(this, m_syncPreview.mode());
    if (m_platform.showModal(dialog) != QDialog::Accepted)
        return;
    m_syncPreview.setMode(dialog.chosen());
    // The same filters and exclusions as the panes; Escape stops the walk.
    std::atomic<bool> cancel{false};
    std::atomic<qint64> folders{0}, entries{0};
    TreeOptions options;
    options.filters = m_settings;
    options.contents = m_mnuCompareContents->isChecked();
    options.cancel = &cancel;
    options.foldersWalked = &folders;
    options.entriesRead = &entries;
    SyncPreview::Outcome planned;
    try {
        // The walk's count goes from the status bar however the walk ends.
        const auto counted = qScopeGuard([this] { m_statusPanel1->setText(QString()); });
        // No other command meanwhile.
        FileCommandRun busy(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                            m_pbrMain);
        planned = m_syncPreview.plan(FileSystem::encode(folderPath(m_txtSource->text())),
                                     FileSystem::encode(folderPath(m_txtDest->text())), options,
                                     [&](const std::function<void()>& work) {
                                         runOffThread(this, cancel, work,
                                                      [&] { showFlatProgress(folders, entries); });
                                     });
    } catch (const FsError& e) {
        ReportUnexpectedError(m_platform, this, e.number(), e.description());
        return;
    }
    if (planned.planned == SyncPreview::Planned::Previewed)
        showSyncPreview();
    else if (!planned.message.isEmpty()) // stopped: the panes stay as they were
        m_platform.messageBox(this, planned.message,
                              planned.failed ? MsgStyle::Critical : MsgStyle::Information);
}

void Main::showSyncPreview() {
    // The check's findings are for the rows going.
    stopContentCheck();
    for (ListPane* pane : {m_lvSource, m_lvDest})
        pane->setFlat(true);
    // Only the plan's rows in view: a view of the plan, which keeps every
    // row for the state the run saves.
    m_visibleRows->setFolderRows(m_syncPreview.previewed()->rows, m_syncPreview.shownRows());
    m_syncBar->show();
    m_syncColumn->show();
    m_syncSkip->setEnabled(true);
    Form_Resize();
    showSyncSummary();
    ListPane* pane = activeList();
    pane->setCurrentRow(0);
    pane->setRowSelected(0, true);
    pane->setFocus();
}

void Main::showSyncSummary() {
    const bool toTrash = m_settings.useTrash != 0;
    m_statusSummary->setText(m_syncPreview.summary(toTrash));
    m_syncText->setText(m_syncPreview.text(toTrash));
    m_syncColumn->update();
}

void Main::endSyncPreview() {
    if (!m_syncPreview.previewed())
        return;
    m_syncPreview.end();
    m_syncBar->hide();
    m_syncColumn->hide();
    m_syncSkip->setEnabled(false);
    showFlattened();
    Form_Resize();
}

void Main::cmdSyncCancel_Click() {
    endSyncPreview();
    mnuRefresh_Click();
}

void Main::changeSyncActions(SyncAction action) {
    if (!m_syncPreview.previewed() || m_fileCommandRunning)
        return;
    ListPane* pane = activeList();
    std::vector<qsizetype> rows;
    const std::vector<char> selected = selectedRowFlags(*pane);
    for (int row = 0; row < int(selected.size()); ++row) {
        if (selected[size_t(row)])
            rows.push_back(m_visibleRows->sharedRow(row));
    }
    if (rows.empty() && pane->currentRow() >= 0)
        rows.push_back(m_visibleRows->sharedRow(pane->currentRow()));
    if (!m_syncPreview.change(rows, action))
        m_platform.beep(); // no row chosen can do that
}

void Main::cmdSyncRun_Click() {
    if (!m_syncPreview.previewed() || m_fileCommandRunning)
        return;
    const bool toTrash = m_settings.useTrash != 0;
    for (const QString& question : m_syncPreview.questionsBeforeRun(toTrash)) {
        if (m_platform.messageBox(this, question, MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
            return; // the preview stays, for other actions
    }
    QStringList changed;
    {
        FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning, m_pbrMain);
        // The engine asks nothing per file (the preview was the question);
        // a file about to go for good where the Trash was wanted, and every
        // failure, still reach the user through the run.
        changed =
            m_syncPreview.run(run, toTrash ? DeleteWay::ToTrash : DeleteWay::Permanently, &m_undo);
    }
    m_pbrMain->setValue(0);
    updateUndoCommand();
    // Files changed since the preview were left alone: said once, by name.
    endSyncPreview();
    if (!changed.isEmpty())
        m_platform.messageBox(this,
                              QStringLiteral("These changed after the preview and were left "
                                             "alone:\r\n\r\n") +
                                  changed.join(QStringLiteral("\r\n")),
                              MsgStyle::Information);
    mnuRefresh_Click();
}
