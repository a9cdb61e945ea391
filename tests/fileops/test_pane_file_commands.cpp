#include "window_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>

namespace {

using PaneCommands = WindowTest;

TEST_F(PaneCommands, DropCopiesTheSelectedRowsOfTheOtherPaneOnly) {
    for (const char* name : {".b", "a", "b", "c"})
        source.write(name, name);
    dest.write(".b", "hidden");
    window.settings().showHidden = true;
    refresh(source.path(), dest.path() + "/"); // .b a b c
    select(window.lvSource(), {0, 1, 3});
    window.lvSource_DragDrop("lvSource", 0, 0); // onto itself
    source.write("d");
    window.lvDest_DragDrop("lvDest", 0, 0); // not the other pane
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(window.lvSource()->rowText(4), "d") << "still refreshed";
    EXPECT_TRUE(QDir(dest.path()).entryList(QDir::Files).isEmpty());

    select(window.lvSource(), {0, 1, 3});
    window.lvDest_DragDrop("lvSource", 0, 0);
    ASSERT_EQ(styles(), QList<int>({36})) << "the hidden file counts as existing";
    EXPECT_EQ(platform.beeps, 0) << "a drop does not beep";
    EXPECT_TRUE(platform.shown[0].text.startsWith("The folder " + dest.path() + "/ already"));
    EXPECT_EQ(dest.read(".b"), "hidden") << "No";
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files), QStringList({"a", "c"}));
    EXPECT_EQ(source.read("a"), "a") << "a drop never moves";
}

TEST_F(PaneCommands, RenameGoesThroughTheLabelEditAndNeverReplaces) {
    source.write("a.txt", "A");
    dest.write("a.txt", "dest");
    dest.write("b.txt", "B");
    dest.writeRaw("\xe9t\xe9", "raw");
    refresh(source.path(), dest.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // F2 edits the active pane's current row, whichever pane was clicked.
    window.lvDest_GotFocus();
    select(window.lvDest(), {}, int(texts(window.lvDest()).indexOf("a.txt")));
    window.lvSource_ItemClick(int(texts(window.lvSource()).indexOf("a.txt")));
    window.mnuRename_Click();
    auto* editor = window.lvDest()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText("A.TXT");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(QFileInfo::exists(dest.filePath("A.TXT")));
    EXPECT_EQ(source.read("a.txt"), "A") << "the other folder's file stays";

    int cancel = 0;
    window.lvDest()->setCurrentRow(int(texts(window.lvDest()).indexOf("\\xE9t\\xE9")));
    window.lvDest_AfterLabelEdit(cancel, "ete");
    EXPECT_EQ(dest.read("ete"), "raw");
    const int row = int(texts(window.lvDest()).indexOf("A.TXT"));
    window.lvDest()->setCurrentRow(row);
    for (const char* bad : {"b.txt", "", ".", "..", "x/y"}) {
        cancel = 0;
        window.lvDest_AfterLabelEdit(cancel, bad);
        EXPECT_EQ(cancel, -1) << bad;
    }
    EXPECT_EQ(styles(), QList<int>(5, 16));
    EXPECT_TRUE(platform.shown[0].text.contains("Error 17: "));
    EXPECT_EQ(dest.read("b.txt"), "B");
    EXPECT_EQ(window.lvDest()->rowText(row), "A.TXT") << "not refreshed";
    window.lvDest()->setCurrentRow(int(texts(window.lvDest()).indexOf(QString())));
    cancel = 0;
    window.lvDest_BeforeLabelEdit(cancel);
    EXPECT_EQ(cancel, -1) << "a placeholder row is not edited";
}

TEST_F(PaneCommands, DeleteAsksPerFileAndAgainForProtectedOnes) {
    for (const char* name : {"a", "b", "c", "ro", "target"})
        dest.write(name, name);
    ::chmod(raw(dest, "ro").constData(), 0444);
    ::symlink("target", raw(dest, "link").constData());
    dest.writeRaw("\xff", "raw");
    refresh(source.path(), dest.path() + "/");
    ASSERT_EQ(texts(window.lvDest()),
              QStringList({"\\xFF", "a", "b", "c", "link", "ro", "target"}));
    window.lvDest_GotFocus();
    select(window.lvDest(), {0, 1, 2, 3, 4, 5});
    window.mnuDelete_Click();
    EXPECT_TRUE(platform.shown.isEmpty()) << "no row clicked yet";

    window.lvDest_ItemClick(1);
    select(window.lvDest(), {0, 1, 2, 3, 4, 5});
    platform.answers = {Answer::Yes, Answer::Yes, Answer::No, Answer::Yes,
                        Answer::Yes, Answer::Yes, Answer::No};
    window.mnuDelete_Click();
    EXPECT_EQ(styles(), QList<int>({292, 292, 292, 292, 292, 292, 36}));
    EXPECT_EQ(platform.shown[1].text, "Are you sure you want to delete " + dest.path() + "/a?");
    EXPECT_EQ(texts(window.lvDest()), QStringList({"b", "ro", "target"}));
    EXPECT_FALSE(QFile::permissions(dest.filePath("ro")) & QFile::WriteOwner) << "mode kept";
    EXPECT_EQ(dest.read("target"), "target") << "the link went, not its target";
}

} // namespace
