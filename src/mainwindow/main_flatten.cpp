// View > Flatten Subfolders: every file of both trees in one list, each row
// with its folder relative to the panes' folders.
#include "mainwindow/main_window.h"

#include "base/text_formats.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QLabel>

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
    m_comparison->flattenToggled();
    mnuRefresh_Click();
}

void Main::showFlatProgress(qint64 folders, qint64 entries) {
    const TextFormats formats;
    m_statusPanel1->setText(
        QStringLiteral("Reading folders: %1 folders, %2 entries read. Esc stops.")
            .arg(formats.countText(folders), formats.countText(entries)));
}
