// View > Flatten Subfolders: every file of both trees in one list, each row
// with its folder relative to the panes' folders.
#include "mainwindow/main_window.h"

#include "base/text_formats.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QLabel>

bool Main::flattened() const {
    return m_ui.mnuFlatten->isChecked();
}

void Main::showFlattened() {
    const bool flat = flattened();
    toolbarButton(QStringLiteral("Flatten"))->setChecked(flat);
    m_ui.lvSource->setFlat(flat);
    m_ui.lvDest->setFlat(flat);
}

// View > Flatten Subfolders: both panes list every file of both trees,
// each row with its folder relative to the pane's folder.
void Main::mnuFlatten_Click() {
    showFlattened();
    m_comparison->flattenToggled();
    mnuRefresh_Click();
}

void Main::showFlatProgress(qint64 folders, qint64 entries) {
    const TextFormats formats;
    m_ui.statusPanel1->setText(
        QStringLiteral("Reading folders: %1 folders, %2 entries read. Esc stops.")
            .arg(formats.countText(folders), formats.countText(entries)));
}
