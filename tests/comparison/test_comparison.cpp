#include "comparison/comparison.h"
#include "support/shown_rows.h"
#include "support/temp_tree.h"

#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Compared : public ::testing::Test {
protected:
    static QByteArray folder(const TempTree& tree) { return QFile::encodeName(tree.path()) + '/'; }
    // One refresh as the window runs it: the rows shown, null when stopped.
    std::shared_ptr<FolderRows> refresh() {
        const std::shared_ptr<FolderRows> kept = c.beginRead(folder(source), folder(dest));
        const std::shared_ptr<FolderRows> read = kept ? kept : c.read();
        if (read) {
            c.showRows(read);
            c.readShown(kept != nullptr);
        }
        return read;
    }
    QStringList rows() { return shownRows(c.visibleRows()); }
    bool checked() {
        return QTest::qWaitFor([&] { return !c.contentCheckRunning(); }, 60000);
    }
    TempTree source, dest;
    Comparison c;
};

// The walk held before it enters "c": the rows of "a" and "b" are there, each
// facing its partner; a stop there leaves no rows.
TEST_F(Compared, FlattenedRowsComeAsTheTreesAreWalkedAndAStopEndsWithNone) {
    for (TempTree* side : {&source, &dest}) {
        for (const char* name : {"a/1.txt", "b/2.txt", "c/3.txt"})
            side->write(QLatin1String(name), "x");
    }
    dest.write(QStringLiteral("b/new.txt"));
    std::atomic<bool> held{false}, go{false};
    c.treeOptions.beforeEntering = [&](const QByteArray& s, const QByteArray&) {
        held = s.endsWith("/c/");
        if (held)
            go.wait(false);
    };
    // Looked at each tick of the read: once held, the rows so far and the
    // progress; then the walk goes on, or is stopped (Escape, a new refresh).
    QStringList whileHeld;
    std::pair<qint64, qint64> progress;
    bool stop = false;
    QObject::connect(&c, &Comparison::reading, &c,
                     [&, ticks = 0](qint64 folders, qint64 entries) mutable {
                         if (go)
                             return;
                         whileHeld = rows();
                         progress = {folders, entries};
                         if (!(held && whileHeld.size() == 3) && ++ticks < 1500)
                             return;
                         if (stop)
                             c.cancelRead();
                         go = true;
                         go.notify_all();
                     });
    c.setFlattened(true);
    ASSERT_NE(refresh(), nullptr);
    EXPECT_EQ(whileHeld, QStringList({"a/1.txt|a/1.txt", "b/2.txt|b/2.txt", "-|b/new.txt"}));
    // The top, "a" and "b" read: all their entries, "." and ".." too, counted
    // however few a folder holds.
    EXPECT_EQ(progress, (std::pair<qint64, qint64>(3, 23)));
    EXPECT_EQ(rows(), QStringList({"a/1.txt|a/1.txt", "b/2.txt|b/2.txt", "-|b/new.txt",
                                   "c/3.txt|c/3.txt"}));

    go = held = false;
    stop = true;
    EXPECT_FALSE(refresh());
    EXPECT_FALSE(c.rows());
}

TEST_F(Compared, FlattenToggledBackShowsTheOtherViewUnreadUntilAnythingIsRead) {
    for (TempTree* side : {&source, &dest})
        side->write(QStringLiteral("a/x.txt"), "x");
    source.write(QStringLiteral("top.txt"));
    const auto toggle = [&] {
        EXPECT_TRUE(checked()) << "rows are kept once their checks have ended";
        c.setFlattened(!c.flattened());
        c.flattenToggled();
        return refresh();
    };
    c.setFlattened(true);
    const std::shared_ptr<FolderRows> flat = refresh();
    const std::shared_ptr<FolderRows> level = toggle();
    EXPECT_EQ(rows(), QStringList({"a|a", "top.txt|-"}));
    EXPECT_EQ(toggle().get(), flat.get());
    EXPECT_EQ(toggle().get(), level.get());
    EXPECT_EQ(toggle().get(), flat.get());

    dest.write(QStringLiteral("a/late.txt"));
    refresh(); // F5: neither view is kept
    EXPECT_NE(toggle().get(), level.get());
    EXPECT_EQ(rows(), QStringList({"a|a", "top.txt|-"}));
    EXPECT_NE(toggle().get(), flat.get());
    EXPECT_TRUE(rows().contains(QStringLiteral("-|a/late.txt")));
}

TEST_F(Compared, TheContentCheckSettlesEachPairAndARefreshDropsWhatACancelledRunSays) {
    const QDateTime t(QDate(2023, 3, 3), QTime(3, 3, 3), Qt::UTC);
    // A difference in the last byte of one pair out of many.
    const QByteArray body(70000, 'b');
    for (int i = 0; i < 300; ++i) {
        const QString name = QString::number(1000 + i);
        source.write(name, body, t);
        dest.write(name, i == 0 ? body.left(69999) + 'c' : body, t);
    }
    c.setOnlyDifferences(true);
    refresh();
    EXPECT_TRUE(c.summary().startsWith(QStringLiteral("Comparing contents: 0 of 300")));
    ASSERT_TRUE(checked());
    EXPECT_EQ(c.summary(), QString::fromUtf8("299 same \u00b7 1 differ"));
    EXPECT_EQ(rows(), QStringList({"1000|1000"})) << "the pair found to differ, alone in view";
    EXPECT_EQ(c.visibleRows().status(0), RowStatus::Differs);
    EXPECT_TRUE(c.nextDifference(-1, -1) == 0 && c.nextDifference(0, 1) == -1);
    c.setOnlyDifferences(false);
    EXPECT_TRUE(c.visibleRows().count() == 300 && c.nextDifference(-1, 1) == 0 &&
                c.nextDifference(0, 1) == -1 && c.nextDifference(299, -1) == 0)
        << "every row shown, Next Difference steps over the same pairs";

    // Now every pair differs; a refresh mid-way drops what the cancelled run had to say.
    for (int i = 1; i < 300; ++i)
        dest.write(QString::number(1000 + i), body.left(69999) + 'c', t);
    c.setOnlyDifferences(true);
    refresh();
    ASSERT_TRUE(QTest::qWaitFor([&] { return c.summary().contains(QStringLiteral(" differ")); }));
    c.setCompareContents(false);
    refresh();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.summary(), QStringLiteral("300 same"));
    EXPECT_EQ(c.visibleRows().count(), 0);
}

} // namespace
