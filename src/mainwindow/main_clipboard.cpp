// Select All, Invert Selection, Select Newer, Cut and Copy on the active pane.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/text_formats.h"
#include "mainwindow/file_command_run.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

void Main::mnuEditCut_Click() {
    if (m_fileCommandRunning)
        return;
    const std::optional<Parts::PaneTop> top = Parts::paneTop(
        *this, ActivePane == 0 ? Side::Source : Side::Destination, QStringLiteral("Cut"));
    if (!top)
        return;
    {
        FileCommandRun run(m_platform, this, fileCommandActions(), m_fileCommandRunning,
                           m_ui.pbrMain);
        QList<ClipboardEntry> chosen = chosenFiles(*activeList(), top->folder, top->side);
        noteIdentities(chosen, run);
        ClipboardFiles = {ClipboardEntry{}};
        ClipboardFiles.append(chosen);
        m_ui.pbrMain->setValue(0);
    }
    ClipboardMode = 1;
    // No timer watches the mode: Paste follows it now, once the run has
    // given the commands back.
    trmPaste_Timer();
}

void Main::mnuEditCopy_Click() {
    if (m_fileCommandRunning)
        return;
    mnuEditCut_Click();
    ClipboardMode = 2;
}

void Main::mnuEditDSelectAll_Click() {
    if (!m_fileCommandRunning)
        selectAllRows(*activeList());
}

void Main::mnuEditInvertSelection_Click() {
    if (!m_fileCommandRunning)
        invertRowSelection(*activeList());
}

// Selects the active pane's rows whose file is missing on the other side
// or newer there: a Copy and Paste into the other pane then updates it.
// Says how many in the status bar and brings the first into view.
void Main::mnuEditSelectNewer_Click() {
    if (m_fileCommandRunning)
        return;
    ListPane* pane = activeList();
    const Side side = ActivePane == 0 ? Side::Source : Side::Destination;
    std::vector<char> newer(static_cast<size_t>(pane->count()), 0);
    int first = -1, count = 0, equalTimes = 0;
    for (int row = 0; row < pane->count(); ++row) {
        const std::optional<RowStatus> status = pane->rows().status(row);
        // Which of two different files at one time to keep is the user's call.
        equalTimes += status == RowStatus::Differs;
        if (status && isNewerOn(*status, side)) {
            newer[static_cast<size_t>(row)] = 1;
            first = first < 0 ? row : first;
            ++count;
        }
    }
    selectOnlyRows(*pane, newer);
    if (first >= 0)
        pane->scrollTo(pane->rows().index(first, 0));
    const QString where =
        side == Side::Source ? QStringLiteral("Source") : QStringLiteral("Destination");
    const TextFormats formats;
    QString text = QStringLiteral("Select Newer: %1 %2 newer in %3 or only there")
                       .arg(formats.countText(count),
                            count == 1 ? QStringLiteral("row") : QStringLiteral("rows"), where);
    if (equalTimes > 0)
        text += QStringLiteral(" \u00b7 %1 differ at equal times, not selected")
                    .arg(formats.countText(equalTimes));
    m_ui.statusPanel1->setText(text);
}

void Main::mnuPopupCut_Click() {
    mnuEditCut_Click();
}

void Main::mnuPopupCopy_Click() {
    mnuEditCopy_Click();
}
