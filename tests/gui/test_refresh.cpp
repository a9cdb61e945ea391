#include "core/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Refresh : public ::testing::Test {
protected:
    void SetUp() override {
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path() + QLatin1Char('/'));
    }
    // "left|right" per row, "-" for a placeholder, then "size|size" when asked.
    QStringList rows(bool sizes = false) const {
        QStringList out;
        const auto cell = [&](const ListPane* pane, int row) {
            const QString text =
                sizes ? pane->rows().subItem(row, PaneModel::Size) : pane->rowText(row);
            return text.isEmpty() ? QStringLiteral("-") : text;
        };
        for (int i = 0; i < window.lvSource()->count(); ++i)
            out << cell(window.lvSource(), i) + QLatin1Char('|') + cell(window.lvDest(), i);
        return out;
    }
    ScriptedPlatform platform;
    Main window{platform};
    TempTree source, dest;
};

TEST_F(Refresh, PanesAlignRowAgainstRowEachRowWithItsOwnFile) {
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    source.write(QStringLiteral("x.txt"), QByteArray(1234567, 'x'), t);
    source.write(QStringLiteral("z.txt"), "", t);
    source.write(QStringLiteral("a.txt"), "1");
    source.write(QStringLiteral("A.txt"), "22");
    dest.write(QStringLiteral("A.txt"), "333");
    dest.write(QStringLiteral("y.txt"), "12", t);
    dest.write(QStringLiteral("Z.TXT"), "123", t);
    window.pbrMain()->setMaximum(77);
    window.mnuRefresh_Click();

    EXPECT_EQ(rows(), QStringList({"A.txt|A.txt", "a.txt|-", "x.txt|-", "-|y.txt", "z.txt|Z.TXT"}));
    EXPECT_EQ(rows(true), QStringList({"2 bytes|3 bytes", "1 bytes|-", "1,234,567 bytes|-",
                                       "-|2 bytes", "0 bytes|3 bytes"}));
    EXPECT_TRUE(
        window.lvSource()->rows().subItem(2, PaneModel::Modified).startsWith("2/3/24 4:05:06"));
    EXPECT_TRUE(window.lvDest()->rows().subItem(2, PaneModel::Modified).isEmpty());
    EXPECT_EQ(window.statusText(), QString());
    EXPECT_EQ(window.pbrMain()->value(), 0);
    EXPECT_EQ(window.pbrMain()->maximum(), 7 - 1) << "entries of both folders less one";
    EXPECT_TRUE(platform.shown.isEmpty());

    // Read from disk again each time; fewer than two entries leave the maximum.
    for (const QString& name : QDir(source.path()).entryList(QDir::Files))
        QFile::remove(source.filePath(name));
    for (const QString& name : QDir(dest.path()).entryList(QDir::Files))
        QFile::remove(dest.filePath(name));
    dest.write(QStringLiteral("new"));
    window.mnuRefresh_Click();
    EXPECT_EQ(rows(), QStringList({"-|new"}));
    EXPECT_EQ(window.pbrMain()->maximum(), 6);
}

TEST_F(Refresh, UnreadableFolderReportsAndLeavesEmptyVisiblePanes) {
    const QString loop = source.filePath(QStringLiteral("loop"));
    ASSERT_EQ(::symlink("loop", QFile::encodeName(loop).constData()), 0);
    dest.write(QStringLiteral("d"));
    window.txtSource()->setText(loop);
    window.mnuRefresh_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(platform.shown[0].style, MsgStyle::Critical);
    EXPECT_TRUE(platform.shown[0].text.startsWith(
        QStringLiteral("An unexpected error has occurred.\n\nError %1: ").arg(ELOOP)));
    EXPECT_TRUE(platform.shown[0].text.contains(loop));
    EXPECT_EQ(window.lvSource()->count(), 0);
    EXPECT_FALSE(window.lvSource()->isHidden()) << "the error came before the panes were hidden";
}

TEST_F(Refresh, FileVanishingBeforeTheWalkEndsTheRefreshWithPanesHidden) {
    for (const char* name : {"a", "b"})
        source.write(QLatin1String(name));
    dest.write(QStringLiteral("c"));
    auto connection = QObject::connect(&window, &Main::foldersScanned, [&] {
        QFile::remove(source.filePath(QStringLiteral("b")));
    });
    window.mnuRefresh_Click();
    QObject::disconnect(connection);
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.contains(QStringLiteral("Error %1: ").arg(ENOENT)));
    EXPECT_TRUE(window.lvSource()->isHidden());
    EXPECT_EQ(window.statusText(), QStringLiteral("Reading folder content. Please wait..."));
    EXPECT_EQ(window.lvSource()->count(), 1) << "rows added so far stay";

    window.mnuRefresh_Click(); // the next refresh recovers
    EXPECT_FALSE(window.lvSource()->isHidden());
    EXPECT_EQ(rows(), QStringList({"a|-", "-|c"}));
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
