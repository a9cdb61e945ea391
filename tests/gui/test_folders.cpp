#include "base/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"
#include "support/two_folders.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class Folders : public TwoFolders {
protected:
    void SetUp() override {
        TwoFolders::SetUp();
        window.resize(900, 500);
        window.show();
    }
    QString statusTip(int row) const {
        return left->model()->index(row, 0).data(Qt::ToolTipRole).toString();
    }
};

TEST_F(Folders, FolderRowsComeFirstPairedAndAlignedAndTheOptionTakesThemAway) {
    source.mkdir(QStringLiteral("b"));
    source.mkdir(QStringLiteral("only-left"));
    source.mkdir(QStringLiteral(".hidden"));
    dest.mkdir(QStringLiteral("b"));
    dest.mkdir(QStringLiteral("only-right"));
    source.write(QStringLiteral("a.txt"), "1");
    dest.write(QStringLiteral("a.txt"), "1");
    // A folder and a file of one name are two rows, never a pair.
    source.mkdir(QStringLiteral("same"));
    dest.write(QStringLiteral("same"), "file");
    window.mnuRefresh_Click();

    EXPECT_EQ(rows(), QStringList({"b|b", "only-left|-", "-|only-right", "same|-", "a.txt|a.txt",
                                   "-|same"}));
    EXPECT_TRUE(left->rows().isFolder(0));
    EXPECT_FALSE(left->rows().isFolder(4));
    EXPECT_EQ(left->rows().subItem(0, PaneModel::Type), QStringLiteral("Folder"));
    EXPECT_EQ(left->rows().subItem(0, PaneModel::Size), QString());
    EXPECT_FALSE(left->rows().subItem(0, PaneModel::Modified).isEmpty());
    EXPECT_GT(left->rows().smallIcon(0), 0);
    // On a real X server too, each pair shares its line.
    for (int row = 0; row < left->count(); ++row)
        EXPECT_EQ(left->visualRect(left->model()->index(row, 0)).top(),
                  right->visualRect(right->model()->index(row, 0)).top());

    window.menuEntry(QStringLiteral("mnuShowSubfolders"))->trigger();
    EXPECT_EQ(rows(), QStringList({"a.txt|a.txt", "-|same"}));
}

TEST_F(Folders, ADifferenceDeepDownShowsOnTheTopFolderRow) {
    source.write(QStringLiteral("top/one/two/f.txt"), "aaa");
    dest.write(QStringLiteral("top/one/two/f.txt"), "bbbb");
    source.write(QStringLiteral("equal/x/g.txt"), "g");
    dest.write(QStringLiteral("equal/x/g.txt"), "g");
    const QDateTime t(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    source.write(QStringLiteral("equal/x/g.txt"), "g", t);
    dest.write(QStringLiteral("equal/x/g.txt"), "g", t);
    window.mnuRefresh_Click();

    ASSERT_EQ(rows(), QStringList({"equal|equal", "top|top"}));
    left->setCurrentRow(1);
    window.lvSource_GotFocus();
    EXPECT_TRUE(window.filesToCompare().isEmpty()) << "folders are walked, never diffed as files";
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return left->rows().status(1) == std::optional(RowStatus::Differs); }));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return left->rows().status(0) == std::optional(RowStatus::Same); }));
    EXPECT_EQ(statusTip(1), rowStatusWords(RowStatus::Differs));
}

TEST_F(Folders, BothPanesStepInAndOutTogether) {
    source.write(QStringLiteral("a/inner.txt"), "1");
    dest.write(QStringLiteral("a/inner.txt"), "1");
    source.write(QStringLiteral("left-only/x.txt"), "1");
    source.write(QStringLiteral("z.txt"), "z");
    window.mnuRefresh_Click();
    ASSERT_EQ(rows(), QStringList({"a|a", "left-only|-", "z.txt|-"}));

    // Enter on a folder row opens it in both panes.
    right->setFocus();
    right->setCurrentRow(0);
    window.lvDest_GotFocus();
    QTest::keyClick(right, Qt::Key_Return);
    EXPECT_EQ(window.txtSource()->text(), source.filePath(QStringLiteral("a")));
    EXPECT_EQ(window.txtDest()->text(), dest.filePath(QStringLiteral("a")));
    EXPECT_EQ(rows(), QStringList({"inner.txt|inner.txt"}));

    // Backspace goes back, the folder left current again.
    QTest::keyClick(right, Qt::Key_Backspace);
    EXPECT_EQ(window.txtDest()->text(), dest.path());
    EXPECT_EQ(right->currentRow(), 0);

    // A folder on one side only: the other pane is empty and says why.
    left->setFocus();
    window.lvSource_GotFocus();
    left->setCurrentRow(1);
    window.lvSource_DblClick();
    EXPECT_EQ(rows(), QStringList({"x.txt|-"}));
    EXPECT_EQ(window.txtDest()->toolTip(), QStringLiteral("not in Destination"));
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("not in Destination")));
    EXPECT_TRUE(window.txtSource()->toolTip().isEmpty());

    window.menuEntry(QStringLiteral("mnuUpOneLevel"))->trigger();
    EXPECT_EQ(left->currentRow(), 1);
    EXPECT_TRUE(left->isRowSelected(1));
    EXPECT_TRUE(window.txtDest()->toolTip().isEmpty());
    EXPECT_FALSE(window.statusText().contains(QStringLiteral("not in")));

    // At the top of the file system there is nowhere to go.
    window.txtSource()->setText(QStringLiteral("/"));
    const int beeps = platform.beeps;
    window.mnuUpOneLevel_Click();
    EXPECT_EQ(platform.beeps, beeps + 1);
    EXPECT_EQ(window.txtSource()->text(), QStringLiteral("/"));
}

TEST_F(Folders, AFolderTypedIntoAFolderBoxIsTakenOnlyWhenItIsAFolder) {
    source.write(QStringLiteral("sub/in.txt"), "1");
    source.write(QStringLiteral("file.txt"), "1");
    window.mnuRefresh_Click();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* box = window.txtSource();
    QTest::mouseClick(box, Qt::LeftButton);
    auto* entry = box->findChild<QLineEdit*>();
    ASSERT_TRUE(entry && entry->isVisible() && entry->hasFocus());
    EXPECT_EQ(entry->text(), source.path());

    // Not a folder: said in the status bar; the box keeps its folder and
    // the text stays for a correction.
    for (const char* typed : {"/no/such/folder", "file.txt"}) {
        entry->setText(QString::fromUtf8(typed));
        QTest::keyClick(entry, Qt::Key_Return);
        EXPECT_EQ(box->text(), source.path());
        EXPECT_TRUE(entry->isVisible());
        EXPECT_TRUE(
            window.statusText().contains(typed[0] == '/' ? "does not exist" : "is not a folder"))
            << window.statusText().toStdString();
    }
    EXPECT_EQ(rows(), QStringList({"sub|-", "file.txt|-"}));
    // Escape puts the folder back, with nothing read again.
    QTest::keyClick(entry, Qt::Key_Escape);
    EXPECT_FALSE(entry->isVisible());
    EXPECT_EQ(box->text(), source.path());

    // A folder, relative to the box's own: taken, and both panes read again.
    // Ctrl+L opens the box of the pane last in use.
    window.lvSource_GotFocus();
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(entry->isVisible());
    entry->setText(QStringLiteral("sub/."));
    QTest::keyClick(entry, Qt::Key_Return);
    EXPECT_FALSE(entry->isVisible());
    EXPECT_EQ(box->text(), source.filePath(QStringLiteral("sub")));
    EXPECT_EQ(rows(), QStringList({"in.txt|-"}));
}

TEST_F(Folders, FlattenedTreesListEveryFileFacingItsPartnerAndFindRowsByTheirPath) {
    const QDateTime t(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC);
    for (TempTree* side : {&source, &dest}) {
        side->write(QStringLiteral("top.txt"), "t", t);
        side->write(QStringLiteral("a/b/y.txt"), "y", t);
        side->write(QStringLiteral("a/x.txt"), side == &source ? "x" : "xx", t);
    }
    source.write(QStringLiteral("only-left/deep/z.txt"), "z");
    dest.write(QStringLiteral("a/new.txt"), "n");
    const auto paths = [this] {
        QStringList out;
        for (int i = 0; i < left->count(); ++i) {
            const QString l = left->rows().pathText(i), r = right->rows().pathText(i);
            out << (l.isEmpty() ? QStringLiteral("-") : l) + QLatin1Char('|') +
                       (r.isEmpty() ? QStringLiteral("-") : r);
        }
        return out;
    };
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    EXPECT_TRUE(window.toolbarButton(QStringLiteral("Flatten"))->isChecked());
    // A folder on one side is one row; folders on both give their files'.
    ASSERT_EQ(paths(), QStringList({"only-left|-", "top.txt|top.txt", "-|a/new.txt",
                                    "a/x.txt|a/x.txt", "a/b/y.txt|a/b/y.txt"}));
    EXPECT_EQ(rows(), QStringList({"only-left|-", "top.txt|top.txt", "-|new.txt", "x.txt|x.txt",
                                   "y.txt|y.txt"}));
    EXPECT_EQ(right->rows().subItem(4, PaneModel::Folder), QStringLiteral("a/b"));
    EXPECT_TRUE(left->rows().isFolder(0));
    // Each pair faces its partner, the Folder column shown first.
    EXPECT_FALSE(left->isColumnHidden(PaneModel::Folder));
    EXPECT_EQ(left->horizontalHeader()->visualIndex(PaneModel::Folder), 0);
    for (int row = 0; row < left->count(); ++row) {
        for (const int column : {int(PaneModel::Folder), int(PaneModel::Name)}) {
            const QRect l = left->visualRect(left->model()->index(row, column));
            const QRect r = right->visualRect(right->model()->index(row, column));
            EXPECT_TRUE(l.top() == r.top() && l.height() == r.height() && l.height() > 0) << row;
        }
    }
    // Type-ahead finds a row by its relative path.
    left->setFocus();
    left->setCurrentRow(0);
    left->keyboardSearch(QStringLiteral("a/b/"));
    EXPECT_EQ(left->currentRow(), 4);
    // With only the differences: the changed files of the whole tree.
    window.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return paths() == QStringList({"only-left|-", "-|a/new.txt", "a/x.txt|a/x.txt"});
    }));
    window.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
    // A rename stays in the row's own folder.
    left->setCurrentRow(3);
    window.lvSource_GotFocus();
    int cancel = 0;
    window.lvSource_BeforeLabelEdit(cancel);
    window.lvSource_AfterLabelEdit(cancel, QStringLiteral("x2.txt"));
    EXPECT_TRUE(QFileInfo::exists(source.filePath(QStringLiteral("a/x2.txt"))));
    window.tbrMain_ButtonClick(QStringLiteral("Flatten"));
    EXPECT_TRUE(left->isColumnHidden(PaneModel::Folder));
    EXPECT_EQ(rows(), QStringList({"a|a", "only-left|-", "top.txt|top.txt"}));
}

// The walk held before it enters "c": while the rows come in, the reading's
// progress shows and the row the user goes to stays current.
TEST_F(Folders, TheFlattenedViewFillsWhileTheTreesAreWalkedShowingItsProgress) {
    for (TempTree* side : {&source, &dest}) {
        for (const char* name : {"a/1.txt", "b/2.txt", "c/3.txt"})
            side->write(QLatin1String(name), "x");
    }
    std::atomic<bool> held{false}, go{false};
    window.comparison().treeOptions.beforeEntering = [&](const QByteArray& s, const QByteArray&) {
        held = s.endsWith("/c/");
        if (held)
            go.wait(false);
    };
    window.mnuRefresh_Click();
    QTimer::singleShot(0, [&] {
        const QString read =
            QStringLiteral("Reading folders: 3 folders, 22 entries read. Esc stops.");
        // Generous: a loaded machine may take seconds to reach the hold.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return held && left->count() == 2 && window.statusText() == read; }, 60000))
            << window.statusText().toStdString() << " held " << held << " rows " << left->count();
        left->setCurrentRow(1);
        go = true;
        go.notify_all();
    });
    window.menuEntry(QStringLiteral("mnuFlatten"))->trigger();
    EXPECT_EQ(rows(), QStringList({"1.txt|1.txt", "2.txt|2.txt", "3.txt|3.txt"}));
    EXPECT_EQ(left->currentRow(), 1);
}

TEST_F(Folders, CopyToRightCarriesRowsToTheirPlaceMakingTheFoldersAboveLikeTheSource) {
    const QDateTime t(QDate(2023, 3, 4), QTime(5, 6, 7), Qt::UTC);
    for (TempTree* side : {&source, &dest})
        side->write(QStringLiteral("p/q/keep.txt"), "k", t);
    source.write(QStringLiteral("p/q/f.txt"), "new", t);
    source.write(QStringLiteral("top.txt"), "top", t);
    const QByteArray q = QFile::encodeName(source.filePath(QStringLiteral("p/q")));
    ::chmod(q.constData(), 0750);
    const timespec old[2] = {{1000000, 0}, {1000000, 0}};
    ::utimensat(AT_FDCWD, q.constData(), old, 0);
    window.menuEntry(QStringLiteral("mnuFlatten"))->trigger();
    ASSERT_EQ(rows(), QStringList({"top.txt|-", "f.txt|-", "keep.txt|keep.txt"}));
    // Gone from the right since it was read: its folders are made again.
    ASSERT_TRUE(QDir(dest.filePath(QStringLiteral("p"))).removeRecursively());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    right->setFocus();
    window.lvDest_GotFocus();
    right->selectAll();
    QTest::keyClick(&window, Qt::Key_Right, Qt::AltModifier);

    EXPECT_EQ(rows(), QStringList({"top.txt|top.txt", "f.txt|f.txt", "keep.txt|keep.txt"}));
    struct stat made {};
    ASSERT_EQ(::stat(QFile::encodeName(dest.filePath(QStringLiteral("p/q"))).constData(), &made),
              0);
    EXPECT_EQ(made.st_mode & 07777, 0750u);
    EXPECT_EQ(made.st_mtime, 1000000);
    EXPECT_EQ(window.undoJournal().undoTitle(), QStringLiteral("Copy to Right of 3 Files"));
    window.mnuEditUndo_Click();
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("p"))));
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("top.txt"))));
    // In the usual view a row goes into the other pane's folder.
    window.menuEntry(QStringLiteral("mnuFlatten"))->trigger();
    window.lvSource_GotFocus();
    left->selectAll();
    window.mnuEditCopyToRight_Click();
    EXPECT_EQ(rows(), QStringList({"p|p", "top.txt|top.txt"}));
}

} // namespace
