#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "shell/shell_verb.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(ShellVerb, ResolvesTheNameAgainstItsFolderAndStaysSilent) {
    ScriptedPlatform platform;
    platform.openSucceeds = false;
    platform.propertiesSucceed = false;
    const QString verbs[] = {"Open", "Open", "Properties", "Open", "open"};
    const QByteArray names[] = {"a b.txt", "c\xff", "/abs/dir", "", "c"};
    const QString folders[] = {"/x/y", "/x/y/", "/x/y", "/x", "/x"};
    for (int i = 0; i < 5; ++i)
        ExecuteShellVerb(platform, nullptr, verbs[i], names[i], folders[i]);
    EXPECT_EQ(platform.opened, QList<QByteArray>({"/x/y/a b.txt", "/x/y/c\xff"}));
    EXPECT_EQ(platform.properties, QList<QByteArray>({"/abs/dir"}));
    EXPECT_TRUE(platform.shown.isEmpty()) << "failures show nothing";
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
    QByteArray bytes(const TempTree& tree, const char* name) const {
        return QFile::encodeName(tree.path()) + '/' + name;
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

TEST_F(Commands, ToolbarMenusAndPopupRunTheVerbsOnTheCurrentFile) {
    window.lvSource()->setCurrentRow(1); // a placeholder
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    EXPECT_TRUE(platform.opened.isEmpty());

    window.lvDest()->setCurrentRow(1);
    for (const char* key : {"Open", "Properties", "open", "PROPERTIES"})
        window.tbrMain_ButtonClick(QLatin1String(key));
    for (const char* entry : {"mnuOpen", "mnuPopupOpen", "mnuProperties", "mnuPopupProperties"})
        window.menuEntry(QLatin1String(entry))->trigger();
    const QByteArray b = bytes(dest, "b");
    EXPECT_EQ(platform.opened, QList<QByteArray>(3, b)) << "keys compare exactly";
    EXPECT_EQ(platform.properties, QList<QByteArray>(3, b));

    window.toolbarButton(QStringLiteral("SwapFolders"))->trigger();
    EXPECT_EQ(window.txtSource()->text(), dest.path());
    EXPECT_EQ(rows(window.lvSource()), QStringLiteral(",b"));
}

TEST_F(Commands, ANameThatIsNotTextIsReachedThroughItsBytes) {
    source.writeRaw("bad\xffname.txt", "x");
    window.mnuRefresh_Click();
    window.lvSource()->setCurrentRow(2); // after "a" and "b"
    ASSERT_EQ(window.CurrentFile, QStringLiteral("bad\\xFFname.txt"));
    window.lvSource_DblClick();
    window.mnuProperties_Click();
    const QByteArray file = bytes(source, "bad\xffname.txt");
    EXPECT_EQ(platform.opened, QList<QByteArray>({file}));
    EXPECT_EQ(platform.properties, QList<QByteArray>({file}));
    ::unlink(file.constData()); // a name the temporary folder cannot remove itself
}

TEST_F(Commands, FolderButtonsAndEntriesChooseOrCancel) {
    dest.write(QStringLiteral("c")); // would show after a refresh
    window.cmdDest()->click();
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Source"))->trigger();
    ASSERT_EQ(platform.browsed.size(), 2);
    EXPECT_EQ(platform.browsed[0].title, QStringLiteral("Select destination Folder:"));
    EXPECT_EQ(platform.browsed[0].initialFolder, dest.path());
    EXPECT_EQ(platform.browsed[1].title, QStringLiteral("Select source Folder:"));
    EXPECT_EQ(window.txtDest()->text(), dest.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",b")) << "cancelled: no refresh ran";

    TempTree other;
    other.write(QStringLiteral("z"));
    platform.folders = {other.path(), QStringLiteral("/")};
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Destination"))->trigger();
    EXPECT_EQ(window.txtDest()->text(), other.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",z"));
    window.txtSource()->clear();
    window.cmdSource()->click();
    EXPECT_EQ(platform.browsed.last().initialFolder, QString()) << "an empty box preselects none";
    EXPECT_EQ(window.txtSource()->text(), QStringLiteral("/")) << "the root keeps its slash";
}

TEST_F(Commands, SwapTwiceRestoresTheFoldersRefreshingEachTime) {
    window.lvDest()->setCurrentRow(1);
    window.ActivePane = 1;
    window.mnu_File_Folder_Swap_Click();
    EXPECT_EQ(window.txtSource()->text(), dest.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral("a,"));

    dest.write(QStringLiteral("c"));
    window.menuEntry(QStringLiteral("mnu_File_Folder_Swap"))->trigger();
    EXPECT_EQ(window.txtSource()->text(), source.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",b,c")) << "read again from disk";
    // Nothing but the folders is exchanged.
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.CurrentFolder, dest.path());
    EXPECT_EQ(window.ActivePane, 1);
}

TEST_F(Commands, ViewInfoShowsEachFilledFolderAndKeepsTheCurrentFile) {
    window.lvSource()->setCurrentRow(0);
    window.txtDest()->clear();
    window.mnu_File_Folder_View_Info_Click();
    EXPECT_EQ(platform.properties, QList<QByteArray>({QFile::encodeName(source.path())}));
    EXPECT_EQ(window.CurrentFile, QStringLiteral("a"));
    window.mnuOpen_Click();
    EXPECT_EQ(platform.opened, QList<QByteArray>({bytes(source, "a")})) << "the file, unchanged";

    window.lvSource()->setCurrentRow(1); // a placeholder: the folders still show
    window.txtDest()->setText(dest.path() + QLatin1Char('/'));
    window.toolbarButton(QStringLiteral("ViewFoldersInfo"))->trigger();
    EXPECT_EQ(platform.properties.mid(1),
              QList<QByteArray>({QFile::encodeName(source.path()), bytes(dest, "")}));
    EXPECT_EQ(window.CurrentFile, QString());
}

} // namespace
