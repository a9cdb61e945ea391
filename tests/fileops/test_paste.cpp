#include "window_fixture.h"

#include <QAction>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

using Paste = WindowTest;

QStringList entryTexts(const Main& w) {
    QStringList out;
    for (const ClipboardEntry& e : w.ClipboardFiles)
        out << e.text();
    return out;
}

TEST_F(Paste, CutCopyAndSelectionWorkOnTheActivePane) {
    source.write("a");
    source.write("c");
    dest.write("b");
    refresh(source.path(), dest.path() + "/"); // rows a|-, -|b, c|-
    QAction* paste = window.menuEntry("mnuEditPaste");
    window.trmPaste_Timer();
    EXPECT_FALSE(paste->isEnabled()) << "nothing cut or copied yet";
    select(window.lvSource(), {0, 1, 2});
    window.mnuEditCopy_Click();
    EXPECT_EQ(window.ClipboardMode, 2);
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

TEST_F(Paste, IntoItsOwnFolderTakesTheFirstFreeCopyName) {
    source.write("a.txt", "A");
    source.mkdir("Copy (2) of a.txt"); // a folder takes the name too
    refresh(source.path() + "/", dest.path());
    select(window.lvSource(), {0});
    window.mnuEditCopy_Click();
    window.txtSource()->setText(source.path()); // no trailing "/": still the same folder
    window.mnuEditPaste_Click();
    window.mnuEditPaste_Click();
    EXPECT_EQ(texts(window.lvSource()),
              QStringList({"a.txt", "Copy (3) of a.txt", "Copy of a.txt"}));
    EXPECT_EQ(source.read("Copy (3) of a.txt"), "A");
    EXPECT_TRUE(platform.shown.isEmpty()) << "the same folder never asks";

    select(window.lvSource(), {0});
    window.mnuEditCut_Click(); // a cut file pasted into its own folder moves to a copy name
    window.mnuEditPaste_Click();
    EXPECT_FALSE(QFileInfo::exists(source.filePath("a.txt")));
    EXPECT_EQ(source.read("Copy (4) of a.txt"), "A");
}

TEST_F(Paste, AsksBeforeReplacingFileByFileAndMovesOnlyWhatWasCopied) {
    const QDateTime older(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    const QDateTime newer(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC);
    for (const char* name : {".hidden", "a", "b", "ro"}) {
        source.write(name, QByteArray(1234, 'n'), newer);
        dest.write(name, "old", older);
    }
    source.write("free", "free");
    source.writeRaw("\xff name", "raw");
    ::chmod(raw(dest, "ro").constData(), 0444);
    window.settings().showHidden = true;
    refresh(source.path(), dest.path());
    ASSERT_EQ(texts(window.lvSource()),
              QStringList({".hidden", "\\xFF name", "a", "b", "free", "ro"}));
    select(window.lvSource(), {0, 1, 2, 3, 4, 5});
    window.mnuEditCut_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
    window.mnuEditPaste_Click();

    ASSERT_EQ(styles(), QList<int>({36, 36, 36, 36, 16})) << "ro: asked, then refused";
    EXPECT_EQ(platform.beeps, 5) << "one before each prompt, one with the failure";
    const QString file = "\r\n\r\n%1/a\r\n\r\n         Size: %2 bytes\r\n         Modified: %3";
    EXPECT_EQ(platform.shown[1].text,
              "The folder " + dest.path() + " already contains a file called a. Do you want to " +
                  "overwrite it?" +
                  file.arg(source.path(), "1,234", "Saturday, March 9, 2024 2:05:00 PM") +
                  file.arg(dest.path(), "3", "Saturday, February 3, 2001 4:05:06 AM"));
    for (const char* name : {".hidden", "b", "ro"})
        EXPECT_EQ(dest.read(name), "old") << name << ": No, or read-only";
    EXPECT_EQ(dest.read("a").size(), 1234) << "Yes";
    EXPECT_EQ(dest.read("free"), "free");
    EXPECT_EQ(::unlink(raw(dest, "\xff name").constData()), 0) << "the raw name was moved";
    // Only files that were copied left the source.
    EXPECT_EQ(texts(window.lvSource()), QStringList({".hidden", "", "", "b", "", "ro"}));
}

TEST_F(Paste, AFailedCopyOrAGoneSourceIsToldAndTheRestGoesOn) {
    for (const char* name : {"a", "b", "c"})
        source.write(name, QByteArray(500000, *name));
    dest.write("a", "old a");
    refresh(source.path(), dest.path());
    select(window.lvSource(), {0, 1, 2});
    window.mnuEditCut_Click();
    QFile::remove(source.filePath("b"));             // gone before the paste
    window.copyOptions.write = failingAfter(800000); // a goes, c fails midway
    window.lvDest_GotFocus();
    platform.answers = {Answer::Yes};
    window.mnuEditPaste_Click();
    EXPECT_EQ(styles(), QList<int>({36, 16, 16})) << "a: asked; b gone; c: the write failed";
    EXPECT_TRUE(platform.shown[1].text.startsWith(source.path() + "/b could not"));
    EXPECT_TRUE(platform.shown[2].text.contains("No space left on device"));
    EXPECT_EQ(source.read("c"), QByteArray(500000, 'c')) << "a failed copy keeps its source";
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"a"}));
    EXPECT_EQ(dest.read("a"), QByteArray(500000, 'a'));
    EXPECT_EQ(texts(window.lvSource()), QStringList({"", "c"}));
    EXPECT_FALSE(window.fileCommandRunning());
}

} // namespace
