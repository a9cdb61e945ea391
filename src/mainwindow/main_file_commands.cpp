// The file commands' wiring: menu entries, pane events, and what they share.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "fileops/sync_sides.h"
#include "mainwindow/list_pane.h"
#include "remote/remote_address.h"
#include "shell/platform.h"

#include <QAction>
#include <QLineEdit>

namespace {

// Disabled while a file command runs: every command that starts another
// file command or changes the folders under it.
const char* const busyEntries[] = {"mnuOpen",
                                   "mnuDelete",
                                   "mnuEditDeletePermanently",
                                   "mnuEditUndo",
                                   "mnuRename",
                                   "mnuProperties",
                                   "mnuEditCut",
                                   "mnuEditCopy",
                                   "mnuEditPaste",
                                   "mnuEditCopyToRight",
                                   "mnuEditCopyToLeft",
                                   "mnuEditSynchronize",
                                   "mnuEditDSelectAll",
                                   "mnuEditInvertSelection",
                                   "mnuEditSelectNewer",
                                   "mnuPopupOpen",
                                   "mnuPopupCut",
                                   "mnuPopupCopy",
                                   "mnuPopupPaste",
                                   "mnuPopupCopyToRight",
                                   "mnuPopupCopyToLeft",
                                   "mnuPopupDelete",
                                   "mnuPopupRename",
                                   "mnuPopupProperties",
                                   "mnuRefresh",
                                   "mnuFlatten",
                                   "mnuCompareContents",
                                   "mnu_File_Folder_Change_Source",
                                   "mnu_File_Folder_Change_Destination",
                                   "mnu_File_Folder_Swap"};
const char* const busyButtons[] = {"Open",        "Cut",        "Copy",       "Paste",
                                   "CopyToRight", "CopyToLeft", "Delete",     "Properties",
                                   "SwapFolders", "Flatten",    "Synchronize"};

} // namespace

void Main::Parts::connectFileCommands(Main& m) {
    using Handler = void (Main::*)();
    const std::pair<const char*, Handler> handlers[] = {
        {"mnuEditCut", &Main::mnuEditCut_Click},
        {"mnuEditCopy", &Main::mnuEditCopy_Click},
        {"mnuEditPaste", &Main::mnuEditPaste_Click},
        {"mnuEditDSelectAll", &Main::mnuEditDSelectAll_Click},
        {"mnuEditInvertSelection", &Main::mnuEditInvertSelection_Click},
        {"mnuEditSelectNewer", &Main::mnuEditSelectNewer_Click},
        {"mnuPopupCut", &Main::mnuPopupCut_Click},
        {"mnuPopupCopy", &Main::mnuPopupCopy_Click},
        {"mnuPopupPaste", &Main::mnuPopupPaste_Click},
        {"mnuRename", &Main::mnuRename_Click},
        {"mnuPopupRename", &Main::mnuPopupRename_Click},
        {"mnuDelete", &Main::mnuDelete_Click},
        {"mnuEditDeletePermanently", &Main::mnuEditDeletePermanently_Click},
        {"mnuEditUndo", &Main::mnuEditUndo_Click},
        {"mnuPopupDelete", &Main::mnuPopupDelete_Click},
    };
    for (const auto& [name, handler] : handlers)
        connect(m.menuEntry(QString::fromLatin1(name)), &QAction::triggered, &m, handler);
    connect(m.m_ui.lvSource, &ListPane::dragDrop, &m, &Main::lvSource_DragDrop);
    connect(m.m_ui.lvDest, &ListPane::dragDrop, &m, &Main::lvDest_DragDrop);
    connect(m.m_ui.lvSource, &ListPane::beforeLabelEdit, &m, &Main::lvSource_BeforeLabelEdit);
    connect(m.m_ui.lvDest, &ListPane::beforeLabelEdit, &m, &Main::lvDest_BeforeLabelEdit);
    connect(m.m_ui.lvSource, &ListPane::afterLabelEdit, &m, &Main::lvSource_AfterLabelEdit);
    connect(m.m_ui.lvDest, &ListPane::afterLabelEdit, &m, &Main::lvDest_AfterLabelEdit);
}

QList<QAction*> Main::fileCommandActions() const {
    QList<QAction*> actions;
    for (const char* name : busyEntries)
        actions << menuEntry(QString::fromLatin1(name));
    for (const char* key : busyButtons)
        actions << toolbarButton(QString::fromLatin1(key));
    actions.removeAll(nullptr);
    return actions;
}

ListPane* Main::activeList() const {
    return ActivePane == 0 ? m_ui.lvSource : m_ui.lvDest;
}

QLineEdit* Main::activeFolderBox() const {
    return ActivePane == 0 ? m_ui.txtSource : m_ui.txtDest;
}

void Main::updatePasteCommands() {
    // Once anything was cut or copied, Paste stays offered, except while a
    // file command runs.
    const bool enabled = ClipboardMode != 0 && !m_fileCommandRunning;
    menuEntry(QStringLiteral("mnuEditPaste"))->setEnabled(enabled);
    menuEntry(QStringLiteral("mnuPopupPaste"))->setEnabled(enabled);
    toolbarButton(QStringLiteral("Paste"))->setEnabled(enabled);
}

bool Main::Parts::refusedOnHost(Main& m, std::initializer_list<Side> sides,
                                const QString& command) {
    for (const Side side : sides) {
        const Comparison::PaneFolder& folder = m.m_comparison->folder(side);
        if (!folder.remote)
            continue;
        m.m_platform.messageBox(
            &m,
            QStringLiteral("%1 does not work on a folder on another host yet: %2 is on %3.")
                .arg(command,
                     side == Side::Source ? QStringLiteral("Source")
                                          : QStringLiteral("Destination"),
                     (side == Side::Source ? m.m_ui.txtSource : m.m_ui.txtDest)->text()),
            MsgStyle::Information);
        return true;
    }
    return false;
}

std::optional<Main::Parts::PaneTop> Main::Parts::paneTop(Main& m, Side side, const QString& command,
                                                         bool across) {
    const Comparison::PaneFolder& f = m.m_comparison->folder(side);
    const QLineEdit* box = side == Side::Source ? m.m_ui.txtSource : m.m_ui.txtDest;
    const QByteArray given = FileSystem::encode(folderPath(box->text()));
    QString refusal;
    if (f.remote && !f.side)
        refusal = f.unreached;
    else if (f.given != given && (f.remote || remoteAddress(box->text())))
        refusal =
            QStringLiteral("%1 waits for %2 to be read: press F5 first.").arg(command, box->text());
    else if (across && f.remote && m.m_comparison->folder(otherSide(side)).remote)
        refusal = QStringLiteral("%1 does not copy from one host to another: both folders lie "
                                 "on other hosts.")
                      .arg(command);
    if (!refusal.isEmpty()) {
        m.m_platform.messageBox(&m, refusal, MsgStyle::Information);
        return std::nullopt;
    }
    if (f.remote)
        return PaneTop{f.path, f.side};
    return PaneTop{FileSystem::encode(box->text()), nullptr};
}

Transfer Main::Parts::transferTo(Main& m, const ClipboardEntry& e, const QByteArray& target,
                                 std::shared_ptr<FolderSide> targetSide) {
    Transfer t{e.file, e.folder, target};
    t.keepReplaced = m.m_comparison->settings().useTrash != 0;
    t.journal = &m.m_comparison->undoJournal();
    // A host's entry is known as its listing knew it, if at all.
    t.chosen = e.side ? e.id : std::optional(e.identity());
    t.sides[0] = e.side;
    t.sides[1] = std::move(targetSide);
    return t;
}
