#include "dialogs/about_box.h"
#include "mainwindow/main_window.h"
#include "shell/help_links.h"
#include "shell/program_icon.h"
#include "shell/qt_platform.h"
#include "shell/system_info.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

TEST(About, ShowsTheBuildIdentityAndTheWindowsIcon) {
    ScriptedPlatform platform;
    Main window(platform);
    window.setWindowIcon(programIcon());
    frmAbout about(platform, &window);
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Duoscope"));
    EXPECT_EQ(about.lblTitle()->text(), QStringLiteral("Duoscope"));
    EXPECT_EQ(about.lblVersion()->text(), QStringLiteral("Version 1.0.13"));
    const QString description = about.lblDescription()->text();
    EXPECT_TRUE(description.startsWith(QStringLiteral("Developed by Zelmar\r\n\r\n")));
    EXPECT_GT(description.size(), 30) << "the comments follow";
    EXPECT_FALSE(about.lblDisclaimer()->text().isEmpty());
    EXPECT_TRUE(about.cmdOK()->isDefault());
    EXPECT_FALSE(programIcon().pixmap(256).isNull());
    EXPECT_EQ(about.picIcon()->pixmap().toImage(),
              programIcon().pixmap(QSize(48, 48), about.devicePixelRatioF()).toImage());

    window.menuEntry(QStringLiteral("mnuHelpAbout"))->trigger();
    EXPECT_EQ(platform.dialogsShown, QStringList{QStringLiteral("frmAbout")});
}

// PATH holds only a folder of the test's own.
class SystemInfo : public ::testing::Test {
protected:
    void SetUp() override { qputenv("PATH", QFile::encodeName(bin.path())); }
    void TearDown() override { qputenv("PATH", path); }
    void install(const QString& name, const QByteArray& script = "#!/bin/sh\n") {
        bin.write(name, script);
        QFile::setPermissions(bin.filePath(name), QFile::ReadOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    TempTree bin;
    ScriptedPlatform platform;
    frmAbout about{platform, nullptr};
};

TEST_F(SystemInfo, NoneInstalledBeepsAndSaysSo) {
    bin.write(QStringLiteral("kinfocenter")); // not executable
    about.cmdSysInfo()->click();
    EXPECT_EQ(platform.beeps, 1);
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.shown[0].text, QStringLiteral("System Info not available for the moment."));
    EXPECT_EQ(platform.shown[0].style, 64);
    EXPECT_TRUE(platform.programs.isEmpty());
}

TEST_F(SystemInfo, StartsTheFirstInstalledProgram) {
    install(QStringLiteral("gnome-system-monitor"));
    install(QStringLiteral("hardinfo"));
    about.cmdSysInfo()->click();
    EXPECT_EQ(platform.programs, QStringList{bin.filePath(QStringLiteral("hardinfo"))});
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(platform.beeps, 0);

    // And the desktop really starts it.
    install(QStringLiteral("kinfocenter"), "#!/bin/sh\n: > \"$0.ran\"\n");
    ASSERT_FALSE(findFirstProgram(systemInfoPrograms()).isEmpty());
    QtPlatform desktop;
    StartSystemInfo(desktop, nullptr);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(bin.filePath(QStringLiteral("kinfocenter.ran"))); }));
}

TEST(HelpLinks, ContentsOpensTheInstalledGuideForTheMainWindow) {
    EXPECT_TRUE(
        helpPagePath(QStringLiteral(PROGRAM_DIR)).endsWith(QStringLiteral("/help/index.html")))
        << "the build puts the guide beside the program";

    ScriptedPlatform platform;
    Main window(platform);
    TempTree program;
    OpenHelpContents(platform, &window, program.path() + QLatin1Char('/'));
    program.write(QStringLiteral("help/index.html"));
    OpenHelpContents(platform, &window, program.path() + QLatin1Char('/'));
    window.menuEntry(QStringLiteral("mnuHelp_Contents"))->trigger();
    window.toolbarButton(QStringLiteral("Help"))->trigger();
    ASSERT_EQ(platform.urls.size(), 4);
    EXPECT_TRUE(platform.urls[0].endsWith(QStringLiteral("/programs/duoscope/help")));
    EXPECT_EQ(QUrl(platform.urls[1]).toLocalFile(),
              program.filePath(QStringLiteral("help/index.html")));
    EXPECT_EQ(platform.urls[2], platform.urls[3]);
    EXPECT_EQ(platform.urlOwners, QList<QWidget*>(4, &window));
}

TEST(HelpLinks, WebAndMailLinksHaveNoOwnerAndAnEncodedMail) {
    ScriptedPlatform platform;
    Main window(platform);
    for (const char* entry : {"mnu_Help_SendFeedback", "mnuHelp_Products", "mnu_Help_ZelmarWebPage",
                              "mnu_Help_FreeStuff", "mnu_Help_OnTheWeb_ProgrammersCorner"})
        window.menuEntry(QString::fromLatin1(entry))->trigger();
    ASSERT_EQ(platform.urls.size(), 5);
    EXPECT_EQ(platform.urlOwners, QList<QWidget*>(5, nullptr));
    EXPECT_TRUE(platform.urls[1].endsWith(QStringLiteral("/programs/duoscope/update")));
    EXPECT_EQ(platform.urls.removeDuplicates(), 0);

    const QUrl mail(platform.urls[0], QUrl::StrictMode);
    ASSERT_TRUE(mail.isValid());
    EXPECT_EQ(mail.scheme(), QStringLiteral("mailto"));
    EXPECT_FALSE(platform.urls[0].contains(QLatin1Char(' ')));
    const QUrlQuery query(mail);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("Subject"), QUrl::FullyDecoded),
              QStringLiteral("Duoscope comments, suggestions and bugs report"));
    EXPECT_EQ(query.queryItemValue(QStringLiteral("Body"), QUrl::FullyDecoded),
              QStringLiteral("Type your comments, suggestions and bugs discovered here..."));
}

} // namespace
