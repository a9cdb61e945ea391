// Edit > Synchronize: the mode asked for, the plan made off the window's
// thread, previewed in the panes themselves, changed row by row, then run as
// one command that Undo takes back whole.
#include "mainwindow/main_window.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/digest_cache.h"
#include "dialogs/sync_mode_dialog.h"
#include "fileops/file_texts.h"
#include "fileops/sync_guards.h"
#include "fileops/sync_run.h"
#include "fileops/sync_state_save.h"
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

namespace {

// Whether a row may take `action`: a copy or a deletion needs a file on the
// side it starts from; a row that could not be read is never acted on.
bool actionPossible(const SyncPlan& plan, const SyncEntry& e, SyncAction action) {
    if (e.action == SyncAction::Unreadable)
        return false;
    switch (action) {
    case SyncAction::CopyRight:
    case SyncAction::DeleteLeft:
        return plan.rows->entry(e.row, Side::Source) >= 0;
    case SyncAction::CopyLeft:
    case SyncAction::DeleteRight:
        return plan.rows->entry(e.row, Side::Destination) >= 0;
    default:
        return true;
    }
}

QString modeName(SyncMode mode) {
    static const char* const names[] = {"Update Destination", "Update Source", "Update Both",
                                        "Mirror to Destination", "Two-way"};
    return QLatin1String(names[int(mode)]);
}

} // namespace

void Main::buildSyncPreview() {
    m_syncBar = new QWidget(centralWidget());
    m_syncBar->setObjectName(QStringLiteral("picSyncBar"));
    m_syncBar->setAutoFillBackground(true);
    m_syncText = new QLabel(m_syncBar);
    m_syncText->setObjectName(QStringLiteral("lblSync"));
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
            const SyncEntry* e = syncEntryAt(row);
            return e ? std::optional(e->action) : std::nullopt;
        },
        centralWidget());
    m_syncSkip = new QShortcut(Qt::Key_Space, this);
    connect(m_syncSkip, &QShortcut::activated, this,
            [this] { changeSyncActions(SyncAction::Skip); });
    // Rows other than the plan's in the panes (a refresh, after a file
    // command or a new folder): the preview is over.
    connect(m_visibleRows, &VisibleRows::reset, this, [this] {
        if (m_syncPlan && m_visibleRows->folderRows() != m_syncPlan->rows)
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
    SyncModeDialog dialog(this, m_syncMode);
    if (m_platform.showModal(dialog) != QDialog::Accepted)
        return;
    m_syncMode = dialog.chosen();
    std::optional<SyncPlan> plan;
    try {
        plan = planInBackground(m_syncMode);
    } catch (const FsError& e) {
        ReportUnexpectedError(m_platform, this, e.number(), e.description());
        return;
    }
    if (!plan)
        return; // stopped: the panes stay as they were
    if (!plan->refusal.isEmpty()) {
        m_platform.messageBox(this, plan->refusal, MsgStyle::Critical);
        return;
    }
    if (plan->entries.empty()) {
        // Nothing to run, but what the pair holds the same is its state all the same.
        const FsResult saved = saveSyncState(*plan);
        m_platform.messageBox(
            this,
            QStringLiteral("Nothing to do: the two folders agree.") +
                (plan->note.isEmpty() ? QString() : QStringLiteral("\r\n\r\n") + plan->note) +
                (saved ? QString()
                       : QStringLiteral("\r\n\r\n") + syncStateNotSavedText(saved.error())),
            saved ? MsgStyle::Information : MsgStyle::Critical);
        return;
    }
    showSyncPreview(std::move(*plan));
}

std::optional<SyncPlan> Main::planInBackground(SyncMode mode) {
    const QByteArray sourceFolder = FileSystem::encode(folderPath(m_txtSource->text()));
    const QByteArray destFolder = FileSystem::encode(folderPath(m_txtDest->text()));
    // The same rules as the panes: filters, exclusions, and the contents of
    // pairs of equal size when the panes compare them, with the digests the
    // content check keeps.
    std::atomic<bool> cancel{false};
    std::atomic<qint64> folders{0}, entries{0};
    DigestCache cache;
    TreeOptions options;
    options.filters = m_settings;
    options.contents = m_mnuCompareContents->isChecked();
    options.cache = &cache;
    options.cancel = &cancel;
    options.foldersWalked = &folders;
    options.entriesRead = &entries;
    std::optional<SyncPlan> plan;
    // The walk's count goes from the status bar however the walk ends.
    const auto counted = qScopeGuard([this] { m_statusPanel1->setText(QString()); });
    {
        // No other command meanwhile; Escape stops the walk.
        FileCommandRun busy(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                            m_pbrMain);
        runOffThread(
            this, cancel,
            [&] {
                try {
                    plan = planSync(sourceFolder, destFolder, mode, options);
                } catch (const ScanCancelled&) {
                }
                cache.save();
            },
            [&] { showFlatProgress(folders, entries); });
    }
    return cancel ? std::nullopt : std::move(plan);
}

void Main::showSyncPreview(SyncPlan plan) {
    // Only the plan's rows in view; the plan keeps every row, the same ones
    // too, for the state the run saves.
    std::vector<qint32> planned;
    m_syncPlanned.clear();
    for (const SyncEntry& e : plan.entries) {
        planned.push_back(e.row);
        m_syncPlanned.push_back(e.action);
    }
    // The check's findings are for the rows going.
    stopContentCheck();
    m_syncPlan = std::move(plan);
    for (ListPane* pane : {m_lvSource, m_lvDest})
        pane->setFlat(true);
    m_visibleRows->setFolderRows(m_syncPlan->rows, std::move(planned));
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

SyncEntry* Main::syncEntryAt(int row) {
    if (!m_syncPlan || row < 0 || row >= m_visibleRows->count())
        return nullptr;
    std::vector<SyncEntry>& entries = m_syncPlan->entries;
    const qsizetype shared = m_visibleRows->sharedRow(row);
    const auto it = std::lower_bound(entries.begin(), entries.end(), shared,
                                     [](const SyncEntry& e, qsizetype r) { return e.row < r; });
    return it != entries.end() && it->row == shared ? &*it : nullptr;
}

void Main::showSyncSummary() {
    const QString summary = syncSummary(*m_syncPlan, m_settings.useTrash != 0);
    m_statusSummary->setText(summary);
    m_syncText->setText(modeName(m_syncPlan->mode) + QStringLiteral(": ") + summary +
                        (m_syncPlan->note.isEmpty() ? QString() : QStringLiteral(". ")) +
                        m_syncPlan->note);
    m_syncText->setToolTip(QStringLiteral(
        "Alt+Right copies right, Alt+Left copies left, Delete deletes on the side of the "
        "pane you are in, Space skips (again: back to the plan's action)."));
}

void Main::endSyncPreview() {
    if (!m_syncPlan)
        return;
    m_syncPlan.reset();
    m_syncPlanned.clear();
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
    if (!m_syncPlan || m_fileCommandRunning)
        return;
    ListPane* pane = activeList();
    std::vector<int> rows;
    const std::vector<char> selected = selectedRowFlags(*pane);
    for (int row = 0; row < int(selected.size()); ++row) {
        if (selected[size_t(row)])
            rows.push_back(row);
    }
    if (rows.empty() && pane->currentRow() >= 0)
        rows.push_back(pane->currentRow());
    const auto entry = [this](int row) -> SyncEntry& { return *syncEntryAt(row); };
    const bool unskip = action == SyncAction::Skip && !rows.empty() &&
                        std::all_of(rows.begin(), rows.end(),
                                    [&](int row) { return entry(row).action == SyncAction::Skip; });
    bool changed = false;
    for (const int row : rows) {
        SyncEntry& e = entry(row);
        const SyncAction wanted =
            unskip ? m_syncPlanned[size_t(&e - m_syncPlan->entries.data())] : action;
        if (actionPossible(*m_syncPlan, e, wanted)) {
            e.action = wanted;
            changed = true;
        }
    }
    if (!changed)
        m_platform.beep(); // no row chosen can do that
    m_syncColumn->update();
    showSyncSummary();
}

void Main::cmdSyncRun_Click() {
    if (!m_syncPlan || m_fileCommandRunning)
        return;
    const SyncPlan& plan = *m_syncPlan;
    const bool toTrash = m_settings.useTrash != 0;
    const qsizetype deletions =
        plan.count(SyncAction::DeleteLeft) + plan.count(SyncAction::DeleteRight);
    const QString deleted =
        deletions == 1
            ? QStringLiteral("1 file or folder")
            : QStringLiteral("%1 files and folders").arg(TextFormats().countText(deletions));
    if (!toTrash && deletions > 0 &&
        m_platform.messageBox(this,
                              QStringLiteral("The Trash is off: %1 will be deleted for good, "
                                             "never to be undone. Go on?")
                                  .arg(deleted),
                              MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return; // the preview stays, for other actions
    if (deletesAllOfDestination(plan) &&
        m_platform.messageBox(this, everythingDeletedQuestion(),
                              MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
        return;
    std::vector<SyncOutcome> outcomes;
    {
        FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning, m_pbrMain);
        // The engine asks nothing per file (the preview was the question);
        // a file about to go for good where the Trash was wanted, and every
        // failure, still reach the user through the run.
        outcomes =
            runSyncPlan(run, plan, toTrash ? DeleteWay::ToTrash : DeleteWay::Permanently, &m_undo);
    }
    m_pbrMain->setValue(0);
    updateUndoCommand();
    // Files changed since the preview were left alone: said once, by name.
    QStringList changed;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        if (outcomes[k] != SyncOutcome::Changed)
            continue;
        const SyncEntry& e = plan.entries[k];
        const QByteArrayView path = plan.path(e, Side::Source).isEmpty()
                                        ? plan.path(e, Side::Destination)
                                        : plan.path(e, Side::Source);
        changed << nameText(path.toByteArray());
    }
    endSyncPreview();
    if (!changed.isEmpty())
        m_platform.messageBox(this,
                              QStringLiteral("These changed after the preview and were left "
                                             "alone:\r\n\r\n") +
                                  changed.join(QStringLiteral("\r\n")),
                              MsgStyle::Information);
    mnuRefresh_Click();
}
