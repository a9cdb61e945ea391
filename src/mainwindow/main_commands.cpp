// The toolbar's dispatch, the folder choice, swap, and the desktop verbs.
#include "mainwindow/main_window.h"

#include "core/file_system.h"
#include "mainwindow/duoscope_mod.h"
#include "shell/platform.h"
#include "shell/shell_verb.h"

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
    else if (key == QLatin1String("NextDifference"))
        mnuEditNextDifference_Click();
    else if (key == QLatin1String("PreviousDifference"))
        mnuEditPreviousDifference_Click();
}

void Main::cmdSource_Click() {
    chooseFolder(m_txtSource, QStringLiteral("Select source Folder:"));
}

void Main::cmdDest_Click() {
    chooseFolder(m_txtDest, QStringLiteral("Select destination Folder:"));
}

void Main::chooseFolder(QLineEdit* folderBox, const QString& title) {
    const QString chosen = BrowseForFolder(platform(), this, folderBox->text(), title);
    if (chosen.isEmpty())
        return; // cancelled: nothing changes
    folderBox->setText(chosen);
    mnuRefresh_Click();
}

void Main::mnu_File_Folder_Change_Source_Click() {
    cmdSource_Click();
}

void Main::mnu_File_Folder_Change_Destination_Click() {
    cmdDest_Click();
}

void Main::mnu_File_Folder_Swap_Click() {
    const QString dest = m_txtDest->text();
    m_txtDest->setText(m_txtSource->text());
    m_txtSource->setText(dest);
    mnuRefresh_Click();
}

void Main::mnu_File_Folder_View_Info_Click() {
    // Each folder box names its folder in full, so CurrentFolder does not
    // take part; an empty box shows no sheet.
    const QString remembered = CurrentFile;
    const QByteArray rememberedName = CurrentFileName;
    for (const QLineEdit* box : {m_txtSource, m_txtDest}) {
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
    // A placeholder row has no file, whatever bytes went with it.
    if (!CurrentFile.isEmpty())
        ::ExecuteShellVerb(platform(), this, verb, CurrentFileName, CurrentFolder);
}
