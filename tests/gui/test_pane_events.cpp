#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
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
    // How many of the file commands (menu entries and buttons) are enabled.
    int enabledFileCommands() const {
        int n = 0;
        for (const char* name : fileCommands)
            n += window.menuEntry(QString::fromLatin1(name))->isEnabled();
        for (const char* key : fileButtons)
            n += window.toolbarButton(QString::fromLatin1(key))->isEnabled();
        return n;
    }
    bool contextMenuShown() const { return window.mnuContext()->isVisible(); }
    QByteArray bytes(const TempTree& tree, const char* name) const {
        return QFile::encodeName(tree.filePath(QLatin1String(name)));
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

constexpr int allFileCommands = 17;

TEST_F(PaneEvents, CurrentFileFollowsTheCurrentRowHoweverItMoves) {
    EXPECT_EQ(enabledFileCommands(), 0) << "before any row";
    window.lvDest()->setCurrentRow(1);
    EXPECT_EQ(window.CurrentFile, QStringLiteral("b"));
    EXPECT_EQ(window.CurrentFolder, dest.path() + QLatin1Char('/')) << "the box's text as it is";
    EXPECT_EQ(enabledFileCommands(), allFileCommands);

    // The keyboard moves the current row onto a placeholder.
    QTest::keyClick(window.lvDest(), Qt::Key_Up);
    EXPECT_EQ(window.lvDest()->currentRow(), 0);
    EXPECT_EQ(window.CurrentFile, QString());
    EXPECT_EQ(enabledFileCommands(), 0);
    EXPECT_FALSE(window.toolbarButton(QStringLiteral("Paste"))->isEnabled()) << "not a row's";
    EXPECT_TRUE(window.toolbarButton(QStringLiteral("SwapFolders"))->isEnabled());

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
    EXPECT_EQ(enabledFileCommands(), allFileCommands);
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

TEST_F(PaneEvents, ContextMenuNeedsTwoRowsAFileRowAndTheRightButton) {
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(1);
    for (int button : {1, 3, 4})
        window.lvSource_MouseUp(button, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());
    window.lvDest_MouseUp(2, 0, 100, 100);
    EXPECT_TRUE(contextMenuShown());
    window.mnuContext()->hide();

    window.lvSource()->setCurrentRow(1); // a placeholder
    window.lvSource_MouseUp(2, 0, 100, 100);
    window.lvDest()->setCurrentIndex({}); // no current row at all
    window.lvDest_MouseUp(2, 0, 100, 100);
    EXPECT_FALSE(contextMenuShown());

    // One row: in neither pane.
    QFile::remove(dest.filePath(QStringLiteral("b")));
    dest.write(QStringLiteral("a"));
    window.mnuRefresh_Click();
    ASSERT_EQ(window.lvSource()->count(), 1);
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(0);
    window.lvSource_MouseUp(2, 0, 100, 100);
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
    window.lvSource()->setCurrentRow(0);
    window.lvDest()->setCurrentRow(0);
    window.lvSource_MouseMove(1, 0, 10, 10);
    window.lvDest_MouseMove(1, 0, 10, 10);
    EXPECT_EQ(platform.drags, QStringList({"lvSource"}));
}

TEST_F(PaneEvents, DoubleClickEnterAndKeypadEnterOpenTheCurrentFile) {
    window.lvDest()->setCurrentRow(1);
    window.lvSource_DblClick(); // the file, not the pane, decides
    QTest::keyClick(window.lvDest(), Qt::Key_Return);
    QTest::keyClick(window.lvDest(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(platform.opened, QList<QByteArray>(3, bytes(dest, "b")));
    window.lvDest()->setCurrentRow(0);
    QTest::keyClick(window.lvDest(), Qt::Key_Return);
    window.lvDest_DblClick();
    EXPECT_EQ(platform.opened.size(), 3) << "a placeholder opens nothing";
}

TEST_F(PaneEvents, MouseOnThePaneReachesTheHandlers) {
    source.write(QStringLiteral("c"));
    dest.write(QStringLiteral("c"));
    window.mnuRefresh_Click();
    showActive();
    const auto rowAt = [](ListPane* pane, int row) {
        return pane->visualRect(pane->rows().index(row, 0)).center();
    };
    QWidget* left = window.lvSource()->viewport();
    QWidget* right = window.lvDest()->viewport();

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

    const QPoint b = rowAt(window.lvDest(), 1);
    QTest::mousePress(right, Qt::LeftButton, {}, b);
    QMouseEvent move(QEvent::MouseMove, QPointF(b + QPoint(1, 1)),
                     right->mapToGlobal(QPointF(b + QPoint(1, 1))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(right, &move);
    QTest::mouseRelease(right, Qt::LeftButton, {}, b);
    EXPECT_EQ(platform.drags, QStringList({"lvDest"})) << "at the first move, no threshold";
}

// A few hundred rows, one side starting with a placeholder, columns that only
// one pane must scroll sideways for, in a window that scrolls.
class Level : public PaneEvents, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        PaneEvents::SetUp();
        TempTree& first = GetParam() ? dest : source;
        first.write(QStringLiteral("0 first"));
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
            if (i % 3 != 1)
                source.write(name);
            if (i % 4 != 2)
                dest.write(name);
        }
        window.mnuRefresh_Click();
        // Columns wider than the pane on one side only.
        for (int c = 0; c < 4; ++c) {
            window.lvSource()->setColumnWidth(c, GetParam() && c == 0 ? 900 : 60);
            window.lvDest()->setColumnWidth(c, !GetParam() && c == 0 ? 900 : 60);
        }
        showActive();
        ASSERT_TRUE(QTest::qWaitFor([&] { return level(); }));
    }
    // The same rows on the same pixel lines, in panes of the same room.
    bool level() const {
        const ListPane* s = window.lvSource();
        const ListPane* d = window.lvDest();
        if (s->viewport()->geometry() != d->viewport()->geometry() ||
            s->firstVisibleRow() != d->firstVisibleRow())
            return false;
        for (int row = s->firstVisibleRow(); row < s->count(); ++row) {
            const QRect r = s->visualRect(s->rows().index(row, 0));
            if (r.top() > s->viewport()->height())
                break;
            const QRect partner = d->visualRect(d->rows().index(row, 0));
            if (r.top() != partner.top() || r.height() != partner.height())
                return false;
        }
        return true;
    }
    void wheel(ListPane* pane, int notches) {
        const QPointF at(20, 20);
        QWheelEvent event(at, pane->viewport()->mapToGlobal(at), {}, QPoint(0, -120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(pane->viewport(), &event);
    }
    int top() const { return window.lvSource()->firstVisibleRow(); }
};

TEST_P(Level, EveryRowFacesItsPartnerOnOnePixelLine) {
    ListPane* s = window.lvSource();
    ListPane* d = window.lvDest();
    const int height = s->visualRect(s->rows().index(0, 0)).height();
    EXPECT_GE(height, 16) << "room for the icon";
    EXPECT_GE(height, s->fontMetrics().height());
    EXPECT_EQ(d->visualRect(d->rows().index(0, 0)).height(), height);
    EXPECT_EQ(top(), 0);

    s->setFocus();
    QTest::keyClick(s, Qt::Key_End);
    EXPECT_GT(top(), 250);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level(); })) << "after End";
    const int bottom = top();

    wheel(s, -2);
    EXPECT_LT(top(), bottom);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level(); })) << "after a wheel in Source";
    const int wheeled = top();
    wheel(d, 3);
    d->verticalScrollBar()->setValue(5);
    EXPECT_EQ(top(), wheeled) << "Source never follows";
    EXPECT_TRUE(level()) << "Destination comes straight back";

    QTest::keyClick(s, Qt::Key_PageUp);
    window.resize(760, 330);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.lvSource()->height() < 250 && level(); }))
        << "after a resize";
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level(); })) << "after a refresh";
}

INSTANTIATE_TEST_SUITE_P(PlaceholderFirst, Level, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "InSource" : "InDest"; });

} // namespace
