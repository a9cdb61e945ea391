#include "core/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <QTimeZone>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// "left|right" per row; "-" for a placeholder.
QStringList layout(Main& w) {
    QStringList out;
    for (int i = 0; i < w.lvSource()->count(); ++i) {
        const QString l = w.lvSource()->rowText(i);
        const QString r = w.lvDest()->rowText(i);
        out << (l.isEmpty() ? QStringLiteral("-") : l) + QLatin1Char('|') +
                   (r.isEmpty() ? QStringLiteral("-") : r);
    }
    return out;
}

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path() + QLatin1Char('/'));
    }
    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

TEST_F(Refresh, PanesAlignRowAgainstRowWithPlaceholders) {
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    source.write(QStringLiteral("x.txt"), QByteArray(1234567, 'x'), t);
    source.write(QStringLiteral("z.txt"), "", t);
    dest.write(QStringLiteral("y.txt"), "12", t);
    dest.write(QStringLiteral("Z.TXT"), "123", t);
    window.mnuRefresh_Click();

    EXPECT_EQ(layout(window), QStringList({QStringLiteral("x.txt|-"), QStringLiteral("-|y.txt"),
                                           QStringLiteral("z.txt|Z.TXT")}));
    const PaneModel& left = window.lvSource()->rows();
    const PaneModel& right = window.lvDest()->rows();
    EXPECT_EQ(left.subItem(0, PaneModel::Size), QStringLiteral("1,234,567 bytes"));
    EXPECT_EQ(left.subItem(2, PaneModel::Size), QStringLiteral("0 bytes"));
    EXPECT_EQ(right.subItem(2, PaneModel::Size), QStringLiteral("3 bytes")) << "its own file";
    EXPECT_TRUE(left.subItem(0, PaneModel::Modified).startsWith(QStringLiteral("2/3/24 4:05:06")));
    for (int c = PaneModel::Size; c <= PaneModel::Modified; ++c)
        EXPECT_TRUE(right.subItem(0, c).isEmpty()) << "a placeholder has no sub-items";

    EXPECT_EQ(window.statusText(), QString());
    EXPECT_EQ(window.pbrMain()->value(), 0);
    EXPECT_EQ(window.pbrMain()->maximum(), 4 - 1);
    EXPECT_FALSE(window.lvSource()->isHidden());
    EXPECT_FALSE(window.lvDest()->isHidden());
    EXPECT_TRUE(platform.shown.isEmpty());
}

TEST_F(Refresh, ProgressMaximumOnlySetForTwoEntriesOrMore) {
    window.pbrMain()->setMaximum(77);
    window.mnuRefresh_Click(); // nothing at all
    EXPECT_EQ(window.pbrMain()->maximum(), 77);
    EXPECT_EQ(window.lvSource()->count(), 0);
    source.write(QStringLiteral("one"));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.pbrMain()->maximum(), 77);
    for (const char* n : {"b", "c", "d", "e"})
        dest.write(QString::fromLatin1(n));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.pbrMain()->maximum(), 4);
    EXPECT_EQ(window.pbrMain()->value(), 0);
}

TEST_F(Refresh, CaseSensitiveNamesEachReachTheirOwnFile) {
    source.write(QStringLiteral("a.txt"), "1");
    source.write(QStringLiteral("A.txt"), "22");
    dest.write(QStringLiteral("A.txt"), "333");
    window.mnuRefresh_Click();
    EXPECT_EQ(layout(window),
              QStringList({QStringLiteral("A.txt|A.txt"), QStringLiteral("a.txt|-")}));
    EXPECT_EQ(window.lvSource()->rows().subItem(0, PaneModel::Size), QStringLiteral("2 bytes"));
    EXPECT_EQ(window.lvSource()->rows().subItem(1, PaneModel::Size), QStringLiteral("1 bytes"));
    EXPECT_EQ(window.lvDest()->rows().subItem(0, PaneModel::Size), QStringLiteral("3 bytes"));
}

TEST_F(Refresh, RefreshRebuildsFromDiskEachTime) {
    source.write(QStringLiteral("keep"));
    source.write(QStringLiteral("gone"));
    window.mnuRefresh_Click();
    ASSERT_EQ(window.lvSource()->count(), 2);
    QFile::remove(source.filePath(QStringLiteral("gone")));
    dest.write(QStringLiteral("new"));
    window.mnuRefresh_Click();
    EXPECT_EQ(layout(window), QStringList({QStringLiteral("keep|-"), QStringLiteral("-|new")}));
}

TEST_F(Refresh, UnreadableFolderReportsAndLeavesEmptyVisiblePanes) {
    ASSERT_EQ(
        ::symlink("loop", QFile::encodeName(source.filePath(QStringLiteral("loop"))).constData()),
        0);
    dest.write(QStringLiteral("d"));
    window.txtSource()->setText(source.filePath(QStringLiteral("loop")));
    window.mnuRefresh_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(platform.shown[0].style, MsgStyle::Critical);
    EXPECT_TRUE(platform.shown[0].text.startsWith(
        QStringLiteral("An unexpected error has occurred.\n\nError %1: ").arg(ELOOP)));
    EXPECT_TRUE(platform.shown[0].text.contains(source.filePath(QStringLiteral("loop"))));
    EXPECT_EQ(window.lvSource()->count(), 0);
    EXPECT_FALSE(window.lvSource()->isHidden()) << "the error came before the panes were hidden";
}

TEST_F(Refresh, FileVanishingBeforeTheWalkIsLeftOut) {
    source.write(QStringLiteral("a"));
    source.write(QStringLiteral("b"));
    dest.write(QStringLiteral("c"));
    auto connection = QObject::connect(&window, &Main::foldersScanned, [&] {
        QFile::remove(source.filePath(QStringLiteral("b")));
    });
    window.mnuRefresh_Click();
    QObject::disconnect(connection);
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_FALSE(window.lvSource()->isHidden());
    EXPECT_EQ(layout(window), QStringList({QStringLiteral("a|-"), QStringLiteral("-|c")}));
}

TEST_F(Refresh, FirstActivationRefreshesOnceAndF5Again) {
    source.write(QStringLiteral("first"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(window.lvSource()->count(), 1);
    EXPECT_TRUE(window.lvSource()->hasFocus());

    source.write(QStringLiteral("second"));
    window.Form_Activate(); // a later activation does nothing
    EXPECT_EQ(window.lvSource()->count(), 1);

    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(window.lvSource()->count(), 2);
}

} // namespace
