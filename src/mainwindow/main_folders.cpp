// Folder rows: both panes step into a folder and back out together, so the
// two trees are walked side by side.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/name_text.h"
#include "fs/file_system.h"
#include "fs/folder_paths.h"
#include "mainwindow/folder_entry.h"
#include "mainwindow/list_pane.h"
#include "remote/remote_address.h"
#include "shell/platform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

namespace {

// Whether `folder` is the root of another host ("host:/", "sftp://host/").
bool hostRoot(const QByteArray& folder) {
    const std::optional<RemoteAddress> address = remoteAddress(nameText(folder));
    return address && address->path == "/";
}

// The folder above `folder` (bytes ending with "/") and the name by which it
// holds `folder`; nothing above "/", here or on a host.
std::optional<FileLocation> parentOf(const QByteArray& folder) {
    if (hostRoot(folder))
        return std::nullopt;
    const QByteArray path = folder.endsWith('/') ? folder.chopped(1) : folder;
    if (!path.contains('/'))
        return std::nullopt;
    return FileLocation::of(path);
}

// A folder box's text for a folder's bytes: "/" alone for the root (a host's
// too), else no trailing "/", as the folder dialog gives it.
QString boxText(const QByteArray& folder) {
    const bool chop = folder.size() > 1 && folder.endsWith('/') && !hostRoot(folder);
    return nameText(chop ? folder.chopped(1) : folder);
}

} // namespace

// Folder rows: View > Show Subfolders lists them; Enter or a double
// click on one opens it in both panes, Backspace or View > Up One Level
// goes back to the parent in both, the folder left current again.
void Main::mnuShowSubfolders_Click() {
    m_comparison->settings().showSubfolders = m_ui.mnuShowSubfolders->isChecked() ? 1 : 0;
    mnuRefresh_Click();
}

// Opens the folder of the pane's current row in both panes; false when
// that row holds no folder.
bool Main::openFolderRow(ListPane* pane) {
    const int row = pane->currentRow();
    if (row < 0 || !pane->rows().isFolder(row))
        return false;
    const QByteArray name = pane->rowFileName(row);
    for (QLineEdit* box : {m_ui.txtSource, m_ui.txtDest})
        box->setText(boxText(FileSystem::encode(folderPath(box->text())) + name));
    mnuRefresh_Click();
    // A folder just entered starts at its top in both panes.
    for (ListPane* list : {m_ui.lvSource, m_ui.lvDest}) {
        if (list->count() > 0) {
            list->clearSelection();
            list->setCurrentRow(0);
            list->scrollToTop();
        }
    }
    if (pane->count() > 0 && pane->rows().isFile(0))
        pane->setRowSelected(0, true);
    return true;
}

void Main::mnuUpOneLevel_Click() {
    const auto source = parentOf(FileSystem::encode(folderPath(m_ui.txtSource->text())));
    const auto dest = parentOf(FileSystem::encode(folderPath(m_ui.txtDest->text())));
    if (!source || !dest) {
        m_platform.beep(); // one side is at the top already
        return;
    }
    m_ui.txtSource->setText(boxText(source->folder));
    m_ui.txtDest->setText(boxText(dest->folder));
    mnuRefresh_Click();
    // The folder just left is the current row again, in the pane the user was in.
    ListPane* pane = activeList();
    const QByteArray left = pane == m_ui.lvSource ? source->name : dest->name;
    const int row = pane->rows().findFile(left);
    if (row < 0)
        return;
    for (ListPane* list : {m_ui.lvSource, m_ui.lvDest}) {
        list->clearSelection();
        list->setCurrentRow(row);
    }
    pane->setRowSelected(row, true);
    pane->scrollTo(pane->model()->index(row, 0));
}

void Main::Parts::noteMissingFolders(Main& m) {
    // A folder that is not there leaves its pane without files, and the
    // pane, its folder box and the status bar say why: gone since the last
    // session, or, after a step into a folder, not on that side.
    QStringList notes;
    // A host that could not be reached is told in ssh's words.
    for (auto [box, pane, side, at] :
         {std::tuple{m.m_ui.txtSource, m.m_ui.lvSource, QStringLiteral("Source"), Side::Source},
          std::tuple{m.m_ui.txtDest, m.m_ui.lvDest, QStringLiteral("Destination"),
                     Side::Destination}}) {
        const Comparison::PaneFolder& reached = m.m_comparison->folder(at);
        const QByteArray folder = FileSystem::encode(folderPath(box->text()));
        const bool missing =
            reached.remote ? reached.missing || !reached.unreached.isEmpty() : !isFolder(folder);
        const bool gone = missing && !reached.remote && m.m_goneAtStart.contains(box->text());
        const QString note = !missing                       ? QString()
                             : !reached.unreached.isEmpty() ? reached.unreached
                             : gone ? box->text() + QStringLiteral(" no longer exists")
                                    : QStringLiteral("not in ") + side;
        // Typing starts from the nearest folder that is left.
        const QString nearest = gone ? folderPath(nameText(nearestFolder(folder))) : QString();
        box->findChild<FolderEntry*>()->setStartText(nearest);
        box->setToolTip(
            gone ? note + QStringLiteral("; click to type another folder, from ") + nearest : note);
        pane->setNote(note);
        if (missing)
            notes << note;
    }
    if (!notes.isEmpty())
        m.m_ui.statusPanel1->setText(notes.join(QStringLiteral(" \u00b7 ")));
}
