#include "base/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_selection.h"
#include "support/file_faults.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The window over two real folders, with scripted answers.
class WindowTest : public ::testing::Test {
protected:
    void refresh(const QString& sourceText, const QString& destText) {
        window.txtSource()->setText(sourceText);
        window.txtDest()->setText(destText);
        window.mnuRefresh_Click();
    }
    // Makes `current` the pane's current row and selects `rows` only.
    static void select(ListPane* pane, std::initializer_list<int> rows, int current = 0) {
        pane->setCurrentRow(current);
        pane->clearSelection();
        for (int row : rows)
            pane->setRowSelected(row, true);
    }
    static QStringList texts(const ListPane* pane) {
        QStringList out;
        for (int i = 0; i < pane->count(); ++i)
            out << pane->rowText(i);
        return out;
    }
    QList<int> styles() const { return platform.styles(); }
    // A left-button move on the pane: a drag of its selected rows begins.
    void drag(const ListPane* pane) {
        pane == window.lvSource() ? window.lvSource_MouseMove(1, 0, 0, 0)
                                  : window.lvDest_MouseMove(1, 0, 0, 0);
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

QStringList entryTexts(const Main& w) {
    QStringList out;
    for (const ClipboardEntry& e : w.ClipboardFiles)
        out << e.text();
    return out;
}

TEST_F(WindowTest, CutCopyAndSelectionWorkOnTheActivePane) {
    for (const char* name : {"a", "c"})
        source.write(name);
    dest.write("b");
    refresh(source.path(), dest.path() + "/"); // rows a|-, -|b, c|-
    QAction* paste = window.menuEntry("mnuEditPaste");
    window.trmPaste_Timer();
    EXPECT_FALSE(paste->isEnabled()) << "nothing cut or copied yet";
    select(window.lvSource(), {0, 1, 2});
    window.mnuEditCopy_Click();
    EXPECT_EQ(window.ClipboardMode, 2);
    EXPECT_TRUE(paste->isEnabled()) << "no timer runs: Paste follows the copy at once";
    const QString s = source.path() + "\r\n";
    EXPECT_EQ(entryTexts(window), QStringList({"", s + "a", s + "c"})) << "no gap, no placeholder";
    window.lvDest_GotFocus();
    window.mnuEditCut_Click();
    EXPECT_EQ(window.ClipboardMode, 1);
    EXPECT_EQ(entryTexts(window), QStringList({""})) << "nothing selected in the Destination pane";
    window.trmPaste_Timer();
    EXPECT_TRUE(paste->isEnabled() && window.toolbarButton("Paste")->isEnabled());
    window.mnuEditDSelectAll_Click();
    EXPECT_EQ(window.lvDest()->selectionModel()->selectedRows().size(), 3) << "placeholders too";
    window.lvDest()->setRowSelected(0, false);
    window.mnuEditInvertSelection_Click();
    EXPECT_TRUE(window.lvDest()->isRowSelected(0) && !window.lvDest()->isRowSelected(2));
    window.mnuEditInvertSelection_Click();
    EXPECT_EQ(window.lvDest()->selectionModel()->selectedRows().size(), 2);
}

TEST_F(WindowTest, SelectNewerThenCopyAndPasteUpdatesTheOtherSide) {
    const QDateTime t(QDate(2022, 2, 2), QTime(2, 2, 2), Qt::UTC);
    // Rows: a newer in Source, b same, c Source only, d Destination only,
    // e newer in Destination, f equal times and different sizes.
    for (const auto& [name, size, age] :
         {std::tuple{"a", 1, 9}, {"b", 2, 0}, {"c", 3, 0}, {"e", 4, 0}, {"f", 5, 0}})
        source.write(name, QByteArray(size, *name == 'b' ? 'b' : 's'), t.addSecs(age));
    for (const auto& [name, size, age] :
         {std::tuple{"a", 1, 0}, {"b", 2, 0}, {"d", 3, 0}, {"e", 4, 9}, {"f", 6, 0}})
        dest.write(name, QByteArray(size, *name == 'b' ? 'b' : 'd'), t.addSecs(age));
    refresh(source.path(), dest.path());
    window.lvDest_GotFocus();
    window.mnuEditSelectNewer_Click();
    EXPECT_EQ(selectedRowFlags(*window.lvDest()), std::vector<char>({0, 0, 0, 1, 1, 0}));
    window.lvSource_GotFocus();
    select(window.lvSource(), {1, 5});
    window.menuEntry("mnuEditSelectNewer")->trigger();
    EXPECT_EQ(selectedRowFlags(*window.lvSource()), std::vector<char>({1, 0, 1, 0, 0, 0}))
        << "the earlier selection is gone";
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::Yes};
    window.mnuEditPaste_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.contentCheckRunning(); }, 60000));
    EXPECT_EQ(window.statusSummary(),
              QString::fromUtf8("3 same \u00b7 1 newer in Destination \u00b7 1 differ \u00b7 1 "
                                "only in Destination"));
}

TEST_F(WindowTest, IntoItsOwnFolderTakesTheFirstFreeCopyName) {
    source.write("a.txt", "A");
    source.mkdir("Copy (2) of a.txt"); // a folder takes the name too
    refresh(source.path() + "/", dest.path());
    select(window.lvSource(), {1}); // after the folder's row
    window.mnuEditCopy_Click();
    window.txtSource()->setText(source.path()); // no trailing "/": still the same folder
    window.mnuEditPaste_Click();
    window.mnuEditPaste_Click();
    EXPECT_EQ(texts(window.lvSource()),
              QStringList({"Copy (2) of a.txt", "a.txt", "Copy (3) of a.txt", "Copy of a.txt"}));
    EXPECT_TRUE(platform.shown.isEmpty()) << "the same folder never asks";
}

TEST_F(WindowTest, AsksBeforeReplacingFileByFileAndMovesOnlyWhatWasCopied) {
    const QDateTime older(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    const QDateTime newer(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC);
    for (const char* name : {".hidden", "a", "b", "ro"}) {
        source.write(name, QByteArray(1234, 'n'), newer);
        dest.write(name, "old", older);
    }
    source.write("free", "free");
    source.writeRaw("\xff name", "raw");
    ::chmod(dest.at("ro").path().constData(), 0444);
    window.settings().showHidden = true;
    refresh(source.path(), dest.path());
    select(window.lvSource(), {0, 1, 2, 3, 4, 5}); // .hidden, \xFF name, a, b, free, ro
    window.mnuEditCut_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
    window.mnuEditPaste_Click();
    ASSERT_EQ(styles(), QList<int>({39, 39, 39, 36, 16})) << "ro: asked, then refused";
    EXPECT_EQ(platform.beeps, 5) << "one before each prompt, one with the failure";
    const QString file = "\r\n\r\n%1/a\r\n\r\n         Size: %2 bytes\r\n         Modified: %3";
    EXPECT_EQ(platform.shown[1].text,
              "The folder " + dest.path() + " already contains a file called a. Do you want to " +
                  "overwrite it?" +
                  file.arg(source.path(), "1,234", "Saturday, March 9, 2024 2:05:00 PM") +
                  file.arg(dest.path(), "3", "Saturday, February 3, 2001 4:05:06 AM") +
                  "\r\n\r\nThe contents differ.");
    for (const char* name : {".hidden", "b", "ro"})
        EXPECT_EQ(dest.read(name), "old") << name << ": No, or read-only";
    EXPECT_EQ(dest.read("a").size(), 1234) << "Yes";
    EXPECT_EQ(dest.read("free"), "free");
    EXPECT_EQ(::unlink(dest.at("\xff name").path().constData()), 0) << "the raw name was moved";
    EXPECT_EQ(texts(window.lvSource()), QStringList({".hidden", "", "", "b", "", "ro"}))
        << "only what was copied left the source";

    // Two empty files hold the same bytes, known unread: the question says so.
    source.write("empty", "", newer);
    dest.write("empty", "", older);
    refresh(source.path(), dest.path());
    window.lvSource_GotFocus();
    select(window.lvSource(), {int(texts(window.lvSource()).indexOf("empty"))});
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::No};
    window.mnuEditPaste_Click();
    EXPECT_TRUE(platform.shown.last().text.endsWith(
        file.arg(dest.path(), "0", "Saturday, February 3, 2001 4:05:06 AM")
            .replace("/a", "/empty") +
        "\r\n\r\nThe two files have the same contents."))
        << platform.shown.last().text.toStdString();
}

TEST_F(WindowTest, AFailedCopyOrAGoneSourceIsToldAndTheRestGoesOnUnlessCancelled) {
    for (const int atB : {Answer::Ok, Answer::Cancel}) {
        for (const char* name : {"a", "b", "c"})
            source.write(name, QByteArray(500000, *name));
        dest.write("a", "old a");
        refresh(source.path(), dest.path());
        window.lvSource_GotFocus();
        select(window.lvSource(), {0, 1, 2});
        window.mnuEditCut_Click();
        QFile::remove(source.filePath("b"));       // gone before the paste
        window.copyOptions = failingAfter(800000); // a goes, c fails midway
        window.lvDest_GotFocus();
        platform.shown.clear();
        platform.answers = {Answer::Yes, atB};
        window.mnuEditPaste_Click();
        if (atB == Answer::Cancel) {
            EXPECT_EQ(styles(), QList<int>({39, 17})) << "c is not tried";
        } else {
            EXPECT_EQ(styles(), QList<int>({39, 17, 16})) << "a asked; b gone; c: write failed";
            EXPECT_TRUE(platform.shown[2].text.contains("No space left on device"));
        }
        EXPECT_TRUE(platform.shown[1].text.startsWith(source.path() + "/b could not"));
        EXPECT_EQ(source.read("c"), QByteArray(500000, 'c')) << "a failed copy keeps its source";
        EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a"}));
        EXPECT_EQ(texts(window.lvSource()), QStringList({"", "c"}));
    }
}

TEST_F(WindowTest, DropCopiesTheSelectedRowsOfTheOtherPaneOnly) {
    for (const char* name : {".b", "a", "b", "c"})
        source.write(name, name);
    dest.write(".b", "hidden");
    window.settings().showHidden = true;
    refresh(source.path(), dest.path() + "/"); // .b a b c
    select(window.lvSource(), {0, 1, 3});
    drag(window.lvSource());
    window.lvSource_DragDrop("lvSource", 0, 0); // onto itself
    source.write("d");
    window.lvDest_DragDrop("lvDest", 0, 0); // not the other pane
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(window.lvSource()->rowText(4), "d") << "still refreshed";
    EXPECT_TRUE(QDir(dest.path()).entryList(QDir::Files).isEmpty());
    select(window.lvSource(), {0, 1, 3});
    drag(window.lvSource());
    window.lvDest_DragDrop("lvSource", 0, 0);
    ASSERT_EQ(styles(), QList<int>({39})) << "the hidden file counts as existing";
    EXPECT_EQ(platform.beeps, 0) << "a drop does not beep";
    EXPECT_TRUE(platform.shown[0].text.startsWith("The folder " + dest.path() + "/ already"));
    EXPECT_EQ(dest.read(".b"), "hidden") << "No";
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files), QStringList({"a", "c"}));
    EXPECT_EQ(source.read("a"), "a") << "a drop never moves";
    // A refresh tells where a file set aside by a move that did not finish is now.
    source.write(".duoscope-move-Qq11qq-a", "set aside");
    window.mnuRefresh_Click();
    ASSERT_EQ(styles(), QList<int>({39, 64}));
    EXPECT_TRUE(platform.shown[1].text.endsWith("kept as " + source.filePath("Copy of a") + "."));
    EXPECT_TRUE(texts(window.lvSource()).contains("Copy of a"));
}

TEST_F(WindowTest, AnswersForAllHoldForTheRestOfOneCommandOnly) {
    const auto fill = [this] {
        for (const char* name : {"a", "b", "c", "d"}) {
            source.write(name, "new");
            dest.write(name, "old");
        }
    };
    const auto contents = [this] {
        QByteArray out;
        for (const char* name : {"a", "b", "c", "d"})
            out += dest.read(name).front();
        return out;
    };
    fill();
    refresh(source.path(), dest.path());
    window.mnuEditDSelectAll_Click();
    window.mnuEditCut_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::No, Answer::YesToAll};
    window.mnuEditPaste_Click();
    EXPECT_EQ(styles(), QList<int>({39, 39}));
    EXPECT_EQ(platform.beeps, 2) << "no beep without a question";
    EXPECT_EQ(contents(), "onnn");
    EXPECT_EQ(texts(window.lvSource()), QStringList({"a", "", "", ""})) << "what was moved left";
    fill();
    refresh(source.path(), dest.path());
    window.lvSource_GotFocus();
    window.mnuEditDSelectAll_Click();
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    for (const auto& [answers, shown, after] :
         {std::tuple{std::deque<int>{Answer::NoToAll}, QList<int>{39}, "oooo"},
          {{Answer::Yes, Answer::Cancel}, {39, 39}, "nooo"},
          {{Answer::No, Answer::No, Answer::No, Answer::Yes}, {39, 39, 39, 36}, "ooon"}}) {
        fill();
        platform.shown.clear();
        platform.answers = answers;
        window.mnuEditPaste_Click();
        EXPECT_EQ(styles(), shown) << "a new command asks again; the last file has two buttons";
        EXPECT_EQ(contents(), after);
    }
    select(window.lvSource(), {2, 3});
    drag(window.lvSource());
    platform.shown.clear();
    platform.answers = {Answer::NoToAll};
    window.lvDest_DragDrop("lvSource", 0, 0);
    EXPECT_EQ(styles(), QList<int>({39})) << "a drop offers them too";
}

TEST_F(WindowTest, FolderRowsAreCopiedDroppedAndDeletedWhole) {
    source.write("f/a", "a");
    source.write("f/sub/b", "b");
    ::symlink("f", source.at("lf").path().constData());
    refresh(source.path(), dest.path()); // f, lf: folder rows
    ASSERT_EQ(texts(window.lvSource()), QStringList({"f", "lf"}));
    select(window.lvSource(), {0});
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    window.mnuEditPaste_Click();
    EXPECT_EQ(dest.read("f/sub/b"), "b");
    // Times and all came along: the walk after the paste finds both trees the same.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window.lvSource()->rows().status(0) == std::optional(RowStatus::Same); }));
    select(window.lvSource(), {1});
    drag(window.lvSource());
    window.lvDest_DragDrop("lvSource", 0, 0);
    EXPECT_EQ(QFile::symLinkTarget(dest.filePath("lf")), dest.filePath("f")) << "as a link";
    window.lvDest_ItemClick(0);
    select(window.lvDest(), {0});
    platform.answers = {Answer::Yes};
    window.mnuDelete_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.shown[0].text,
              "Are you sure you want to delete " + dest.filePath("f") + " and the 2 files in it?");
    EXPECT_FALSE(QFile::exists(dest.filePath("f")));
    window.menuEntry("mnuEditUndo")->trigger();
    EXPECT_EQ(dest.read("f/a"), "a");
}

TEST_F(WindowTest, RenameGoesThroughTheLabelEditAndNeverReplaces) {
    source.write("a.txt", "A");
    dest.write("a.txt", "dest");
    dest.write("b.txt", "B");
    dest.writeRaw("\xe9t\xe9", "raw");
    refresh(source.path(), dest.path());
    window.lvDest_GotFocus();
    select(window.lvDest(), {}, int(texts(window.lvDest()).indexOf("a.txt")));
    window.lvSource_ItemClick(int(texts(window.lvSource()).indexOf("a.txt")));
    window.mnuRename_Click(); // the active pane's current row, whichever pane was clicked
    auto* editor = window.lvDest()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("A.TXT");
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(dest.filePath("A.TXT")); }));
    EXPECT_TRUE(platform.opened.isEmpty()) << "the Enter that ends a rename opens nothing";
    int cancel = 0;
    window.lvDest()->setCurrentRow(int(texts(window.lvDest()).indexOf("\\xE9t\\xE9")));
    window.lvDest_BeforeLabelEdit(cancel);
    window.lvDest_AfterLabelEdit(cancel, "ete");
    EXPECT_EQ(dest.read("ete"), "raw");
    const int row = int(texts(window.lvDest()).indexOf("A.TXT"));
    window.lvDest()->setCurrentRow(row);
    // The bytes typed are checked, escapes included: none moves the file elsewhere or cuts its
    // name.
    for (const QString& bad :
         QStringList{"b.txt", "", ".", "..", "x/y", "..\\x2F..\\x2Fescaped.txt",
                     "trunc\\x00ated.txt", QString(256, 'n')}) {
        cancel = 0;
        window.lvDest_BeforeLabelEdit(cancel);
        window.lvDest_AfterLabelEdit(cancel, bad);
        EXPECT_EQ(cancel, -1) << bad.toStdString();
    }
    EXPECT_EQ(styles(), QList<int>(8, 16));
    EXPECT_TRUE(platform.shown[6].text.contains("/trunc\\x00ated.txt: not a valid file name"));
    EXPECT_TRUE(platform.shown[0].text.contains("Error 17: "));
    EXPECT_EQ(dest.read("b.txt"), "B");
    EXPECT_EQ(window.lvDest()->rowText(row), "A.TXT") << "not refreshed";
}

TEST_F(WindowTest, RenameCutAndDragActOnTheFilesChosenWhenTheyBegan) {
    const QDateTime time = QDateTime::fromSecsSinceEpoch(1600000000);
    source.write("b", "same", time);
    for (const char* name : {"a", "b", "c", "d"})
        dest.write(name, name == QByteArray("b") ? "same" : name, time);
    refresh(source.path(), dest.path());
    window.lvDest_GotFocus();
    window.lvDest_ItemClick(1);
    select(window.lvDest(), {1}, 1);
    // The rename editor opens on b; then b's row hides and c's row is current.
    window.mnuRename_Click();
    window.menuEntry("mnuViewOnlyDifferences")->trigger();
    ASSERT_EQ(texts(window.lvDest()), QStringList({"a", "c", "d"}));
    int cancel = 0;
    window.lvDest_AfterLabelEdit(cancel, "b2"); // as the pane reports the end of the edit
    EXPECT_EQ(dest.read("b2"), "same");
    EXPECT_EQ(dest.read("c"), "c");
    window.menuEntry("mnuViewOnlyDifferences")->trigger();

    // Another file put at c's name while its editor is open is not renamed.
    select(window.lvDest(), {}, int(texts(window.lvDest()).indexOf("c")));
    window.mnuRename_Click();
    dest.write("c.new", "another c");
    ::rename(dest.at("c.new").path().constData(), dest.at("c").path().constData());
    ListPane* pane = window.lvDest();
    auto* editor = qobject_cast<QLineEdit*>(pane->indexWidget(pane->currentIndex()));
    ASSERT_NE(editor, nullptr);
    editor->setText("c2");
    QTest::keyClick(editor, Qt::Key_Return);
    // The edit ends once the key is handled: the rename then, or its refusal.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !platform.shown.isEmpty(); }))
        << dest.read("c2").toStdString();
    ASSERT_EQ(styles(), QList<int>({16}));
    EXPECT_TRUE(platform.shown[0].text.contains("another file stands at its name"));
    EXPECT_EQ(dest.read("c"), "another c");
    EXPECT_FALSE(QFile::exists(dest.filePath("c2")));

    // Likewise for a file cut, then replaced before the paste.
    select(window.lvDest(), {int(texts(window.lvDest()).indexOf("a"))});
    window.mnuEditCut_Click();
    dest.write("a.new", "another a");
    ::rename(dest.at("a.new").path().constData(), dest.at("a").path().constData());
    window.lvSource_GotFocus();
    window.mnuEditPaste_Click();
    ASSERT_EQ(styles(), QList<int>({16, 16}));
    EXPECT_TRUE(platform.shown[1].text.startsWith(dest.filePath("a") + " could not be copied"));
    EXPECT_EQ(dest.read("a"), "another a");
    EXPECT_FALSE(QFile::exists(source.filePath("a")));

    // A drag carries the rows selected when it began, whatever the rows do until the drop.
    window.lvDest_GotFocus();
    select(window.lvDest(),
           {int(texts(window.lvDest()).indexOf("c")), int(texts(window.lvDest()).indexOf("d"))});
    drag(window.lvDest());
    QFile::remove(dest.filePath("b2"));
    window.mnuRefresh_Click(); // the selection is the current row alone now
    window.lvSource_DragDrop("lvDest", 0, 0);
    EXPECT_EQ(source.read("c"), "another c");
    EXPECT_EQ(source.read("d"), "d");
}

TEST_F(WindowTest, DeleteAsksPerFileAndAgainForProtectedOnes) {
    for (const char* name : {".h", "a", "b", "c", "ro", "target"})
        dest.write(name, name);
    window.settings().showHidden = true;
    ::chmod(dest.at("ro").path().constData(), 0444);
    ::symlink("target", dest.at("link").path().constData());
    dest.writeRaw("\xff", "raw");
    refresh(source.path(), dest.path() + "/");
    window.lvDest_GotFocus();
    window.lvDest_ItemClick(1);
    select(window.lvDest(), {0, 1, 2, 3, 4, 5, 6}); // .h, \xFF, a, b, c, link, ro; not target
    platform.answers = {Answer::Yes, Answer::No,  Answer::Yes, Answer::Yes, Answer::No,
                        Answer::Yes, Answer::Yes, Answer::Yes, Answer::No};
    window.mnuDelete_Click();
    EXPECT_EQ(styles(), QList<int>({292, 36, 292, 292, 292, 292, 292, 292, 36}))
        << "a hidden file is asked about twice, too";
    EXPECT_EQ(platform.shown[3].text, "Are you sure you want to delete " + dest.path() + "/a?");
    EXPECT_EQ(texts(window.lvDest()), QStringList({".h", "b", "ro", "target"}));
    EXPECT_FALSE(QFile::permissions(dest.filePath("ro")) & QFile::WriteOwner) << "mode kept";
    EXPECT_EQ(dest.read("target"), "target") << "the link went, not its target";
}

TEST_F(WindowTest, DeleteActsOnTheFilesChosenWhateverTheRowsDoMeanwhile) {
    for (const char* name : {"a", "b", "c", "d"})
        dest.write(name, name);
    refresh(source.path(), dest.path());
    window.lvDest_GotFocus();
    window.lvDest_ItemClick(1);
    select(window.lvDest(), {1, 2}, 1); // b and c
    // While b is asked about, a goes and the rows move up: c is still the
    // second file asked about, and d is never touched.
    platform.whileAsking = [&](int shown) {
        if (shown == 1) {
            QFile::remove(dest.filePath("a"));
            window.mnuRefresh_Click();
        }
    };
    platform.answers = {Answer::Yes, Answer::Yes};
    window.mnuEditDeletePermanently_Click();
    ASSERT_EQ(styles(), QList<int>({292, 292}));
    EXPECT_TRUE(platform.shown[1].text.endsWith("/c?"));
    EXPECT_EQ(texts(window.lvDest()), QStringList({"d"}));

    // A file chosen, then replaced by another of its name, is not deleted.
    dest.write("e", "e");
    refresh(source.path(), dest.path());
    select(window.lvDest(), {1}, 1);
    platform.shown.clear();
    platform.whileAsking = [&](int) {
        dest.write("e2", "another e"); // made while e is there: another inode
        ::rename(dest.at("e2").path().constData(), dest.at("e").path().constData());
    };
    platform.answers = {Answer::Yes};
    window.mnuEditDeletePermanently_Click();
    EXPECT_EQ(styles(), QList<int>({292, 16}));
    EXPECT_EQ(dest.read("e"), "another e");

    // Its folder swapped for a link to another while it is asked about: the
    // file deleted is the one asked about, nothing through the link.
    TempTree elsewhere;
    elsewhere.write("f", "keep");
    dest.write("sub/f", "f");
    refresh(source.path(), dest.filePath("sub"));
    select(window.lvDest(), {0}, 0);
    platform.shown.clear();
    platform.whileAsking = [&](int) {
        ::rename(dest.at("sub").path().constData(), dest.at("sub.real").path().constData());
        ::symlink(QFile::encodeName(elsewhere.path()).constData(),
                  dest.at("sub").path().constData());
    };
    platform.answers = {Answer::Yes};
    window.mnuEditDeletePermanently_Click();
    EXPECT_EQ(elsewhere.read("f"), "keep");
    EXPECT_FALSE(QFileInfo::exists(dest.filePath("sub.real/f")));
}

struct stat statOf(const QByteArray& path) {
    struct stat st {};
    ::lstat(path.constData(), &st);
    return st;
}

TEST_F(WindowTest, DeleteGoesToTheTrashAndUndoTakesBackEachCommandInTurn) {
    const QDateTime t(QDate(2022, 2, 2), QTime(2, 2, 2), Qt::UTC);
    source.write("b.txt", "B-old", t);
    dest.write("b.txt", "B-new", t.addSecs(60));
    source.writeRaw("caf\xE9.txt", "odd");
    source.write("r.txt", "R");
    const QByteArray odd = source.at("caf\xE9.txt").path();
    const struct stat before = statOf(odd);
    refresh(source.path(), dest.path()); // b.txt|b.txt, caf\xE9.txt|-, r.txt|-
    window.lvSource_GotFocus();
    window.lvSource_ItemClick(1);
    select(window.lvSource(), {1}, 1);
    platform.answers = {Answer::Yes};
    window.mnuDelete_Click();
    const QByteArray trash = qgetenv("XDG_DATA_HOME") + "/Trash";
    EXPECT_EQ(statOf(trash + "/files/caf\xE9.txt").st_size, 3);
    QFile info;
    ASSERT_TRUE(info.open(::open(trash + "/info/caf\xE9.txt.trashinfo", O_RDONLY),
                          QIODevice::ReadOnly, QFile::AutoCloseHandle));
    EXPECT_TRUE(info.readAll().contains("Path=" + odd.toPercentEncoding("/") + '\n'));

    window.lvDest_GotFocus();
    select(window.lvDest(), {0}, 0);
    window.mnuEditCopy_Click();
    window.lvSource_GotFocus();
    platform.answers = {Answer::Yes};
    window.mnuEditPaste_Click(); // over Source's b.txt
    EXPECT_EQ(source.read("b.txt"), "B-new");
    window.lvSource()->setCurrentRow(1); // r.txt
    int cancel = 0;
    window.lvSource_BeforeLabelEdit(cancel);
    window.lvSource_AfterLabelEdit(cancel, "s.txt");
    QAction* undo = window.menuEntry("mnuEditUndo");
    EXPECT_EQ(undo->text(), "&Undo Rename");

    undo->trigger();
    EXPECT_EQ(source.read("r.txt"), "R");
    EXPECT_EQ(undo->text(), "&Undo Paste of 1 File");
    undo->trigger();
    EXPECT_EQ(source.read("b.txt"), "B-old");
    EXPECT_EQ(QFileInfo(source.filePath("b.txt")).lastModified(), t);
    EXPECT_EQ(undo->text(), "&Undo Delete of 1 File");
    undo->trigger();
    const struct stat after = statOf(odd);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_EQ(platform.shown.size(), 2) << "no message after the two questions: all undone";
}

TEST_F(WindowTest, UndoWorksAcrossFileSystemsAndAPermanentDeleteEndsTheHistory) {
    source.write("a.txt", "A");
    source.write("gone.txt", "G");
    TempTree other(QStringLiteral("/dev/shm")); // another file system where there is one
    refresh(source.path(), other.path());
    window.lvSource_GotFocus();
    select(window.lvSource(), {0}, 0);
    window.mnuEditCut_Click();
    window.lvDest_GotFocus();
    window.mnuEditPaste_Click();
    ASSERT_EQ(other.read("a.txt"), "A");
    window.menuEntry("mnuEditUndo")->trigger();
    EXPECT_EQ(source.read("a.txt"), "A") << "moved back";
    EXPECT_FALSE(QFileInfo::exists(other.filePath("a.txt")));

    window.lvSource_GotFocus();
    select(window.lvSource(), {0}, 0);
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    window.mnuEditPaste_Click();
    other.write("a.txt", "edited by another program");
    window.menuEntry("mnuEditUndo")->trigger();
    EXPECT_TRUE(platform.shown.isEmpty()) << "a copy changed since goes to the Trash";
    EXPECT_FALSE(QFileInfo::exists(other.filePath("a.txt")));
    other.write("a.txt", "someone else's");

    // Escape stops a command after the file at hand; an Undo too, and what
    // it did not reach stays to be undone.
    source.write("b.txt", "B");
    source.write("c.txt", "C");
    refresh(source.path(), other.path());
    window.lvSource_GotFocus();
    window.mnuEditDSelectAll_Click();
    window.mnuEditCopy_Click();
    window.lvDest_GotFocus();
    window.copyOptions.write = [this](int fd, const char* data, size_t size) {
        QTest::keyClick(window.lvDest(), Qt::Key_Escape);
        return ::write(fd, data, size);
    };
    platform.answers = {Answer::No};
    window.mnuEditPaste_Click(); // a.txt asked and kept, b.txt copied, c.txt not reached
    EXPECT_EQ(other.read("b.txt"), "B");
    EXPECT_FALSE(QFileInfo::exists(other.filePath("c.txt")));
    window.copyOptions.write = nullptr;
    window.lvSource_GotFocus();
    window.lvSource_ItemClick(3);
    select(window.lvSource(), {3}, 3); // gone.txt
    platform.answers = {Answer::Yes};
    window.menuEntry("mnuEditDeletePermanently")->trigger();
    EXPECT_FALSE(QFileInfo::exists(source.filePath("gone.txt")));
    EXPECT_FALSE(window.menuEntry("mnuEditUndo")->isEnabled());
    EXPECT_TRUE(window.menuEntry("mnuEditUndo")->toolTip().contains("permanently"));
}

} // namespace
