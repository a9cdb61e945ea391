#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/shell_verb.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(ShellVerb, ResolvesTheFileAgainstItsFolderAndStaysSilent) {
    ScriptedPlatform platform;
    platform.openSucceeds = false;
    platform.propertiesSucceed = false;
    ExecuteShellVerb(platform, nullptr, QStringLiteral("Open"), QStringLiteral("a b.txt"),
                     QStringLiteral("/x/y"));
    ExecuteShellVerb(platform, nullptr, QStringLiteral("Open"), QStringLiteral("c"),
                     QStringLiteral("/x/y/"));
    ExecuteShellVerb(platform, nullptr, QStringLiteral("Properties"), QStringLiteral("/abs/dir"),
                     QStringLiteral("/x/y"));
    EXPECT_EQ(platform.opened, QStringList({"/x/y/a b.txt", "/x/y/c"}));
    EXPECT_EQ(platform.properties, QStringList({"/abs/dir"}));

    ExecuteShellVerb(platform, nullptr, QStringLiteral("Open"), QString(), QStringLiteral("/x"));
    ExecuteShellVerb(platform, nullptr, QStringLiteral("open"), QStringLiteral("c"),
                     QStringLiteral("/x"));
    EXPECT_EQ(platform.opened.size(), 2);
    EXPECT_TRUE(platform.shown.isEmpty()) << "failures show nothing";
    EXPECT_EQ(platform.beeps, 0);
}

class Commands : public ::testing::Test {
protected:
    void SetUp() override {
        source.write(QStringLiteral("a"));
        dest.write(QStringLiteral("b"));
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
        window.mnuRefresh_Click();
    }
    QString rows(ListPane* pane) const {
        QStringList out;
        for (int i = 0; i < pane->count(); ++i)
            out << pane->rowText(i);
        return out.join(QLatin1Char(','));
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

TEST_F(Commands, ToolbarDispatchesByExactKey) {
    window.lvSource_ItemClick(1); // a placeholder
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    EXPECT_TRUE(platform.opened.isEmpty());

    window.lvDest_ItemClick(1);
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    window.tbrMain_ButtonClick(QStringLiteral("Properties"));
    window.tbrMain_ButtonClick(QStringLiteral("open"));
    window.tbrMain_ButtonClick(QStringLiteral("PROPERTIES"));
    const QString b = dest.filePath(QStringLiteral("b"));
    EXPECT_EQ(platform.opened, QStringList({b}));
    EXPECT_EQ(platform.properties, QStringList({b}));

    window.toolbarButton(QStringLiteral("ViewFoldersInfo"))->trigger();
    EXPECT_EQ(platform.properties, QStringList({b, source.path(), dest.path()}));

    window.toolbarButton(QStringLiteral("SwapFolders"))->trigger();
    EXPECT_EQ(window.txtSource()->text(), dest.path());
    EXPECT_EQ(rows(window.lvSource()), QStringLiteral(",b"));
}

TEST_F(Commands, MenuEntriesRunTheShellVerbsOnTheCurrentFile) {
    window.lvSource_ItemClick(0);
    window.menuEntry(QStringLiteral("mnuOpen"))->trigger();
    window.menuEntry(QStringLiteral("mnuPopupOpen"))->trigger();
    window.menuEntry(QStringLiteral("mnuProperties"))->trigger();
    window.menuEntry(QStringLiteral("mnuPopupProperties"))->trigger();
    const QString a = source.filePath(QStringLiteral("a"));
    EXPECT_EQ(platform.opened, QStringList({a, a}));
    EXPECT_EQ(platform.properties, QStringList({a, a}));
}

TEST_F(Commands, CancelledFolderChoiceChangesNothing) {
    dest.write(QStringLiteral("c")); // would show after a refresh
    window.cmdDest_Click();
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Source"))->trigger();
    ASSERT_EQ(platform.browsed.size(), 2);
    EXPECT_EQ(platform.browsed[0].title, QStringLiteral("Select destination Folder:"));
    EXPECT_EQ(platform.browsed[0].initialFolder, dest.path());
    EXPECT_EQ(platform.browsed[1].title, QStringLiteral("Select source Folder:"));
    EXPECT_EQ(platform.browsed[1].initialFolder, source.path());
    EXPECT_EQ(window.txtDest()->text(), dest.path());
    EXPECT_EQ(window.txtSource()->text(), source.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",b")) << "no refresh ran";

    // An empty box opens the dialog without a starting folder.
    window.txtSource()->clear();
    window.cmdSource_Click();
    EXPECT_EQ(platform.browsed.last().initialFolder, QString());
}

TEST_F(Commands, ChosenFolderGoesIntoTheBoxAndRefreshes) {
    TempTree other;
    other.write(QStringLiteral("z"));
    platform.folders.push_back(other.path());
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Destination"))->trigger();
    EXPECT_EQ(window.txtDest()->text(), other.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",z"));

    platform.folders.push_back(QStringLiteral("/"));
    window.cmdSource_Click();
    EXPECT_EQ(window.txtSource()->text(), QStringLiteral("/")) << "the root keeps its slash";
}

TEST_F(Commands, SwapTwiceRestoresTheFoldersRefreshingEachTime) {
    window.show(); // active, so that F8 reaches the window
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.lvDest_ItemClick(1);
    window.ActivePane = 1;
    window.menuEntry(QStringLiteral("mnu_File_Folder_Swap"))->trigger();
    EXPECT_EQ(window.txtSource()->text(), dest.path());
    EXPECT_EQ(window.txtDest()->text(), source.path());
    EXPECT_EQ(rows(window.lvSource()), QStringLiteral(",b"));
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral("a,"));

    dest.write(QStringLiteral("c"));
    QTest::keyClick(&window, Qt::Key_F8);
    EXPECT_EQ(window.txtSource()->text(), source.path());
    EXPECT_EQ(window.txtDest()->text(), dest.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",b,c")) << "read again from disk";
    // Nothing but the folders is exchanged.
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.CurrentFolder, dest.path());
    EXPECT_EQ(window.ActivePane, 1);
}

TEST_F(Commands, ViewInfoShowsEachFilledFolderAndKeepsTheCurrentFile) {
    window.lvSource_ItemClick(0);
    window.txtDest()->clear();
    window.mnu_File_Folder_View_Info_Click();
    EXPECT_EQ(platform.properties, QStringList({source.path()}));
    EXPECT_EQ(window.CurrentFile, QStringLiteral("a"));
    EXPECT_EQ(window.CurrentFolder, source.path());

    window.lvSource_ItemClick(1); // a placeholder: the folders still show
    window.txtDest()->setText(dest.path() + QLatin1Char('/'));
    window.menuEntry(QStringLiteral("mnu_File_Folder_View_Info"))->trigger();
    EXPECT_EQ(platform.properties,
              QStringList({source.path(), source.path(), dest.path() + QLatin1Char('/')}));
    EXPECT_EQ(window.CurrentFile, QString());
}

} // namespace
