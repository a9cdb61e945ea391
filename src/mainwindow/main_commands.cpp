// The toolbar's dispatch, the folder choice, swap, and the desktop verbs.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/name_text.h"
#include "fs/file_system.h"
#include "fs/folder_paths.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/folder_entry.h"
#include "remote/remote_address.h"
#include "shell/platform.h"
#include "shell/shell_verb.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>

void Main::tbrMain_ButtonClick(const QString& key) {
    // Keys compare exactly.
    if (key == QLatin1String("Open"))
        ExecuteShellVerb(QStringLiteral("Open"));
    else if (key == QLatin1String("CompareFiles"))
        mnuCompareFiles_Click();
    else if (key == QLatin1String("Cut"))
        mnuEditCut_Click();
    else if (key == QLatin1String("Copy"))
        mnuEditCopy_Click();
    else if (key == QLatin1String("Paste"))
        mnuEditPaste_Click();
    else if (key == QLatin1String("Delete"))
        mnuDelete_Click();
    else if (key == QLatin1String("Properties"))
        mnuPopupProperties_Click();
    else if (key == QLatin1String("ViewFoldersInfo"))
        mnu_File_Folder_View_Info_Click();
    else if (key == QLatin1String("SwapFolders"))
        mnu_File_Folder_Swap_Click();
    else if (key == QLatin1String("Help"))
        mnuHelp_Contents_Click();
    else if (key == QLatin1String("OnlyDifferences"))
        menuEntry(QStringLiteral("mnuViewOnlyDifferences"))->trigger();
    else if (key == QLatin1String("CopyToRight"))
        mnuEditCopyToRight_Click();
    else if (key == QLatin1String("CopyToLeft"))
        mnuEditCopyToLeft_Click();
    else if (key == QLatin1String("Synchronize"))
        mnuEditSynchronize_Click();
    else if (key == QLatin1String("Flatten"))
        m_ui.mnuFlatten->trigger();
    else if (key == QLatin1String("NextDifference"))
        mnuEditNextDifference_Click();
    else if (key == QLatin1String("PreviousDifference"))
        mnuEditPreviousDifference_Click();
}

void Main::cmdSource_Click() {
    Parts::chooseFolder(*this, m_ui.txtSource, QStringLiteral("Select source Folder:"));
}

void Main::cmdDest_Click() {
    Parts::chooseFolder(*this, m_ui.txtDest, QStringLiteral("Select destination Folder:"));
}

void Main::Parts::chooseFolder(Main& m, QLineEdit* folderBox, const QString& title) {
    // A folder that has gone: the dialog opens on what is left of its path
    // (an empty box preselects nothing).
    const QByteArray folder = FileSystem::encode(folderBox->text());
    const bool gone = !folder.isEmpty() && !remoteAddress(folderBox->text()) && !isFolder(folder);
    const QString chosen = BrowseForFolder(
        m.platform(), &m, gone ? nameText(nearestFolder(folder)) : folderBox->text(), title);
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    folderBox->setText(chosen);
    m.mnuRefresh_Click();
}

void Main::Parts::folderTyped(Main& m, QLineEdit* box, const QString& text) {
    // A folder on another host is taken as written: the refresh reaches it,
    // and its pane tells when it cannot.
    if (remoteAddress(text)) {
        box->findChild<FolderEntry*>()->end();
        box->setText(hostBoxText(text));
        m.mnuRefresh_Click();
        return;
    }
    // Relative to the box's folder, as cd would take it.
    const QByteArray folder =
        absolutePath(FileSystem::encode(text), FileSystem::encode(box->text()),
                     FileSystem::encode(QDir::homePath()));
    if (!isFolder(folder)) {
        // The editor stays open on the text for a correction; Escape gives up.
        const bool there = FileSystem::attributes(folder) >= 0;
        m.m_ui.statusPanel1->setText(
            QStringLiteral("%1 %2: the %3 folder stays %4")
                .arg(nameText(folder),
                     there ? QStringLiteral("is not a folder") : QStringLiteral("does not exist"),
                     box == m.m_ui.txtSource ? QStringLiteral("Source")
                                             : QStringLiteral("Destination"),
                     box->text()));
        return;
    }
    box->findChild<FolderEntry*>()->end();
    box->setText(nameText(folder));
    m.mnuRefresh_Click();
}

QString Main::Parts::hostBoxText(const QString& address) {
    const std::optional<RemoteAddress> host = remoteAddress(address);
    const bool home = host && host->path.isEmpty() && address.endsWith(QLatin1Char(':'));
    return home ? address + QLatin1Char('.') : address;
}

void Main::mnu_File_Folder_Change_Source_Click() {
    cmdSource_Click();
}

void Main::mnu_File_Folder_Change_Destination_Click() {
    cmdDest_Click();
}

void Main::mnu_File_Folder_Swap_Click() {
    const QString dest = m_ui.txtDest->text();
    m_ui.txtDest->setText(m_ui.txtSource->text());
    m_ui.txtSource->setText(dest);
    mnuRefresh_Click();
}

void Main::mnu_File_Folder_View_Info_Click() {
    // Each folder box names its folder in full, so CurrentFolder does not
    // take part; an empty box shows no sheet.
    const QString remembered = CurrentFile;
    const QByteArray rememberedName = CurrentFileName;
    for (const QLineEdit* box : {m_ui.txtSource, m_ui.txtDest}) {
        if (Parts::refusedOnHost(*this, {box == m_ui.txtSource ? Side::Source : Side::Destination},
                                 QStringLiteral("View info")))
            continue;
        CurrentFile = box->text();
        CurrentFileName = FileSystem::encode(CurrentFile);
        ExecuteShellVerb(QStringLiteral("Properties"));
    }
    CurrentFile = remembered;
    CurrentFileName = rememberedName;
}

void Main::mnuOpen_Click() {
    ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::mnuPopupOpen_Click() {
    ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::mnuProperties_Click() {
    ExecuteShellVerb(QStringLiteral("Properties"));
}

void Main::mnuPopupProperties_Click() {
    ExecuteShellVerb(QStringLiteral("Properties"));
}

void Main::ExecuteShellVerb(const QString& verb) {
    // A placeholder row has no file, whatever bytes went with it. A file on
    // another host has no path here that a desktop program could open.
    if (CurrentFile.isEmpty())
        return;
    for (const Side side : {Side::Source, Side::Destination}) {
        if (CurrentFolder == (side == Side::Source ? m_ui.txtSource : m_ui.txtDest)->text() &&
            Parts::refusedOnHost(*this, {side}, verb))
            return;
    }
    ::ExecuteShellVerb(platform(), this, verb, CurrentFileName, CurrentFolder);
}
