#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

const char* const fileCommands[] = {"mnuOpen",        "mnuDelete",      "mnuRename",
                                    "mnuProperties",  "mnuEditCopy",    "mnuEditCut",
                                    "mnuPopupOpen",   "mnuPopupCopy",   "mnuPopupCut",
                                    "mnuPopupDelete", "mnuPopupRename", "mnuPopupProperties"};
const char* const fileButtons[] = {"Open", "Cut", "Copy", "Delete", "Properties"};

class PaneEvents : public ::testing::Test {
protected:
    // Rows "a|-" and "-|b", then whatever a test adds.
    void SetUp() override {
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path() + QLatin1Char('/'));
        source.write(QStringLiteral("a"));
        dest.write(QStringLiteral("b"));
        window.mnuRefresh_Click();
    }

    // The file commands (menu entries and toolbar buttons) that are enabled.
    QStringList enabledFileCommands() const {
        QStringList out;
        for (const char* name : fileCommands)
            if (window.menuEntry(QString::fromLatin1(name))->isEnabled())
                out << QString::fromLatin1(name);
        for (const char* key : fileButtons)
            if (window.toolbarButton(QString::fromLatin1(key))->isEnabled())
                out << QString::fromLatin1(key);
        return out;
    }
    static QStringList allFileCommands() {
        QStringList out;
        for (const char* name : fileCommands)
            out << QString::fromLatin1(name);
        for (const char* key : fileButtons)
            out << QString::fromLatin1(key);
        return out;
    }
    bool contextMenuShown() const { return window.mnuContext()->isVisible(); }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

TEST_F(PaneEvents, RowClickSetsCurrentFileAndEnablesTheFileCommands) {
    EXPECT_EQ(enabledFileCommands(), QStringList()) << "before any click";

    window.lvDest_ItemClick(1);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.CurrentFolder, dest.path() + QLatin1Char('/')) << "the box's text as it is";
    EXPECT_EQ(enabledFileCommands(), allFileCommands());

    window.lvSource_ItemClick(1); // a placeholder
    EXPECT_EQ(window.CurrentFile, QString());
    EXPECT_EQ(window.CurrentFolder, source.path());
    EXPECT_EQ(enabledFileCommands(), QStringList());

    window.lvSource_ItemClick(0);
    EXPECT_EQ(enabledFileCommands(), allFileCommands());
    // Paste and the commands that never follow the row are left alone.
    EXPECT_FALSE(window.menuEntry(QStringLiteral("mnuEditPaste"))->isEnabled());
    EXPECT_FALSE(window.toolbarButton(QStringLiteral("Paste"))->isEnabled());
    EXPECT_TRUE(window.menuEntry(QStringLiteral("mnuEditDSelectAll"))->isEnabled());
    EXPECT_TRUE(window.toolbarButton(QStringLiteral("SwapFolders"))->isEnabled());

    // A refresh keeps the last click's file and states.
    source.write(QStringLiteral("c"));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.CurrentFile, QStringLiteral("a"));
    EXPECT_EQ(enabledFileCommands(), allFileCommands());
}

TEST_F(PaneEvents, ActivePaneFollowsTheFocusOnly) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(window.ActivePane, 0);
    window.lvDest()->setFocus();
    EXPECT_EQ(window.ActivePane, 1);
    window.lvSource_ItemClick(0);
    EXPECT_EQ(window.ActivePane, 1) << "a click is not a focus change";
    window.lvSource()->setFocus();
    EXPECT_EQ(window.ActivePane, 0);
}

TEST_F(PaneEvents, ContextMenuNeedsTwoRowsAFileRowAndTheRightButton) {
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(1);
    for (int button : {1, 3, 4}) {
        window.lvSource_MouseUp(button, 0, 100, 100);
        EXPECT_FALSE(contextMenuShown()) << button;
    }
    window.lvDest_MouseUp(2, 0, 100, 100);
    EXPECT_TRUE(contextMenuShown());
    window.mnuContext()->hide();

    window.lvSource()->setCurrentRow(1); // a placeholder
    window.lvSource_MouseUp(2, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());
    window.lvSource()->setCurrentIndex({}); // no current row at all
    window.lvSource_MouseUp(2, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());

    // One row: in neither pane.
    QFile::remove(dest.filePath(QStringLiteral("b")));
    window.mnuRefresh_Click();
    ASSERT_EQ(window.lvSource()->count(), 1);
    window.lvSource()->setCurrentRow(0);
    window.lvSource_MouseUp(2, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());
    dest.write(QStringLiteral("a"));
    window.mnuRefresh_Click();
    window.lvDest()->setCurrentRow(0);
    window.lvDest_MouseUp(2, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());
}

TEST_F(PaneEvents, DragBeginsOnTheLeftButtonAloneOverAFileRow) {
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(1);
    for (int buttons : {0, 2, 3, 4, 5})
        window.lvSource_MouseMove(buttons, 0, 10, 10);
    EXPECT_TRUE(platform.drags.isEmpty());
    window.lvSource_MouseMove(1, 0, 10, 10);
    window.lvDest_MouseMove(1, 0, 10, 10);
    EXPECT_EQ(platform.drags, QStringList({"lvSource", "lvDest"}));

    platform.drags.clear();
    window.lvDest()->setCurrentRow(0); // a placeholder
    window.lvDest_MouseMove(1, 0, 10, 10);
    window.lvSource()->setCurrentIndex({});
    window.lvSource_MouseMove(1, 0, 10, 10);
    EXPECT_TRUE(platform.drags.isEmpty());

    // One row suffices in the Source pane, not in the Destination pane.
    QFile::remove(dest.filePath(QStringLiteral("b")));
    dest.write(QStringLiteral("a"));
    window.mnuRefresh_Click();
    ASSERT_EQ(window.lvDest()->count(), 1);
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(0);
    window.lvSource_MouseMove(1, 0, 10, 10);
    window.lvDest_MouseMove(1, 0, 10, 10);
    EXPECT_EQ(platform.drags, QStringList({"lvSource"}));
}

TEST_F(PaneEvents, DoubleClickOpensTheLastClickedFile) {
    window.lvDest_ItemClick(1);
    window.lvSource_DblClick(); // the file, not the pane, decides
    EXPECT_EQ(platform.opened, QStringList({dest.filePath(QStringLiteral("b"))}));
    window.lvDest_ItemClick(0);
    window.lvDest_DblClick();
    EXPECT_EQ(platform.opened.size(), 1) << "a placeholder opens nothing";
}

TEST_F(PaneEvents, MouseOnThePaneReachesTheHandlers) {
    window.resize(700, 400);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWidget* viewport = window.lvDest()->viewport();
    const QPoint fileRow =
        window.lvDest()->visualRect(window.lvDest()->rows().index(1, 0)).center();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, fileRow);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_TRUE(window.menuEntry(QStringLiteral("mnuOpen"))->isEnabled());

    QTest::mouseClick(viewport, Qt::RightButton, {}, fileRow);
    EXPECT_TRUE(contextMenuShown());
    window.mnuContext()->hide();

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, fileRow);
    EXPECT_EQ(platform.opened, QStringList({dest.filePath(QStringLiteral("b"))}));

    QTest::mousePress(viewport, Qt::LeftButton, {}, fileRow);
    QMouseEvent move(QEvent::MouseMove, QPointF(fileRow + QPoint(1, 1)),
                     viewport->mapToGlobal(QPointF(fileRow + QPoint(1, 1))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, fileRow);
    EXPECT_EQ(platform.drags, QStringList({"lvDest"})) << "at the first move, no threshold";
}

// A few hundred rows on both sides, in a window small enough to scroll.
class ScrollSync : public PaneEvents {
protected:
    void SetUp() override {
        PaneEvents::SetUp();
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
            source.write(name);
            dest.write(name);
        }
        window.mnuRefresh_Click();
        window.resize(700, 400);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.tmrSource()->stop(); // ticks run by hand
    }
    void scrollToTop(ListPane* pane, int row) {
        pane->scrollTo(pane->rows().index(row, 0), QAbstractItemView::PositionAtTop);
    }
    int lastVisibleRow(ListPane* pane) const {
        return pane->indexAt(QPoint(1, pane->viewport()->height() - 2)).row();
    }
};

TEST_F(ScrollSync, DestinationFurtherDownIsBroughtBackToTheSourceTopRow) {
    scrollToTop(window.lvSource(), 39);
    scrollToTop(window.lvDest(), 120);
    window.tmrSource_Timer();
    EXPECT_EQ(window.lvDest()->firstVisibleRow(), 39);
    EXPECT_EQ(window.lvSource()->firstVisibleRow(), 39);

    // Scrolled by hand below the Source pane: the running timer pulls it back,
    // and the Source pane never follows.
    window.tmrSource()->start();
    scrollToTop(window.lvDest(), 200);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.lvDest()->firstVisibleRow() == 39; }));
    EXPECT_EQ(window.lvSource()->firstVisibleRow(), 39);
}

TEST_F(ScrollSync, DestinationFurtherUpIsBroughtDownToShowTheSourceRows) {
    scrollToTop(window.lvDest(), 0);
    window.tmrSource()->start();
    scrollToTop(window.lvSource(), 150);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.lvDest()->firstVisibleRow() > 100; }));
    const int top = window.lvDest()->firstVisibleRow();
    EXPECT_LE(top, 150);
    EXPECT_GE(lastVisibleRow(window.lvDest()), 150);
    EXPECT_EQ(window.lvSource()->firstVisibleRow(), 150);
    // Once level, further ticks leave it where it is.
    window.tmrSource_Timer();
    window.tmrSource_Timer();
    EXPECT_EQ(window.lvDest()->firstVisibleRow(), top);
}

TEST_F(ScrollSync, FewerThanTwoRowsMoveNothingAndNoRowsNothingAtAll) {
    for (const QString& name : QDir(source.path()).entryList(QDir::Files))
        QFile::remove(source.filePath(name));
    for (const QString& name : QDir(dest.path()).entryList(QDir::Files))
        QFile::remove(dest.filePath(name));
    window.mnuRefresh_Click();
    window.tmrSource_Timer();
    EXPECT_EQ(window.lvDest()->firstVisibleRow(), -1);

    source.write(QStringLiteral("only"));
    dest.write(QStringLiteral("only"));
    window.mnuRefresh_Click();
    window.tmrSource_Timer();
    EXPECT_EQ(window.lvDest()->firstVisibleRow(), 0);
    EXPECT_EQ(window.lvSource()->firstVisibleRow(), 0);
}

} // namespace
