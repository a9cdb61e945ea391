#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// The menu entries and toolbar buttons that follow the current row.
const QStringList fileEntries = QStringLiteral("mnuOpen mnuDelete mnuRename mnuProperties "
                                               "mnuEditCopy mnuEditCut mnuPopupOpen mnuPopupCopy "
                                               "mnuPopupCut mnuPopupDelete mnuPopupRename "
                                               "mnuPopupProperties")
                                    .split(QLatin1Char(' '));
const QStringList fileButtons = {"Open", "Cut", "Copy", "Delete", "Properties"};

class PaneEvents : public ::testing::Test {
protected:
    // Rows "a|-" and "-|b".
    void SetUp() override {
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path() + QLatin1Char('/'));
        source.write(QStringLiteral("a"));
        dest.write(QStringLiteral("b"));
        window.mnuRefresh_Click();
    }
    void showActive() {
        window.resize(700, 400);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    int enabledFileCommands() const {
        int n = 0;
        for (const QString& name : fileEntries)
            n += window.menuEntry(name)->isEnabled();
        for (const QString& key : fileButtons)
            n += window.toolbarButton(key)->isEnabled();
        return n;
    }
    bool contextMenuShown() const { return window.mnuContext()->isVisible(); }
    QByteArray bytes(const TempTree& tree, const char* name) const {
        return QFile::encodeName(tree.path()) + '/' + name;
    }
    QString rows(ListPane* pane) const {
        QStringList out;
        for (int i = 0; i < pane->count(); ++i)
            out << pane->rowText(i);
        return out.join(QLatin1Char(','));
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source, dest;
};

TEST_F(PaneEvents, CurrentFileFollowsTheCurrentRowHoweverItMoves) {
    EXPECT_EQ(enabledFileCommands(), 0) << "before any row";
    window.lvDest()->setCurrentRow(1);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.CurrentFolder, dest.path() + QLatin1Char('/')) << "the box's text as it is";
    EXPECT_EQ(enabledFileCommands(), 17);

    // The keyboard moves the current row onto a placeholder.
    QTest::keyClick(window.lvDest(), Qt::Key_Up);
    EXPECT_EQ(window.lvDest()->currentRow(), 0);
    EXPECT_EQ(window.CurrentFile, QString());
    EXPECT_EQ(enabledFileCommands(), 0);

    // The row is the item: End and Home go to the last and the first row,
    // Right scrolls sideways.
    QTest::keyClick(window.lvDest(), Qt::Key_End);
    QTest::keyClick(window.lvDest(), Qt::Key_Right);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.lvDest()->currentIndex().column(), 0);
    QTest::keyClick(window.lvDest(), Qt::Key_Home);
    EXPECT_EQ(window.lvDest()->currentRow(), 0);

    // A pane whose current row does not move still takes over when pointed at.
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(1);
    window.lvSource_ItemClick(0);
    EXPECT_EQ(window.CurrentFileName, QByteArray("a"));
    EXPECT_EQ(window.CurrentFolder, source.path());

    // A refresh keeps the last file and states.
    source.write(QStringLiteral("c"));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.CurrentFile, QStringLiteral("a"));
    EXPECT_EQ(enabledFileCommands(), 17);
}

TEST_F(PaneEvents, FocusSetsTheActivePaneAndItsCurrentRowAndSurvivesARefresh) {
    showActive();
    EXPECT_EQ(window.ActivePane, 0);
    window.lvDest()->setCurrentRow(1);
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setFocus();
    EXPECT_EQ(window.ActivePane, 1);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b")) << "the row highlighted where the keys go";
    window.lvSource_ItemClick(0);
    EXPECT_EQ(window.ActivePane, 1) << "a click is not a focus change";

    for (const auto key : {Qt::Key_F5, Qt::Key_F8}) {
        QTest::keyClick(&window, key);
        EXPECT_TRUE(window.lvDest()->hasFocus()) << key;
        EXPECT_EQ(window.ActivePane, 1);
    }
}

TEST_F(PaneEvents, ARefreshKeepsTheHighlightedFileSoCommandsActWhereTheUserPoints) {
    for (const char* name : {"c", "d", "e"})
        dest.write(QLatin1String(name));
    showActive();
    window.mnuRefresh_Click(); // rows a|-, -|b, -|c, -|d, -|e
    window.lvDest()->setFocus();
    window.lvDest()->setCurrentRow(3);
    ASSERT_EQ(window.CurrentFile, QStringLiteral("d"));
    source.write(QStringLiteral("aa")); // a new row above moves "d" down
    window.mnuRefresh_Click();
    EXPECT_EQ(window.lvDest()->rowText(window.lvDest()->currentRow()), QStringLiteral("d"));
    EXPECT_TRUE(window.lvDest()->isRowSelected(window.lvDest()->currentRow()));
    EXPECT_EQ(window.CurrentFile, QStringLiteral("d"));
    ASSERT_TRUE(QFile::remove(dest.filePath(QStringLiteral("d"))));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.CurrentFile, QStringLiteral("e"))
        << "the next row takes the gone file's place";
}

TEST_F(PaneEvents, ContextMenuAndDragNeedAFileRowEnoughRowsAndTheExactButton) {
    const struct {
        bool dest;
        int row, button; // row -1: no current row
        bool menu, drag;
    } cases[] = {
        {false, 0, 2, true, false},   {true, 1, 2, true, false},   {false, 0, 1, false, true},
        {true, 1, 1, false, true},    {false, 0, 3, false, false}, {true, 1, 5, false, false},
        {false, 0, 0, false, false},  {false, 1, 2, false, false}, {true, 0, 1, false, false},
        {false, -1, 2, false, false}, {true, -1, 1, false, false}};
    const auto check = [&](bool inDest, int row, int button, bool menu, bool drag) {
        ListPane* pane = inDest ? window.lvDest() : window.lvSource();
        pane->setCurrentIndex(pane->rows().index(row, 0));
        platform.drags.clear();
        (window.*(inDest ? &Main::lvDest_MouseUp : &Main::lvSource_MouseUp))(button, 0, 90, 40);
        (window.*(inDest ? &Main::lvDest_MouseMove : &Main::lvSource_MouseMove))(button, 0, 90, 40);
        EXPECT_EQ(contextMenuShown(), menu) << inDest << row << button;
        EXPECT_EQ(platform.drags.size(), drag ? 1 : 0) << inDest << row << button;
        window.mnuContext()->hide();
    };
    for (const auto& c : cases)
        check(c.dest, c.row, c.button, c.menu, c.drag);

    // One row: no menu; a drag from Source only.
    QFile::remove(dest.filePath(QStringLiteral("b")));
    dest.write(QStringLiteral("a"));
    window.mnuRefresh_Click();
    check(false, 0, 2, false, false);
    check(false, 0, 1, false, true);
    check(true, 0, 2, false, false);
    check(true, 0, 1, false, false);
}

TEST_F(PaneEvents, MouseOnThePaneReachesTheHandlers) {
    for (TempTree* tree : {&source, &dest})
        tree->write(QStringLiteral("c"), {}, QDateTime::fromSecsSinceEpoch(1600000000));
    window.mnuRefresh_Click(); // rows a|-, -|b, c|c
    showActive();
    const auto rowAt = [](ListPane* pane, int row) {
        return pane->visualRect(pane->rows().index(row, 0)).center();
    };
    QWidget* left = window.lvSource()->viewport();
    QWidget* right = window.lvDest()->viewport();

    // A click below the rows gives Destination the keys but no current row:
    // Previous Difference goes to the last pair that differs.
    QTest::mouseClick(right, Qt::LeftButton, {}, QPoint(20, right->height() - 5));
    ASSERT_EQ(window.lvDest()->currentRow(), -1);
    QTest::keyClick(&window, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(window.lvDest()->currentRow(), 1);
    EXPECT_EQ(platform.beeps, 0);

    QTest::mouseClick(left, Qt::LeftButton, {}, rowAt(window.lvSource(), 2));
    QTest::mouseClick(right, Qt::LeftButton, {}, rowAt(window.lvDest(), 1));
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    // A right click on the other pane's current row points at it again.
    QTest::mouseClick(left, Qt::RightButton, {}, rowAt(window.lvSource(), 2));
    EXPECT_TRUE(contextMenuShown());
    window.mnuContext()->hide();
    window.menuEntry(QStringLiteral("mnuPopupProperties"))->trigger();
    EXPECT_EQ(platform.properties, QList<QByteArray>({bytes(source, "c")}));

    QTest::mouseDClick(right, Qt::LeftButton, {}, rowAt(window.lvDest(), 1));
    EXPECT_EQ(platform.opened, QList<QByteArray>({bytes(dest, "b")}));
}

TEST_F(PaneEvents, CommandsClicksAndEnterReachTheCurrentFileByTheBytesOfItsName) {
    source.writeRaw("bad\xffname.txt", "x");
    window.mnuRefresh_Click();           // rows a, b, then the stray byte shown as text
    window.lvSource()->setCurrentRow(1); // a placeholder opens nothing
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    QTest::keyClick(window.lvSource(), Qt::Key_Return);
    window.lvSource()->setCurrentRow(2);
    ASSERT_EQ(window.CurrentFile, QStringLiteral("bad\\xFFname.txt"));
    for (const char* key : {"Open", "Properties", "open", "PROPERTIES"})
        window.tbrMain_ButtonClick(QLatin1String(key));
    for (const char* entry : {"mnuOpen", "mnuPopupOpen", "mnuProperties", "mnuPopupProperties"})
        window.menuEntry(QLatin1String(entry))->trigger();
    window.lvDest_DblClick(); // the file, not the pane, decides
    QTest::keyClick(window.lvSource(), Qt::Key_Return);
    QTest::keyClick(window.lvSource(), Qt::Key_Enter, Qt::KeypadModifier);
    const QByteArray file = bytes(source, "bad\xffname.txt");
    EXPECT_EQ(platform.opened, QList<QByteArray>(6, file)) << "keys compare exactly";
    EXPECT_EQ(platform.properties, QList<QByteArray>(3, file));
    platform.openSucceeds = false; // an Open that fails says so, and why
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    ::unlink(file.constData()); // a name the temporary folder cannot remove itself
    window.tbrMain_ButtonClick(QStringLiteral("Open"));
    ASSERT_EQ(platform.shown.size(), 2);
    const QString shown = source.filePath("bad\\xFFname.txt");
    EXPECT_EQ(platform.shown[0].text, shown + " could not be opened.\r\n\r\n" + shown +
                                          ": no program is set to open files of its type");
    EXPECT_TRUE(platform.shown[1].text.endsWith(": No such file or directory"));
}

TEST_F(PaneEvents, FolderButtonsAndEntriesChooseOrCancel) {
    dest.write(QStringLiteral("c")); // would show after a refresh
    window.cmdDest()->click();
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Source"))->trigger();
    ASSERT_EQ(platform.browsed.size(), 2);
    EXPECT_EQ(platform.browsed[0].title, QStringLiteral("Select destination Folder:"));
    EXPECT_EQ(platform.browsed[0].initialFolder, dest.path() + QLatin1Char('/'));
    EXPECT_EQ(platform.browsed[1].title, QStringLiteral("Select source Folder:"));
    EXPECT_EQ(window.txtDest()->text(), dest.path() + QLatin1Char('/'));
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",b")) << "cancelled: no refresh ran";

    TempTree other;
    other.write(QStringLiteral("z"));
    platform.folders = {other.path(), source.path()};
    window.menuEntry(QStringLiteral("mnu_File_Folder_Change_Destination"))->trigger();
    EXPECT_EQ(window.txtDest()->text(), other.path());
    EXPECT_EQ(rows(window.lvDest()), QStringLiteral(",z"));
    window.txtSource()->clear();
    window.cmdSource()->click();
    EXPECT_EQ(platform.browsed.last().initialFolder, QString()) << "an empty box preselects none";
}

TEST_F(PaneEvents, ViewInfoShowsEachFilledFolderAndKeepsTheCurrentFile) {
    window.lvSource()->setCurrentRow(0);
    window.toolbarButton(QStringLiteral("ViewFoldersInfo"))->trigger();
    window.txtDest()->clear(); // an empty box shows no sheet
    window.mnu_File_Folder_View_Info_Click();
    const QByteArray folder = QFile::encodeName(source.path());
    EXPECT_EQ(platform.properties, QList<QByteArray>({folder, bytes(dest, ""), folder}));
    window.mnuOpen_Click();
    EXPECT_EQ(platform.opened, QList<QByteArray>({bytes(source, "a")})) << "the file, unchanged";
}

} // namespace
