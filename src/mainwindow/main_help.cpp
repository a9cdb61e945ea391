// The Options dialog, the Help menu and the folder context-menu registration.
#include "mainwindow/main_window.h"

#include "dialogs/about_box.h"
#include "dialogs/options_dialog.h"
#include "shell/build_identity.h"
#include "shell/folder_menu.h"
#include "shell/help_links.h"
#include "shell/platform.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

void Main::mnu_View_Options_Click() {
    Tag.clear();
    Options options(m_comparison->settings(), Tag, this);
    platform().showModal(options);
    if (Tag == QLatin1String("Refresh"))
        mnuRefresh_Click();
}

void Main::mnuHelp_Contents_Click() {
    OpenHelpContents(platform(), this, ProgramFolder());
}

void Main::mnuHelp_Products_Click() {
    platform().openUrl(nullptr, QString::fromUtf8(BuildIdentity::updateUrl));
}

void Main::mnu_Help_ZelmarWebPage_Click() {
    platform().openUrl(nullptr, QString::fromUtf8(BuildIdentity::homeUrl));
}

void Main::mnu_Help_FreeStuff_Click() {
    platform().openUrl(nullptr, QString::fromUtf8(BuildIdentity::programsUrl));
}

void Main::mnu_Help_OnTheWeb_ProgrammersCorner_Click() {
    platform().openUrl(nullptr, QString::fromUtf8(BuildIdentity::programmingUrl));
}

void Main::mnu_Help_SendFeedback_Click() {
    platform().openUrl(nullptr, feedbackMailUrl());
}

void Main::mnuHelpAbout_Click() {
    frmAbout about(platform(), this);
    platform().showModal(about);
}

void Main::RegisterFolderMenu() {
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty())
        return; // the executable cannot be named: nothing to point the entries at
    writeFolderMenu(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                    ProgramFolder() + name);
}
