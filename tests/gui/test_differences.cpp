#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString nameOf(int i) {
    return QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
}

// A few hundred rows of every status, one side starting with a placeholder,
// columns wider on one side, in a real window that scrolls. A pair is the
// same unless one side lacks it (i % 3 == 1, i % 4 == 2; a name both lack
// makes no row), its sizes differ
// (i % 10 == 0) or Destination's is newer (i % 25 == 5); and one pair
// whose names differ only in case.
class Panes : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        const QDateTime t(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
        (GetParam() ? dest : source).write(QStringLiteral("0 first"));
        differences << QStringLiteral("0 first");
        for (int i = 0; i < 300; ++i) {
            if (i % 3 != 1)
                source.write(nameOf(i), "x", t);
            if (i % 4 != 2)
                dest.write(nameOf(i), i % 10 ? (i % 25 == 5 ? "z" : "x") : "xy",
                           i % 25 == 5 ? t.addSecs(60) : t);
            const bool one = (i % 3 == 1) != (i % 4 == 2), both = i % 3 != 1 && i % 4 != 2;
            if (one || (both && (i % 10 == 0 || i % 25 == 5)))
                differences << nameOf(i);
            if (i == 150) {
                source.write(QStringLiteral("f150 Readme"), "x", t);
                dest.write(QStringLiteral("f150 README"), "x", t);
                differences << QStringLiteral("f150 Readme");
            }
        }
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
        window.mnuRefresh_Click();
        for (int c = 0; c < 4; ++c) {
            s->setColumnWidth(c, c ? 60 : GetParam() ? 900 : 500);
            d->setColumnWidth(c, c ? 60 : GetParam() ? 500 : 900);
        }
        window.resize(700, 400);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        ASSERT_TRUE(QTest::qWaitFor([&] { return level(); }));
    }
    // The name on a row, whichever side has it.
    QString name(int row) const {
        return s->rowText(row).isEmpty() ? d->rowText(row) : s->rowText(row);
    }
    QStringList names() const {
        QStringList out;
        for (int row = 0; row < s->count(); ++row)
            out << name(row);
        return out;
    }
    int rowOf(const QString& n) const { return names().indexOf(n); }
    // The same rows on the same pixel lines, in panes of the same room.
    bool level() const {
        if (s->viewport()->geometry() != d->viewport()->geometry() || s->count() != d->count() ||
            s->verticalScrollBar()->value() != d->verticalScrollBar()->value())
            return false;
        for (int row = s->firstVisibleRow(); row >= 0 && row < s->count(); ++row) {
            const QRect r = s->visualRect(s->rows().index(row, 0));
            const QRect partner = d->visualRect(d->rows().index(row, 0));
            if (r.top() != partner.top() || r.height() != partner.height())
                return false;
            if (r.top() > s->viewport()->height())
                break;
        }
        return true;
    }
    bool inView(const ListPane* pane, int row) const {
        const QRect r = pane->visualRect(pane->rows().index(row, 0));
        return r.top() >= 0 && r.bottom() < pane->viewport()->height();
    }
    void wheel(ListPane* pane, int notches) {
        const QPointF at(20, 20);
        QWheelEvent event(at, pane->viewport()->mapToGlobal(at), {}, QPoint(0, -120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(pane->viewport(), &event);
    }

    ScriptedPlatform platform;
    Main window{platform};
    ListPane* s = window.lvSource();
    ListPane* d = window.lvDest();
    TempTree source, dest;
    QStringList differences;
};

TEST_P(Panes, OnlyDifferencesHideTheSamePairsInBothPanesAtOnce) {
    const int all = s->count();
    const QString summary = window.statusSummary();
    d->setFocus();
    d->setCurrentRow(rowOf(nameOf(3))); // the same on both sides
    d->setRowSelected(rowOf(nameOf(0)), true);
    QTest::keyClick(&window, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(names(), differences);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level(); }));
    EXPECT_EQ(window.statusSummary(), summary) << "counts every row";
    EXPECT_TRUE(window.toolbarButton(QStringLiteral("OnlyDifferences"))->isChecked());
    EXPECT_EQ(name(d->currentRow()), nameOf(4)) << "a hidden current row gives way to the next";
    EXPECT_EQ(d->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(d->isRowSelected(rowOf(nameOf(0))));
    QTest::keyClick(d, Qt::Key_End);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level() && inView(s, s->count() - 1); }));

    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(names(), differences) << "a refresh keeps only the differences";
    EXPECT_EQ(name(d->currentRow()), differences.last());
    window.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
    EXPECT_EQ(s->count(), all);
    EXPECT_FALSE(window.menuEntry(QStringLiteral("mnuViewOnlyDifferences"))->isChecked());
    EXPECT_EQ(name(d->currentRow()), differences.last());
    EXPECT_TRUE(QTest::qWaitFor([&] { return level() && inView(d, d->currentRow()); }));
    s->setCurrentRow(0);
    s->setFocus();
    window.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
    EXPECT_EQ(window.CurrentFolder, source.path()) << "commands stay on the pane in use";
}

// Which row is a difference is the comparison's; the window selects it alone,
// in view in both panes, and beeps at the ends.
TEST_P(Panes, NextAndPreviousDifferenceSelectTheRowAloneInViewAndBeepAtTheEnds) {
    d->setFocus();
    QTest::keyClick(d, Qt::Key_End); // a pair that is the same
    QTest::keyClick(&window, Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(name(d->currentRow()), differences.last());
    d->setCurrentRow(rowOf(differences.first()));
    QTest::keyClick(&window, Qt::Key_Up, Qt::AltModifier);
    EXPECT_TRUE(platform.beeps == 1 && name(d->currentRow()) == differences.first());
    for (const int n : {1, 2}) {
        window.tbrMain_ButtonClick(QStringLiteral("NextDifference"));
        EXPECT_EQ(name(d->currentRow()), differences[n]);
    }
    EXPECT_TRUE(d->selectionModel()->selectedRows().size() == 1 &&
                d->isRowSelected(d->currentRow()));
    QTest::keyClick(d, Qt::Key_Home);
    QTest::keyClick(&window, Qt::Key_Down, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return inView(d, d->currentRow()) && level(); }));
}

TEST_P(Panes, EitherPaneScrollsBothAndKeepsItsCurrentRowInView) {
    s->setFocus();
    QTest::keyClick(s, Qt::Key_End);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level() && inView(s, s->count() - 1); }));
    const int bottom = s->firstVisibleRow();
    wheel(d, -2);
    EXPECT_LT(s->firstVisibleRow(), bottom) << "a wheel in Destination moves Source";
    EXPECT_TRUE(level());
    d->verticalScrollBar()->setValue(5);
    EXPECT_TRUE(s->firstVisibleRow() == 5 && level()) << "and so does its scroll bar";

    d->setFocus();
    d->setCurrentRow(5);
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(d, Qt::Key_PageDown);
        EXPECT_TRUE(QTest::qWaitFor([&] { return inView(d, d->currentRow()) && level(); })) << i;
    }
    EXPECT_GT(d->currentRow(), 20);

    // Sideways too, each as far as its columns go.
    ListPane* wide = GetParam() ? s : d;
    ListPane* narrow = GetParam() ? d : s;
    wide->horizontalScrollBar()->setValue(wide->horizontalScrollBar()->maximum());
    EXPECT_EQ(narrow->horizontalScrollBar()->value(), narrow->horizontalScrollBar()->maximum());
    EXPECT_GT(wide->horizontalScrollBar()->value(), narrow->horizontalScrollBar()->value());
    narrow->horizontalScrollBar()->setValue(10);
    EXPECT_EQ(wide->horizontalScrollBar()->value(), 10);

    window.resize(760, 330);
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->height() < 250 && level(); })) << "a resize";
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_TRUE(QTest::qWaitFor([&] { return level(); })) << "a refresh";
}

TEST_P(Panes, ADragCarriesEverySelectedRowAndNeverTheNextOne) {
    const auto rowAt = [&](int row) {
        return s->visualRect(s->rows().index(row, 0)).adjusted(0, 0, -500, 0); // in the viewport
    };
    QWidget* left = s->viewport();
    const auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(left, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), left->mapToGlobal(QPointF(to)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(left, &move);
        QTest::mouseRelease(left, Qt::LeftButton, {}, to);
    };
    const int first = rowOf(nameOf(2)); // f002, f003, a placeholder, f005, f006
    QTest::mouseClick(left, Qt::LeftButton, {}, rowAt(first).center());
    QTest::mouseClick(left, Qt::LeftButton, Qt::ShiftModifier, rowAt(first + 2).center());
    drag(rowAt(first + 1).center(), rowAt(first + 1).center() + QPoint(1, 1));
    EXPECT_EQ(platform.dragRows, QList<int>({3})) << "at the first move, no threshold";
    EXPECT_EQ(s->selectionModel()->selectedRows().size(), 3);

    const QRect r = rowAt(first + 3);
    drag(QPoint(r.center().x(), r.bottom() - 1), QPoint(r.center().x(), r.bottom() + 3));
    EXPECT_EQ(platform.dragRows, QList<int>({3, 1}));
    EXPECT_FALSE(s->isRowSelected(first + 4)) << "the row below is not picked up";
}

TEST_P(Panes, TypeAheadFindsNamesFromAnyColumnAndSelectNewerCountsAndShows) {
    s->setFocus();
    s->setCurrentIndex(s->rows().index(rowOf(nameOf(3)), 2)); // as a click on the type
    QTest::keyClicks(s, QStringLiteral("f2"));
    EXPECT_TRUE(s->rowText(s->currentRow()).startsWith(QStringLiteral("f2")));

    d->setFocus();
    QTest::keyClick(d, Qt::Key_End);
    window.menuEntry(QStringLiteral("mnuEditSelectNewer"))->trigger();
    const QModelIndexList selected = d->selectionModel()->selectedRows();
    ASSERT_GT(selected.size(), 60);
    int equalTimes = 0; // pairs of other sizes at one time: left to the user
    for (int i = 0; i < 300; i += 10)
        equalTimes += i % 3 != 1 && i % 4 != 2 && i % 25 != 5;
    EXPECT_EQ(window.statusText(),
              QString::fromUtf8("Select Newer: %1 rows newer in Destination or only there \u00b7 "
                                "%2 differ at equal times, not selected")
                  .arg(selected.size())
                  .arg(equalTimes));
    EXPECT_TRUE(QTest::qWaitFor([&] { return inView(d, rowOf(nameOf(1))) && level(); }));
}

INSTANTIATE_TEST_SUITE_P(PlaceholderFirst, Panes, ::testing::Values(false, true),
                         [](const auto& param) { return param.param ? "InSource" : "InDest"; });

} // namespace
