#include "dialogs/sync_mode_dialog.h"
#include "mainwindow/sync_column.h"
#include "support/two_folders.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

namespace {

// A tree of every kind of row for Update Both: alone on either side, newer
// on either side (in a folder both sides have), the same, a pair of equal
// times whose contents differ (a conflict), and enough files alone in Source
// to scroll.
class SyncWindow : public TwoFolders {
protected:
    void SetUp() override {
        TwoFolders::SetUp();
        const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
        source.write(QStringLiteral("left.txt"), "l", t);
        dest.write(QStringLiteral("right.txt"), "r", t);
        for (TempTree* side : {&source, &dest}) {
            side->write(QStringLiteral("same.txt"), "s", t);
            side->write(QStringLiteral("both.txt"), side == &source ? "b1" : "b22", t);
            side->write(QStringLiteral("sub/ln.txt"), side == &source ? "new" : "old",
                        side == &source ? t.addDays(1) : t);
            side->write(QStringLiteral("sub/rn.txt"), side == &source ? "old" : "new",
                        side == &source ? t : t.addDays(1));
        }
        for (int i = 0; i < 60; ++i)
            source.write(QStringLiteral("sub/m%1.txt").arg(i, 2, 10, QLatin1Char('0')), "m", t);
        before[0] = tree(source);
        before[1] = tree(dest);
        window.resize(760, 420);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Every file below a folder with its contents.
    static QStringList tree(const TempTree& side) {
        QStringList out;
        for (QDirIterator it(side.path(), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            QFile f(path);
            (void)f.open(QIODevice::ReadOnly);
            out << QDir(side.path()).relativeFilePath(path) + QLatin1Char('=') + f.readAll();
        }
        out.sort();
        return out;
    }

    // Edit > Synchronize with `mode` chosen in its dialog, as a user does;
    // true once the preview shows, the window having the keys again; false
    // once a message says why none does.
    bool preview(SyncMode mode) {
        platform.dialogActions.push_back([mode](QDialog& d) {
            static_cast<SyncModeDialog&>(d).button(mode)->click();
            d.accept();
        });
        QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
        window.activateWindow();
        return QTest::qWaitFor([&] { return window.syncPreview() || !platform.shown.isEmpty(); }) &&
               window.syncPreview() && QTest::qWaitForWindowActive(&window);
    }

    QString path(int row) const {
        const QString l = left->rows().pathText(row);
        return l.isEmpty() ? right->rows().pathText(row) : l;
    }
    SyncAction action(int row) const { return window.syncPreview()->entries[size_t(row)].action; }
    int rowOf(const QString& p) const {
        for (int row = 0; row < left->count(); ++row) {
            if (path(row) == p)
                return row;
        }
        return -1;
    }

    // What the column shows on a row, read from its pixels: which half of the
    // column holds the ink, and for an arrow, which way its head points.
    static QString markSeen(const QImage& image, const QRect& band) {
        const QRgb background = image.pixel(0, band.top());
        int ink[2] = {};
        for (int y = std::max(band.top(), 0); y <= band.bottom() && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink[x >= image.width() / 2] += image.pixel(x, y) != background;
        if (ink[0] + ink[1] == 0)
            return {};
        if (ink[0] == 0 || ink[1] == 0)
            return ink[0] ? QStringLiteral("x<") : QStringLiteral("x>");
        if (ink[1] > ink[0] * 6 / 5 || ink[0] > ink[1] * 6 / 5)
            return ink[1] > ink[0] ? QStringLiteral("->") : QStringLiteral("<-");
        return QStringLiteral("!");
    }
    static QString markOf(SyncAction a) {
        switch (a) {
        case SyncAction::CopyRight:
            return QStringLiteral("->");
        case SyncAction::CopyLeft:
            return QStringLiteral("<-");
        case SyncAction::DeleteLeft:
            return QStringLiteral("x<");
        case SyncAction::DeleteRight:
            return QStringLiteral("x>");
        case SyncAction::Skip:
            return {};
        default:
            return QStringLiteral("!");
        }
    }
    // Every row in view: the column's band and both panes' row on one line,
    // its mark the row's action.
    void expectMarksFaceRows() {
        SyncColumn* column = window.syncColumn();
        QCoreApplication::processEvents();
        const QImage image = column->grab().toImage();
        int seen = 0;
        for (int row = left->rowAt(0); row >= 0 && row < left->count(); ++row) {
            const QRect l = left->visualRect(left->rows().index(row, 0));
            if (l.bottom() > left->viewport()->height())
                break;
            const QRect r = right->visualRect(right->rows().index(row, 0));
            const QRect band = column->markRect(row);
            const int top = column->mapTo(&window, band.topLeft()).y();
            EXPECT_EQ(top, left->viewport()->mapTo(&window, l.topLeft()).y()) << row;
            EXPECT_EQ(top, right->viewport()->mapTo(&window, r.topLeft()).y()) << row;
            EXPECT_TRUE(band.height() == l.height() && l.height() == r.height()) << row;
            EXPECT_EQ(markSeen(image, band), markOf(action(row))) << path(row).toStdString();
            ++seen;
        }
        EXPECT_GT(seen, 5);
    }

    QStringList before[2];
};

TEST_F(SyncWindow, ThePreviewShowsOnlyThePlansRowsEachMarkFacingItsRowAtAnyScroll) {
    ASSERT_TRUE(preview(SyncMode::UpdateBoth));
    const SyncPlan& plan = *window.syncPreview();
    ASSERT_EQ(left->count(), qsizetype(plan.entries.size()));
    ASSERT_EQ(left->count(), 65); // same.txt and the folder rows are not the plan's
    EXPECT_FALSE(left->isColumnHidden(PaneModel::Folder));
    EXPECT_EQ(rowOf(QStringLiteral("same.txt")), -1);
    EXPECT_TRUE(window.statusSummary().contains(QStringLiteral("1 conflict")));
    expectMarksFaceRows();
    left->verticalScrollBar()->setValue(left->verticalScrollBar()->maximum() / 2 + 1);
    expectMarksFaceRows();
}

TEST_F(SyncWindow, KeysChangeTheSelectedRowsAndTheColumnAndSummaryFollow) {
    ASSERT_TRUE(preview(SyncMode::UpdateBoth));
    // Each key in a pane (Delete: on that pane's side) over two rows
    // selected there that allow every action, and the summary then.
    const std::tuple<QKeySequence, ListPane*, SyncAction, const char*> keys[] = {
        {QKeySequence(Qt::ALT | Qt::Key_Right), left, SyncAction::CopyRight, "64 \u2192"},
        {QKeySequence(Qt::ALT | Qt::Key_Left), left, SyncAction::CopyLeft, "3 \u2190"},
        {Qt::Key_Delete, right, SyncAction::DeleteRight, "2 to the Trash"},
        {Qt::Key_Space, left, SyncAction::Skip, "2 skipped"},
    };
    for (const auto& [key, pane, action, summary] : keys) {
        pane->setFocus();
        pane->clearSelection();
        for (const char* p : {"both.txt", "sub/rn.txt"})
            pane->setRowSelected(rowOf(QLatin1String(p)), true);
        QTest::keySequence(pane, key);
        for (const char* p : {"both.txt", "sub/rn.txt"})
            EXPECT_EQ(this->action(rowOf(QLatin1String(p))), action) << p;
        EXPECT_TRUE(window.statusSummary().contains(QString::fromUtf8(summary)))
            << window.statusSummary().toStdString();
    }
    EXPECT_EQ(platform.beeps, 0);
    expectMarksFaceRows();
    // A key no row chosen allows (no file in Destination to copy back): a beep.
    left->clearSelection();
    left->setRowSelected(rowOf(QStringLiteral("left.txt")), true);
    QTest::keySequence(left, QKeySequence(Qt::ALT | Qt::Key_Left));
    EXPECT_EQ(platform.beeps, 1);
}

TEST_F(SyncWindow, TheRunLeavesChangedFilesAloneNamesThemAndOneUndoRestoresBothTrees) {
    ASSERT_TRUE(preview(SyncMode::UpdateBoth));
    // A file to go rather than to be copied: to the Trash, not asked again.
    right->setFocus();
    right->clearSelection();
    right->setRowSelected(rowOf(QStringLiteral("right.txt")), true);
    QTest::keyClick(right, Qt::Key_Delete);
    // With the Trash off, asked once before anything is done: No keeps the preview.
    window.settings().useTrash = 0;
    window.findChild<QPushButton*>(QStringLiteral("cmdSyncRun"))->click();
    ASSERT_TRUE(window.syncPreview() && platform.shown.size() == 1);
    EXPECT_TRUE(platform.shown.takeLast().text.contains(QStringLiteral("1 file or folder")));
    window.settings().useTrash = 1;
    // Changed after the preview: never overwritten.
    dest.write(QStringLiteral("sub/ln.txt"), "edited",
               QDateTime(QDate(2024, 2, 3), QTime(5, 0, 0), Qt::UTC));
    before[1] = tree(dest);
    window.findChild<QPushButton*>(QStringLiteral("cmdSyncRun"))->click();
    ASSERT_FALSE(window.syncPreview());
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.contains(QStringLiteral("sub/ln.txt")));
    EXPECT_EQ(dest.read(QStringLiteral("sub/ln.txt")), "edited");
    EXPECT_EQ(source.read(QStringLiteral("sub/rn.txt")), "new");
    QAction* undo = window.menuEntry(QStringLiteral("mnuEditUndo"));
    EXPECT_EQ(undo->text(), QStringLiteral("&Undo Synchronize of 63 Files"));
    undo->trigger();
    EXPECT_EQ(tree(source), before[0]);
    EXPECT_EQ(tree(dest), before[1]);
}

TEST_F(SyncWindow, EscapeOrARefreshLeavesThePreviewForTheNormalView) {
    ASSERT_TRUE(preview(SyncMode::Mirror));
    QTest::keyClick(left, Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.syncPreview(); }));
    EXPECT_FALSE(window.syncColumn()->isVisible());
    EXPECT_TRUE(left->isColumnHidden(PaneModel::Folder));
    EXPECT_EQ(rows(), QStringList({"sub|sub", "both.txt|both.txt", "left.txt|-", "-|right.txt",
                                   "same.txt|same.txt"}));
    // So does a refresh, as every command that changes files ends.
    ASSERT_TRUE(preview(SyncMode::Mirror));
    QTest::keyClick(left, Qt::Key_F5);
    EXPECT_FALSE(window.syncPreview() || window.syncColumn()->isVisible());
    EXPECT_TRUE(left->isColumnHidden(PaneModel::Folder));
}

} // namespace
