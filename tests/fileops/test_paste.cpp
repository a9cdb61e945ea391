#include "core/text_formats.h"
#include "window_fixture.h"

#include <QAction>
#include <QFileInfo>
#include <QProgressBar>
#include <sys/stat.h>

namespace {

using Paste = WindowTest;

QStringList entryTexts(const Main& w) {
    QStringList out;
    for (const ClipboardEntry& e : w.ClipboardFiles)
        out << e.text();
    return out;
}

TEST_F(Paste, CutAndCopyRecordTheSelectedFilesOfTheActivePane) {
    source.write(QStringLiteral("a"));
    source.write(QStringLiteral("c"));
    dest.write(QStringLiteral("b"));
    refresh(source.path(), dest.path() + QLatin1Char('/')); // rows a|-, -|b, c|-
    select(window.lvSource(), {0, 1, 2});
    window.mnuEditCopy_Click();
    EXPECT_EQ(window.ClipboardMode, 2);
    const QString s = source.path() + QLatin1String("\r\n");
    EXPECT_EQ(entryTexts(window), QStringList({"", s + "a", s + "c"})) << "no gap, no placeholder";

    window.lvDest_GotFocus();
    window.txtDest()->setText(QStringLiteral("/elsewhere")); // the rows still come from dest
    window.mnuEditCut_Click();
    EXPECT_EQ(window.ClipboardMode, 1);
    EXPECT_EQ(entryTexts(window), QStringList({""})) << "nothing selected in the Destination pane";

    window.mnuEditDSelectAll_Click();
    EXPECT_EQ(window.lvDest()->selectionModel()->selectedRows().size(), 3) << "placeholders too";
    window.lvDest()->setRowSelected(0, false);
    window.mnuEditInvertSelection_Click();
    EXPECT_TRUE(window.lvDest()->isRowSelected(0));
    EXPECT_FALSE(window.lvDest()->isRowSelected(1));
    window.mnuEditInvertSelection_Click();
    EXPECT_EQ(window.lvDest()->selectionModel()->selectedRows().size(), 2);
    EXPECT_EQ(window.lvSource()->selectionModel()->selectedRows().size(), 3) << "untouched";
    EXPECT_EQ(window.pbrMain()->value(), 0);
}

TEST_F(Paste, IsOfferedOnceAnythingWasCutOrCopied) {
    QAction* const paste[] = {window.menuEntry(QStringLiteral("mnuEditPaste")),
                              window.menuEntry(QStringLiteral("mnuPopupPaste")),
                              window.toolbarButton(QStringLiteral("Paste"))};
    window.trmPaste_Timer();
    for (QAction* a : paste)
        EXPECT_FALSE(a->isEnabled());
    window.mnuEditCopy_Click(); // records nothing
    window.trmPaste_Timer();
    for (QAction* a : paste)
        EXPECT_TRUE(a->isEnabled());
}

TEST_F(Paste, IntoItsOwnFolderTakesTheFirstFreeCopyName) {
    source.write(QStringLiteral("a.txt"), "A");
    source.mkdir(QStringLiteral("Copy (2) of a.txt")); // a folder takes the name too
    refresh(source.path() + QLatin1Char('/'), dest.path());
    select(window.lvSource(), {0});
    window.mnuEditCopy_Click();
    window.txtSource()->setText(source.path()); // no trailing "/": still the same folder
    for (int i = 0; i < 2; ++i)
        window.mnuEditPaste_Click();
    EXPECT_EQ(texts(window.lvSource()),
              QStringList({"a.txt", "Copy (3) of a.txt", "Copy of a.txt"}));
    EXPECT_EQ(source.read(QStringLiteral("Copy (3) of a.txt")), "A");
    EXPECT_TRUE(platform.shown.isEmpty()) << "the same folder never asks";

    select(window.lvSource(), {0});
    window.mnuEditCut_Click(); // a cut file pasted into its own folder moves to a copy name
    window.mnuEditPaste_Click();
    EXPECT_FALSE(QFileInfo::exists(source.filePath(QStringLiteral("a.txt"))));
    EXPECT_EQ(source.read(QStringLiteral("Copy (4) of a.txt")), "A");
}

TEST_F(Paste, AsksBeforeReplacingFileByFileAndMovesOnlyWhatWasCopied) {
    const QDateTime older(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    const QDateTime newer(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC);
    for (const char* name : {".hidden", "a", "b", "ro"})
        source.write(QString::fromLatin1(name), QByteArray(1234, 'n'), newer);
    source.write(QStringLiteral("free"), "free");
    source.writeRaw("\xff name", "raw");
    for (const char* name : {".hidden", "a", "b", "ro"})
        dest.write(QString::fromLatin1(name), "old", older);
    ::chmod(QFile::encodeName(dest.filePath(QStringLiteral("ro"))).constData(), 0444);
    refresh(source.path(), dest.path());
    window.settings().showHidden = true;
    window.mnuRefresh_Click();
    ASSERT_EQ(texts(window.lvSource()),
              QStringList({".hidden", "\\xFF name", "a", "b", "free", "ro"}));
    select(window.lvSource(), {0, 1, 2, 3, 4, 5});
    window.mnuEditCut_Click();
    window.lvDest_GotFocus();
    platform.answers = {Answer::No, Answer::Yes, Answer::No, Answer::Yes};
    window.mnuEditPaste_Click();

    ASSERT_EQ(styles(), QList<int>({36, 36, 36, 36, 16})) << "ro: asked, then refused";
    EXPECT_EQ(platform.beeps, 5) << "one before each prompt, one with the failure";
    const QString d = dest.path();
    const QString sa = source.path() + QLatin1String("/a");
    EXPECT_EQ(platform.shown[1].text,
              "The folder " + d +
                  " already contains a file called a. Do you want to overwrite "
                  "it?\r\n\r\n" +
                  sa +
                  "\r\n\r\n         Size: 1,234 bytes\r\n         Modified: "
                  "Saturday, March 9, 2024 2:05:00 PM\r\n\r\n" +
                  d +
                  "/a\r\n\r\n         Size: 3 "
                  "bytes\r\n         Modified: Saturday, February 3, 2001 4:05:06 AM");
    EXPECT_EQ(dest.read(QStringLiteral(".hidden")), "old") << "No";
    EXPECT_EQ(dest.read(QStringLiteral("a")).size(), 1234) << "Yes";
    EXPECT_EQ(dest.read(QStringLiteral("b")), "old") << "No";
    EXPECT_EQ(dest.read(QStringLiteral("ro")), "old") << "read-only: not replaced";
    EXPECT_EQ(dest.read(QStringLiteral("free")), "free");
    EXPECT_TRUE(exists(dest, "\xff name"));
    ::unlink((QFile::encodeName(dest.path()) + "/\xff name").constData());
    // Only files that were copied left the source.
    EXPECT_EQ(texts(window.lvSource()), QStringList({".hidden", "", "", "b", "", "ro"}));
}

TEST_F(Paste, AFailedOrImpossibleCopyIsToldAndTheRestGoesOn) {
    source.write(QStringLiteral("a"), QByteArray(500000, 'a'));
    source.write(QStringLiteral("b"), "b");
    source.write(QStringLiteral("c"), "c");
    dest.write(QStringLiteral("a"), "old a");
    refresh(source.path(), dest.path());
    select(window.lvSource(), {0, 1, 2});
    window.mnuEditCut_Click();
    QFile::remove(source.filePath(QStringLiteral("b"))); // gone before the paste
    window.copyOptions.write = [](int fd, const char* data, size_t size) -> ssize_t {
        if (size > 100000) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, data, size);
    };
    window.lvDest_GotFocus();
    platform.answers = {Answer::Yes};
    window.mnuEditPaste_Click();
    EXPECT_EQ(styles(), QList<int>({36, 16, 16})) << "a: asked, then the write failed; b gone";
    EXPECT_TRUE(platform.shown[1].text.contains(QLatin1String("No space left on device")));
    EXPECT_TRUE(platform.shown[2].text.startsWith(source.path() + QLatin1String("/b could not")));
    EXPECT_EQ(dest.read(QStringLiteral("a")), "old a");
    EXPECT_EQ(source.read(QStringLiteral("a")).size(), 500000) << "a failed copy keeps its source";

    window.copyOptions = {};
    platform.shown.clear();
    window.mnuEditPaste_Click();
    EXPECT_EQ(styles(), QList<int>({36, 16, 16})) << "a: No by default; b and c gone";
    EXPECT_EQ(dest.read(QStringLiteral("c")), "c");
    EXPECT_EQ(texts(window.lvSource()), QStringList({"a", ""}));
    EXPECT_FALSE(window.fileCommandRunning());
}

} // namespace
