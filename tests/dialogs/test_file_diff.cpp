#include "core/message_style.h"
#include "dialogs/file_diff_view.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/status_look.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// 300 lines; the right side has lines 50, 150 and 250 changed.
QByteArray numbered(bool changed) {
    QByteArray text;
    for (int i = 1; i <= 300; ++i)
        text += (changed && i % 100 == 50 ? "line " + QByteArray::number(i) + " changed"
                                          : "line " + QByteArray::number(i)) +
                '\n';
    return text;
}

class CompareFiles : public ::testing::Test {
protected:
    // Rows "a.txt|a.txt", "b.txt|b.txt", "only.txt|-".
    void SetUp() override {
        source.write(QStringLiteral("a.txt"), numbered(false));
        dest.write(QStringLiteral("a.txt"), numbered(true));
        source.write(QStringLiteral("b.txt"), "b\n");
        dest.write(QStringLiteral("b.txt"), "b\n");
        source.write(QStringLiteral("only.txt"));
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
        window.mnuRefresh_Click();
        window.resize(800, 500);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QByteArray path(const TempTree& tree, const QByteArray& name) const {
        return QFile::encodeName(tree.path()) + '/' + name;
    }
    bool offered() const {
        const bool menu = window.menuEntry(QStringLiteral("mnuCompareFiles"))->isEnabled();
        EXPECT_EQ(window.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->isEnabled(), menu);
        EXPECT_EQ(window.toolbarButton(QStringLiteral("CompareFiles"))->isEnabled(), menu);
        return menu;
    }
    // The view the command opened, once its comparison has arrived.
    FileDiffView* shownView() {
        auto* view = window.findChild<FileDiffView*>();
        if (view && !view->comparison()) {
            EXPECT_TRUE(QSignalSpy(view, &FileDiffView::compared).wait(10000));
        }
        return view;
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source, dest;
};

} // namespace

TEST_F(CompareFiles, OfferedForAPairOrTwoSelectedFilesAndRunFromEveryPlace) {
    window.lvSource()->setCurrentRow(2);
    EXPECT_FALSE(offered()) << "a file on one side only";
    window.lvSource()->setCurrentRow(0);
    ASSERT_TRUE(offered());
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(dest, "a.txt")}));
    window.lvSource()->setRowSelected(1, true);
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(source, "b.txt")}));
    window.lvSource()->setRowSelected(2, true);
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(dest, "a.txt")}))
        << "three selected: the current row again";
    window.lvSource()->setRowSelected(1, false);
    window.lvSource()->setRowSelected(0, false);
    window.lvSource()->setCurrentRow(2);
    EXPECT_FALSE(offered());

    window.lvSource()->setCurrentRow(0);
    const std::function<void()> ways[] = {
        [&] { window.menuEntry(QStringLiteral("mnuCompareFiles"))->trigger(); },
        [&] { window.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->trigger(); },
        [&] { window.toolbarButton(QStringLiteral("CompareFiles"))->trigger(); },
        [&] { QTest::keyClick(window.lvSource(), Qt::Key_D, Qt::ControlModifier); },
    };
    for (const auto& way : ways) {
        window.activateWindow(); // the last view had it
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        way();
        FileDiffView* view = shownView();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->statusText(), QStringLiteral("3 changes · 3 lines added · 3 removed"));
        EXPECT_TRUE(view->windowTitle().contains(QString::fromUtf8(path(dest, "a.txt"))));
        delete view;
    }
    EXPECT_TRUE(window.toolbarArrangement().contains(QStringLiteral("CompareFiles")));
}

TEST_F(CompareFiles, F7AndShiftF7WalkTheChangesAndBothHalvesScrollTogether) {
    window.lvSource()->setCurrentRow(0);
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    view->resize(700, 300);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    EXPECT_EQ(view->currentChange(), 0) << "the first change is shown at once";
    EXPECT_EQ(view->area()->topRow(), 49 - 3);
    QTest::keyClick(view->area(), Qt::Key_F7);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2);
    EXPECT_EQ(view->area()->topRow(), 249 - 3);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2) << "no change after the last";
    QTest::keyClick(view->area(), Qt::Key_F7, Qt::ShiftModifier);
    EXPECT_EQ(view->currentChange(), 1);
    // Scrolled away by hand, F7 goes to the first change below the top row.
    view->area()->verticalScrollBar()->setValue(200);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2);

    // One area draws both halves: a row's tint and marks on both sides.
    const QImage image = view->area()->viewport()->grab().toImage();
    const QPalette& pal = view->area()->palette();
    const QColor tint = mixedColour(pal.color(QPalette::Base), pal.color(QPalette::Highlight), 0.2);
    const int rowHeight = view->area()->rowHeight();
    const int rowY = (249 - view->area()->topRow()) * rowHeight + 2;
    const int w = image.width();
    EXPECT_EQ(image.pixelColor(view->area()->leftEnd() - 5, rowY), tint);
    EXPECT_EQ(image.pixelColor(w - 5, rowY), tint);
    EXPECT_EQ(image.pixelColor(w - 5, rowY + 2 * rowHeight), pal.color(QPalette::Base));
    QTest::keyClick(view->area(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.findChild<FileDiffView*>(); }));
}

TEST_F(CompareFiles, TheUsersDiffProgramGetsThePathBytesAndTakesFilesTooLargeForTheView) {
    const QByteArray odd = "caf\xe9 'q' \"x\".txt";
    source.writeRaw(odd, "1");
    dest.writeRaw(odd, "2");
    window.mnuRefresh_Click();
    window.ActivePane = 1;
    window.lvDest()->setCurrentRow(2); // rows: a.txt, b.txt, the odd name, only.txt
    ASSERT_EQ(window.lvDest()->rowFileName(2), odd);
    window.settings().diffProgram = QStringLiteral("'/opt/my diff' --left=%1 %2");
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.commands.size(), 1);
    EXPECT_EQ(platform.commands[0],
              QList<QByteArray>({"/opt/my diff", "--left=" + path(source, odd), path(dest, odd)}));
    platform.commandError = QStringLiteral("No such file or directory");
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.shown[0].style, MsgStyle::Critical);
    EXPECT_TRUE(platform.shown[0].text.endsWith(QStringLiteral("No such file or directory")));
    EXPECT_EQ(window.findChild<FileDiffView*>(), nullptr);

    // Files the view cannot hold are not opened in it: the user is told
    // where to choose a program that can. Large ones below that open at once.
    window.settings().diffProgram.clear();
    ASSERT_EQ(::truncate(path(dest, odd).constData(), largestComparedFile + 1), 0);
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.shown.size(), 2);
    EXPECT_TRUE(platform.shown[1].text.contains(QStringLiteral("is 4,294,967,296 bytes, more")));
    EXPECT_EQ(window.findChild<FileDiffView*>(), nullptr);
    window.settings().diffProgram = QStringLiteral("meld");
    platform.commandError.clear();
    window.mnuCompareFiles_Click();
    EXPECT_EQ(platform.commands.back(),
              QList<QByteArray>({"meld", path(source, odd), path(dest, odd)}));
    window.settings().diffProgram.clear();
    ASSERT_EQ(::truncate(path(dest, odd).constData(), 51LL * 1024 * 1024), 0);
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(platform.shown.size(), 2);
    EXPECT_EQ(view->statusText(), QStringLiteral("Binary files differ at byte 0"));
}

TEST_F(CompareFiles, ALineOfManyMegabytesShowsItsStartOnly) {
    QByteArray line(30 * 1024 * 1024, 'x');
    source.write(QStringLiteral("long.txt"), "first\n" + line + "a\n");
    dest.write(QStringLiteral("long.txt"), "first\n" + line + "b\n");
    FileDiffView view(path(source, "long.txt"), path(dest, "long.txt"), platform);
    view.show();
    ASSERT_TRUE(QSignalSpy(&view, &FileDiffView::compared).wait(20000));
    EXPECT_EQ(view.statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
    const int charWidth = view.area()->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    EXPECT_LT(view.area()->horizontalScrollBar()->maximum(), 21000 * charWidth);
}

TEST_F(CompareFiles, IgnoredDifferencesShowFaintlyAreNotStoppedAtAndTheChoiceIsKept) {
    source.write(QStringLiteral("crlf.txt"), "one\r\ntwo\r\nthree\r\nfour\r\n");
    dest.write(QStringLiteral("crlf.txt"), "one\ntwo\nTHREE\nfour\n");
    window.mnuRefresh_Click();
    window.lvSource()->setCurrentRow(2); // a.txt, b.txt, crlf.txt, only.txt
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 4 lines added · 4 removed"));
    QSignalSpy again(view, &FileDiffView::compared);
    view->findChild<QAction*>(QStringLiteral("mnuIgnoreLineEnds"))->trigger();
    ASSERT_TRUE(again.wait(10000));
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
    EXPECT_EQ(view->currentChange(), 0);
    EXPECT_EQ(view->comparison()->lines.changes, std::vector<int>{2});
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 0) << "the line endings are not a change";

    // The rows equal but for their line endings are tinted faintly.
    view->area()->verticalScrollBar()->setValue(0);
    const QImage image = view->area()->viewport()->grab().toImage();
    const QPalette& pal = view->area()->palette();
    const QColor base = pal.color(QPalette::Base), highlight = pal.color(QPalette::Highlight);
    const int rowHeight = view->area()->rowHeight(), x = view->area()->leftEnd() - 5;
    EXPECT_EQ(image.pixelColor(x, 2), mixedColour(base, highlight, 0.2 / 3));
    EXPECT_EQ(image.pixelColor(x, 2 * rowHeight + 2), mixedColour(base, highlight, 0.2));

    EXPECT_EQ(window.settings().diffIgnore, IgnoreLineEnds);
    delete view;
    window.mnuCompareFiles_Click();
    view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->findChild<QAction*>(QStringLiteral("mnuIgnoreLineEnds"))->isChecked());
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
}
