#include "window_fixture.h"

#include <QFileInfo>
#include <QTest>
#include <sys/stat.h>

namespace {

using PaneCommands = WindowTest;

TEST_F(PaneCommands, DropCopiesTheSelectedRowsOfTheOtherPaneOnly) {
    for (const char* name : {"a", "b", "c"})
        source.write(QString::fromLatin1(name), name);
    dest.write(QStringLiteral(".b"), "hidden");
    source.write(QStringLiteral(".b"), "new");
    window.settings().showHidden = true;
    refresh(source.path(), dest.path() + QLatin1Char('/')); // .b a b c
    select(window.lvSource(), {0, 1, 3});
    window.lvSource_DragDrop(QStringLiteral("lvSource"), 0, 0); // onto itself
    EXPECT_EQ(window.lvDest()->count(), 4);
    source.write(QStringLiteral("d"));
    window.lvDest_DragDrop(QStringLiteral("lvDest"), 0, 0); // not the other pane
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(window.lvSource()->rowText(4), QStringLiteral("d")) << "still refreshed";
    EXPECT_TRUE(QDir(dest.path()).entryList(QDir::Files).isEmpty());

    select(window.lvSource(), {0, 1, 3});
    window.lvDest_DragDrop(QStringLiteral("lvSource"), 0, 0);
    ASSERT_EQ(styles(), QList<int>({36})) << "the hidden file counts as existing";
    EXPECT_EQ(platform.beeps, 0) << "a drop does not beep";
    EXPECT_TRUE(platform.shown[0].text.startsWith("The folder " + dest.path() + "/ already"));
    EXPECT_EQ(dest.read(QStringLiteral(".b")), "hidden") << "No";
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files), QStringList({"a", "c"}));
    EXPECT_EQ(source.read(QStringLiteral("a")), "a") << "a drop never moves";
}

TEST_F(PaneCommands, RenameGoesThroughTheLabelEditAndNeverReplaces) {
    source.write(QStringLiteral("a.txt"), "A");
    dest.write(QStringLiteral("a.txt"), "dest");
    dest.write(QStringLiteral("b.txt"), "B");
    dest.writeRaw("\xe9t\xe9", "raw");
    refresh(source.path(), dest.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // F2 edits the active pane's current row; Enter ends the edit.
    window.lvSource_ItemClick(1);
    window.lvDest_GotFocus();
    select(window.lvDest(), {}, 1); // a.txt
    window.lvSource_ItemClick(1);   // CurrentFile set; the Destination pane stays active
    window.mnuRename_Click();
    auto* editor = window.lvDest()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(QStringLiteral("A.TXT"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(QFileInfo::exists(dest.filePath(QStringLiteral("A.TXT"))));
    EXPECT_EQ(source.read(QStringLiteral("a.txt")), "A") << "the other folder's file stays";

    window.lvDest()->setCurrentRow(int(texts(window.lvDest()).indexOf("\\xE9t\\xE9")));
    int cancel = 0;
    window.lvDest_AfterLabelEdit(cancel, QStringLiteral("ete"));
    EXPECT_EQ(dest.read(QStringLiteral("ete")), "raw");
    EXPECT_TRUE(platform.shown.isEmpty());

    const int row = int(texts(window.lvDest()).indexOf("A.TXT"));
    window.lvDest()->setCurrentRow(row);
    for (const char* bad : {"b.txt", "", ".", "..", "x/y"}) {
        cancel = 0;
        window.lvDest_AfterLabelEdit(cancel, QString::fromLatin1(bad));
        EXPECT_EQ(cancel, -1) << bad;
    }
    EXPECT_EQ(styles(), QList<int>(5, 16));
    EXPECT_TRUE(platform.shown[0].text.contains(QLatin1String("Error 17: ")));
    EXPECT_EQ(dest.read(QStringLiteral("b.txt")), "B");
    EXPECT_EQ(window.lvDest()->rowText(row), QStringLiteral("A.TXT")) << "not refreshed";

    window.lvSource()->setCurrentRow(0);
    window.lvSource()->rows().append(QString(), {}); // a placeholder as the current row
    window.lvSource()->setCurrentRow(window.lvSource()->count() - 1);
    cancel = 0;
    window.lvSource_BeforeLabelEdit(cancel);
    EXPECT_EQ(cancel, -1);
}

TEST_F(PaneCommands, DeleteAsksPerFileAndAgainForProtectedOnes) {
    for (const char* name : {"a", "b", "c", "ro", "target"})
        dest.write(QString::fromLatin1(name), name);
    ::chmod(QFile::encodeName(dest.filePath(QStringLiteral("ro"))).constData(), 0444);
    ::symlink("target", QFile::encodeName(dest.filePath(QStringLiteral("link"))).constData());
    dest.writeRaw("\xff", "raw");
    refresh(source.path(), dest.path() + QLatin1Char('/'));
    const QStringList rows = texts(window.lvDest());
    ASSERT_EQ(rows, QStringList({"\\xFF", "a", "b", "c", "link", "ro", "target"}));
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
    EXPECT_EQ(QFileInfo(dest.filePath(QStringLiteral("ro"))).permissions() & QFile::WriteOwner, 0)
        << "a declined file keeps its attributes";
    EXPECT_EQ(dest.read(QStringLiteral("target")), "target") << "the link went, not its target";
}

} // namespace
