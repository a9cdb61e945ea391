// Undo: the last file command taken back, step by step, then the refresh.
#include "mainwindow/main_window.h"

#include "base/message_style.h"
#include "mainwindow/file_command_run.h"
#include "shell/platform.h"

#include <QAction>
#include <QLocale>
#include <QProgressBar>

QScopeGuard<std::function<void()>> Main::recordForUndo(const QString& command, bool counted) {
    m_comparison->undoJournal().begin(command, counted);
    return QScopeGuard<std::function<void()>>([this] {
        m_comparison->undoJournal().end();
        updateUndoCommand();
    });
}

void Main::mnuEditUndo_Click() {
    if (!m_comparison->undoJournal().canUndo() || m_fileCommandRunning)
        return;
    const UndoRecord record = m_comparison->undoJournal().takeLast();
    QStringList notUndone;
    {
        FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                           m_ui.pbrMain);
        const int steps = static_cast<int>(record.steps.size());
        run.setMaximum(steps);
        int done = 0;
        notUndone = undoRecord(record, copyOptions, [&](int i) {
            run.setValue(done++);
            if (!run.cancelled())
                return true;
            UndoRecord rest{record.title, {record.steps.begin(), record.steps.begin() + i + 1}};
            m_comparison->undoJournal().putBack(std::move(rest));
            return false;
        });
        run.setValue(steps);
    }
    m_ui.pbrMain->setValue(0);
    updateUndoCommand();
    if (!notUndone.isEmpty()) {
        m_platform.beep();
        m_platform.showList(this,
                            notUndone.size() == 1
                                ? QStringLiteral("This could not be undone, and is left as it is:")
                                : QStringLiteral("These %1 could not be undone, and are left as "
                                                 "they are:")
                                      .arg(QLocale().toString(notUndone.size())),
                            notUndone, MsgStyle::Critical);
    }
    mnuRefresh_Click();
}

void Main::updateUndoCommand() {
    QAction* undo = menuEntry(QStringLiteral("mnuEditUndo"));
    undo->setText(m_comparison->undoJournal().canUndo()
                      ? QStringLiteral("&Undo ") + m_comparison->undoJournal().undoTitle()
                      : QStringLiteral("&Undo"));
    undo->setEnabled(m_comparison->undoJournal().canUndo() && !m_fileCommandRunning);
    undo->setToolTip(m_comparison->undoJournal().canUndo()
                         ? undo->text().remove(QLatin1Char('&'))
                         : m_comparison->undoJournal().endedBecause());
}
