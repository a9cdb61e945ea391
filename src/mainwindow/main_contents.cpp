// The content check's findings in the status bar: the comparison runs it.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include <QLabel>

// View > Compare Contents: after each refresh, the pairs of equal size and
// time are compared byte for byte in the background.
void Main::mnuCompareContents_Click() {
    // The panes show the check's findings only from a refresh that ran it.
    mnuRefresh_Click();
}

void Main::Parts::showStatusSummary(Main& m) {
    m.m_ui.statusSummary->setText(m.m_comparison->summary());
}
