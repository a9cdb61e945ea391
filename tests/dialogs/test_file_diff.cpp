#include "base/message_style.h"
#include "dialogs/file_diff_view.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/status_look.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 300 lines; the right side has lines 50, 150 and 250 changed.
QByteArray numbered(bool changed) {
    QByteArray text;
    for (int i = 1; i <= 300; ++i)
        text += (changed && i % 100 == 50 ? "line " + QByteArray::number(i) + " changed"
                                          : "line " + QByteArray::number(i)) +
                '\n';
    return text;
}

class CompareFiles : public ::testing::Test {
protected:
    // Rows "a.txt|a.txt", "b.txt|b.txt", "only.txt|-".
    void SetUp() override {
        source.write(QStringLiteral("a.txt"), numbered(false));
        dest.write(QStringLiteral("a.txt"), numbered(true));
        source.write(QStringLiteral("b.txt"), "b\n");
        dest.write(QStringLiteral("b.txt"), "b\n");
        source.write(QStringLiteral("only.txt"));
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
        window.mnuRefresh_Click();
        window.resize(800, 500);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QByteArray path(const TempTree& tree, const QByteArray& name) const {
        return QFile::encodeName(tree.path()) + '/' + name;
    }
    bool offered() const {
        const bool menu = window.menuEntry(QStringLiteral("mnuCompareFiles"))->isEnabled();
        EXPECT_EQ(window.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->isEnabled(), menu);
        EXPECT_EQ(window.toolbarButton(QStringLiteral("CompareFiles"))->isEnabled(), menu);
        return menu;
    }
    // The view the command opened, once its comparison has arrived.
    FileDiffView* shownView() {
        auto* view = window.findChild<FileDiffView*>();
        if (view && !view->comparison()) {
            EXPECT_TRUE(QSignalSpy(view, &FileDiffView::compared).wait(10000));
        }
        return view;
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source, dest;
};

} // namespace

TEST_F(CompareFiles, OfferedForAPairOrTwoSelectedFilesAndRunFromEveryPlace) {
    window.lvSource()->setCurrentRow(2);
    EXPECT_FALSE(offered()) << "a file on one side only";
    window.lvSource()->setCurrentRow(0);
    ASSERT_TRUE(offered());
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(dest, "a.txt")}));
    window.lvSource()->setRowSelected(1, true);
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(source, "b.txt")}));
    window.lvSource()->setRowSelected(2, true);
    EXPECT_EQ(window.filesToCompare(),
              QList<QByteArray>({path(source, "a.txt"), path(dest, "a.txt")}))
        << "three selected: the current row again";
    window.lvSource()->setRowSelected(1, false);
    window.lvSource()->setRowSelected(0, false);
    window.lvSource()->setCurrentRow(2);
    EXPECT_FALSE(offered());

    window.lvSource()->setCurrentRow(0);
    const std::function<void()> ways[] = {
        [&] { window.menuEntry(QStringLiteral("mnuCompareFiles"))->trigger(); },
        [&] { window.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->trigger(); },
        [&] { window.toolbarButton(QStringLiteral("CompareFiles"))->trigger(); },
        [&] { QTest::keyClick(window.lvSource(), Qt::Key_D, Qt::ControlModifier); },
    };
    for (const auto& way : ways) {
        window.activateWindow(); // the last view had it
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        way();
        FileDiffView* view = shownView();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->statusText(), QStringLiteral("3 changes · 3 lines added · 3 removed"));
        EXPECT_TRUE(view->windowTitle().contains(QString::fromUtf8(path(dest, "a.txt"))));
        delete view;
    }
    EXPECT_TRUE(window.toolbarArrangement().contains(QStringLiteral("CompareFiles")));
}

TEST_F(CompareFiles, F7AndShiftF7WalkTheChangesAndBothHalvesScrollTogether) {
    window.lvSource()->setCurrentRow(0);
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    view->resize(700, 300);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    EXPECT_EQ(view->currentChange(), 0) << "the first change is shown at once";
    EXPECT_EQ(view->area()->topRow(), 49 - 3);
    QTest::keyClick(view->area(), Qt::Key_F7);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2);
    EXPECT_EQ(view->area()->topRow(), 249 - 3);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2) << "no change after the last";
    QTest::keyClick(view->area(), Qt::Key_F7, Qt::ShiftModifier);
    EXPECT_EQ(view->currentChange(), 1);
    // Scrolled away by hand, F7 goes to the first change below the top row.
    view->area()->verticalScrollBar()->setValue(200);
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 2);

    // One area draws both halves: a row's tint and marks on both sides.
    const QImage image = view->area()->viewport()->grab().toImage();
    const QPalette& pal = view->area()->palette();
    const QColor tint = mixedColour(pal.color(QPalette::Base), pal.color(QPalette::Highlight), 0.2);
    const int rowHeight = view->area()->rowHeight();
    const int rowY = (249 - view->area()->topRow()) * rowHeight + 2;
    const int w = image.width();
    EXPECT_EQ(image.pixelColor(view->area()->leftEnd() - 5, rowY), tint);
    EXPECT_EQ(image.pixelColor(w - 5, rowY), tint);
    EXPECT_EQ(image.pixelColor(w - 5, rowY + 2 * rowHeight), pal.color(QPalette::Base));
    QTest::keyClick(view->area(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.findChild<FileDiffView*>(); }));
}

TEST_F(CompareFiles, TheUsersDiffProgramGetsThePathBytesAndTakesFilesTooLargeForTheView) {
    const QByteArray odd = "caf\xe9 'q' \"x\".txt";
    source.writeRaw(odd, "1");
    dest.writeRaw(odd, "2");
    window.mnuRefresh_Click();
    window.ActivePane = 1;
    window.lvDest()->setCurrentRow(2); // rows: a.txt, b.txt, the odd name, only.txt
    ASSERT_EQ(window.lvDest()->rowFileName(2), odd);
    window.settings().diffProgram = QStringLiteral("'/opt/my diff' --left=%1 %2");
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.commands.size(), 1);
    EXPECT_EQ(platform.commands[0],
              QList<QByteArray>({"/opt/my diff", "--left=" + path(source, odd), path(dest, odd)}));
    platform.commandError = QStringLiteral("No such file or directory");
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.shown[0].style, MsgStyle::Critical);
    EXPECT_TRUE(platform.shown[0].text.endsWith(QStringLiteral("No such file or directory")));
    EXPECT_EQ(window.findChild<FileDiffView*>(), nullptr);

    // Files the view cannot hold are not opened in it: the user is told
    // where to choose a program that can. Large ones below that open at once.
    window.settings().diffProgram.clear();
    ASSERT_EQ(::truncate(path(dest, odd).constData(), largestComparedFile + 1), 0);
    window.mnuCompareFiles_Click();
    ASSERT_EQ(platform.shown.size(), 2);
    EXPECT_TRUE(platform.shown[1].text.contains(QStringLiteral("is 4,294,967,296 bytes, more")));
    EXPECT_EQ(window.findChild<FileDiffView*>(), nullptr);
    window.settings().diffProgram = QStringLiteral("meld");
    platform.commandError.clear();
    window.mnuCompareFiles_Click();
    EXPECT_EQ(platform.commands.back(),
              QList<QByteArray>({"meld", path(source, odd), path(dest, odd)}));
    window.settings().diffProgram.clear();
    ASSERT_EQ(::truncate(path(dest, odd).constData(), 51LL * 1024 * 1024), 0);
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(platform.shown.size(), 2);
    EXPECT_EQ(view->statusText(), QStringLiteral("Binary files differ at byte 0"));
}

TEST_F(CompareFiles, ALineOfManyMegabytesShowsItsStartOnly) {
    QByteArray line(30 * 1024 * 1024, 'x');
    source.write(QStringLiteral("long.txt"), "first\n" + line + "a\n");
    dest.write(QStringLiteral("long.txt"), "first\n" + line + "b\n");
    FileDiffView view(path(source, "long.txt"), path(dest, "long.txt"), platform);
    view.show();
    ASSERT_TRUE(QSignalSpy(&view, &FileDiffView::compared).wait(20000));
    EXPECT_EQ(view.statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
    const int charWidth = view.area()->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    EXPECT_LT(view.area()->horizontalScrollBar()->maximum(), 21000 * charWidth);
}

TEST_F(CompareFiles, IgnoredDifferencesShowFaintlyAreNotStoppedAtAndTheChoiceIsKept) {
    source.write(QStringLiteral("crlf.txt"), "one\r\ntwo\r\nthree\r\nfour\r\n");
    dest.write(QStringLiteral("crlf.txt"), "one\ntwo\nTHREE\nfour\n");
    window.mnuRefresh_Click();
    window.lvSource()->setCurrentRow(2); // a.txt, b.txt, crlf.txt, only.txt
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 4 lines added · 4 removed"));
    QSignalSpy again(view, &FileDiffView::compared);
    view->findChild<QAction*>(QStringLiteral("mnuIgnoreLineEnds"))->trigger();
    ASSERT_TRUE(again.wait(10000));
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
    EXPECT_EQ(view->currentChange(), 0);
    EXPECT_EQ(view->comparison()->lines.changes, std::vector<int>{2});
    QTest::keyClick(view->area(), Qt::Key_F7);
    EXPECT_EQ(view->currentChange(), 0) << "the line endings are not a change";

    // The rows equal but for their line endings are tinted faintly.
    view->area()->verticalScrollBar()->setValue(0);
    const QImage image = view->area()->viewport()->grab().toImage();
    const QPalette& pal = view->area()->palette();
    const QColor base = pal.color(QPalette::Base), highlight = pal.color(QPalette::Highlight);
    const int rowHeight = view->area()->rowHeight(), x = view->area()->leftEnd() - 5;
    EXPECT_EQ(image.pixelColor(x, 2), mixedColour(base, highlight, 0.2 / 3));
    EXPECT_EQ(image.pixelColor(x, 2 * rowHeight + 2), mixedColour(base, highlight, 0.2));
    // A dark palette whose highlight lies close to its base still shows both.
    QPalette dark = pal;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Highlight, QColor(38, 79, 120));
    view->area()->setPalette(dark);
    const QImage darkImage = view->area()->viewport()->grab().toImage();
    const double faint = contrastRatio(darkImage.pixelColor(x, 2), QColor(30, 30, 30));
    EXPECT_GE(faint, 1.05);
    EXPECT_GT(contrastRatio(darkImage.pixelColor(x, 2 * rowHeight + 2), QColor(30, 30, 30)),
              faint + 0.05);

    EXPECT_EQ(window.settings().diffIgnore, IgnoreLineEnds);
    delete view;
    window.mnuCompareFiles_Click();
    view = shownView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->findChild<QAction*>(QStringLiteral("mnuIgnoreLineEnds"))->isChecked());
    EXPECT_EQ(view->statusText(), QStringLiteral("1 change · 1 line added · 1 removed"));
}

namespace {

// The view of two files written for the test, once compared.
struct OpenPair {
    OpenPair(TempTree& tree, ScriptedPlatform& platform, const QByteArray& left,
             const QByteArray& right, int ignore = 0)
        : leftPath(QFile::encodeName(tree.path()) + "/left.txt"),
          rightPath(QFile::encodeName(tree.path()) + "/right.txt") {
        tree.writeRaw("left.txt", left);
        tree.writeRaw("right.txt", right);
        view = new FileDiffView(leftPath, rightPath, platform, nullptr, ignore);
        view->show();
        view->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(view));
        settled();
    }
    ~OpenPair() { delete view.data(); }
    // Waits for the comparison, or for the last edit's to settle.
    void settled() {
        if (!view->comparison() || view->settling()) {
            EXPECT_TRUE(QSignalSpy(view, &FileDiffView::compared).wait(10000));
        }
    }
    QByteArray text(bool right) const {
        const LineDiff& d = view->comparison()->lines;
        return (right ? d.right : d.left).bytes();
    }
    static QByteArray onDisk(const QByteArray& path) {
        QFile file(QFile::decodeName(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
    QByteArray leftPath, rightPath;
    QPointer<FileDiffView> view;
};

} // namespace

TEST_F(CompareFiles, EachShapeOfChangeIsTakenAcrossEitherWayKeepingTheTargetsLineEndings) {
    const struct {
        const char *left, *right;
        bool toRight;
        const char* taken; // the target side afterwards
        int ignore = 0;
    } cases[] = {
        {"new\na\nb\n", "a\nb\n", true, "new\na\nb\n"},   // added at the start
        {"new\na\nb\n", "a\nb\n", false, "a\nb\n"},       // removed at the start
        {"a\nb\n", "a\nb\nend\n", false, "a\nb\nend\n"},  // added at the end
        {"a\nb\nc\n", "a\nB\nc\n", true, "a\nb\nc\n"},    // changed
        {"a\nb\nc\n", "a\nc\n", false, "a\nc\n"},         // removed within
        {"a\nlast", "a\nother\nmore\n", true, "a\nlast"}, // the end, no newline
        {"a\nb\n", "a\nb", false, "a\nb"},                // only the newline
        {"a\nb\n", "a\r\nx\r\n", true, "a\r\nb\r\n"},     // CRLF stays CRLF
        {"a\r\nb\r\nc\r\n", "a\nB\nC\nc\n", false, "a\r\nB\r\nC\r\nc\r\n"},
        // Lines taken after a last line without a newline give it one.
        {"b", "b\nc\n", false, "b\nc\n", IgnoreLineEnds},
    };
    for (const auto& c : cases) {
        OpenPair pair(source, platform, c.left, c.right, c.ignore);
        const QString what = QStringLiteral("%1 | %2").arg(c.left, c.right);
        ASSERT_FALSE(pair.view->comparison()->lines.changes.empty()) << qPrintable(what);
        pair.view->takeChange(0, c.toRight);
        pair.settled();
        EXPECT_EQ(pair.text(c.toRight), QByteArray(c.taken)) << qPrintable(what);
        EXPECT_EQ(pair.text(!c.toRight), QByteArray(c.toRight ? c.left : c.right));
        EXPECT_TRUE(pair.view->modified(c.toRight));
        EXPECT_FALSE(pair.view->modified(!c.toRight));
        // Undo within the view takes it back.
        pair.view->undo();
        pair.settled();
        EXPECT_EQ(pair.text(c.toRight), QByteArray(c.toRight ? c.right : c.left));
        EXPECT_FALSE(pair.view->modified(c.toRight));
    }
    // All changes at once, from the menu, undone in one step.
    OpenPair pair(source, platform, numbered(false), numbered(true));
    pair.view->findChild<QAction*>(QStringLiteral("mnuTakeAllLeft"))->trigger();
    pair.settled();
    EXPECT_EQ(pair.text(false), numbered(true));
    EXPECT_EQ(pair.view->statusText(), QStringLiteral("The files are identical"));
    pair.view->undo();
    pair.settled();
    EXPECT_EQ(pair.text(false), numbered(false));
}

TEST_F(CompareFiles, ThreeChangesTakenAndSavedAndTheSaveUndoneFromTheMainWindow) {
    const QByteArray target = path(dest, "a.txt");
    ASSERT_EQ(::chmod(target.constData(), 0640), 0);
    window.lvSource()->setCurrentRow(0);
    window.mnuCompareFiles_Click();
    FileDiffView* view = shownView();
    ASSERT_NE(view, nullptr);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view));
    for (int taken = 0; taken < 3; ++taken) {
        QSignalSpy settled(view, &FileDiffView::compared);
        // Alt+Right, through its action: a synthetic Alt press goes to the
        // menu bar's Alt navigation on X.
        QAction* take = view->findChild<QAction*>(QStringLiteral("mnuTakeRight"));
        ASSERT_EQ(take->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Right));
        take->trigger();
        ASSERT_TRUE(settled.wait(10000));
        EXPECT_EQ(view->comparison()->lines.changes.size(), size_t(2 - taken));
    }
    EXPECT_TRUE(view->windowTitle().contains(QStringLiteral("*") + QFile::decodeName(target)));
    // The caret on the left, unedited: Ctrl+S saves the right, and only it.
    struct stat left {
    }, leftAfter{};
    ASSERT_EQ(::stat(path(source, "a.txt"), &left), 0);
    view->area()->setCaret({false, 0, 0});
    EXPECT_FALSE(view->findChild<QAction*>(QStringLiteral("mnuSaveLeft"))->isEnabled());
    QTest::keyClick(view->area(), Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(::stat(path(source, "a.txt"), &leftAfter), 0);
    EXPECT_EQ(leftAfter.st_ctim.tv_nsec, left.st_ctim.tv_nsec);
    EXPECT_EQ(OpenPair::onDisk(target), numbered(false));
    struct stat st {};
    ASSERT_EQ(::stat(target.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the file keeps its mode";
    EXPECT_FALSE(view->windowTitle().contains(QLatin1Char('*')));
    EXPECT_TRUE(platform.shown.isEmpty());

    QAction* undo = window.menuEntry(QStringLiteral("mnuEditUndo"));
    EXPECT_EQ(undo->text(), QStringLiteral("&Undo Save of 1 File"));
    window.mnuEditUndo_Click();
    EXPECT_EQ(OpenPair::onDisk(target), numbered(true));
    EXPECT_TRUE(platform.shown.isEmpty());

    // Edits not saved keep the main window open when the user cancels.
    view->edit({true, 0, 1, "typed\n", {true, 0, 5}});
    platform.answers = {Answer::Cancel};
    window.close();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.findChild<FileDiffView*>(), view);
    EXPECT_EQ(platform.styles(), QList<int>({MsgStyle::QuestionYesNoCancel}));
}

TEST_F(CompareFiles, EditsAtEveryCaretStepKeepEveryByteOfTheFile) {
    // Past the first 8 KB a zero byte does not make the file binary.
    QByteArray file = QByteArray(9000, 'p') + "\r\n";
    const QByteArray lines[] = {
        QByteArray("a\xf0\x9f\x98\x80"
                   "c"),                            // an emoji: two UTF-16 units
        QByteArray("e\xcc\x81 n\xcc\x83\xcc\x88!"), // combining marks
        QByteArray("caf\xe9 \xff\xfe\xc3"),         // not UTF-8, a sequence cut short
        QByteArray("cr\rmid\0nul\tend", 15),        // CR within a line, NUL, tab
    };
    for (const QByteArray& line : lines)
        file += line + "\r\n";
    OpenPair pair(source, platform, file, "other\n");
    DiffArea* area = pair.view->area();
    area->setFocus();
    for (int line = 1; line <= 4; ++line) {
        for (int column = 0; column >= 0;) {
            // Typed and taken back, then the character after the caret cut and pasted.
            area->setCaret({false, line, column});
            QTest::keyClick(area, Qt::Key_Z);
            QTest::keyClick(area, Qt::Key_Backspace);
            QTest::keyClick(area, Qt::Key_Right, Qt::ShiftModifier);
            const QByteArray cut = area->selectedBytes();
            QTest::keyClick(area, Qt::Key_X, Qt::ControlModifier);
            if (cut == "\xe9") {
                EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("\u00e9"));
            }
            QTest::keyClick(area, Qt::Key_V, Qt::ControlModifier);
            ASSERT_EQ(pair.text(false), file)
                << line << ":" << column << " " << cut.toHex(' ').constData();
            column = area->caret().line == line ? area->caret().column : -1;
        }
    }
    ASSERT_TRUE(pair.view->save(false));
    EXPECT_EQ(OpenPair::onDisk(pair.leftPath), file);
}

TEST_F(CompareFiles, LineEndingsAreTheFilesOwnAndTheirCarriageReturnsNeverDrawn) {
    OpenPair pair(source, platform, "one\r\ntwo\r\n", "one\ntwo\n", IgnoreLineEnds);
    EXPECT_EQ(pair.view->lineEndsText(), QStringLiteral("CRLF \u00b7 LF"));
    pair.view->resize(800, 300);
    DiffArea* area = pair.view->area();
    area->clearFocus();
    const QImage image = area->viewport()->grab().toImage();
    const int width = area->leftEnd();
    ASSERT_EQ(image.width() - area->rightStart(), width);
    EXPECT_EQ(image.copy(0, 0, width, 2 * area->rowHeight()),
              image.copy(area->rightStart(), 0, width, 2 * area->rowHeight()));
    // Enter breaks a line with the line's own ending; Undo and Redo within the view.
    OpenPair mixed(source, platform, "a\r\nb\n", "x\n");
    EXPECT_EQ(mixed.view->lineEndsText(), QStringLiteral("mixed \u00b7 LF"));
    area = mixed.view->area();
    for (const int line : {1, 0}) {
        area->setCaret({false, line, 1});
        QTest::keyClick(area, Qt::Key_Return);
    }
    EXPECT_EQ(mixed.text(false), "a\r\n\r\nb\n\n");
    QTest::keyClick(area, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(mixed.text(false), "a\r\nb\n\n");
    QTest::keyClick(area, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(mixed.text(false), "a\r\n\r\nb\n\n");
}

TEST_F(CompareFiles, ChangesAreTakenOnlyFromTheComparisonShown) {
    OpenPair pair(source, platform, numbered(false), numbered(true));
    pair.view->edit({true, 0, 1, "typed\n", {true, 0, 5}});
    pair.settled();
    const QByteArray edited = pair.text(true);
    QAction* take = pair.view->findChild<QAction*>(QStringLiteral("mnuTakeRight"));
    // A new comparison of the edited texts begins: until it ends, no take.
    pair.view->findChild<QAction*>(QStringLiteral("mnuIgnoreCase"))->trigger();
    ASSERT_TRUE(pair.view->comparing());
    EXPECT_FALSE(take->isEnabled());
    pair.view->takeChange(0, true);
    pair.view->takeAll(true);
    EXPECT_EQ(pair.text(true), edited);
    pair.settled();
    ASSERT_TRUE(take->isEnabled());
    pair.view->takeChange(0, true);
    pair.settled();
    EXPECT_EQ(pair.view->statusText(), QStringLiteral("3 changes · 3 lines added · 3 removed"));
}

TEST_F(CompareFiles, ASaveWritesOnlyTheFileReadAskingOrRefusingWhenItsNameHoldsAnother) {
    TempTree outside;
    outside.write(QStringLiteral("target.txt"), "not yours\n");
    const QByteArray target = QFile::encodeName(outside.filePath(QStringLiteral("target.txt")));
    const auto replace = [&](const QByteArray& at) {
        outside.write(QStringLiteral("other.txt"), "someone else's\n");
        ::rename(QFile::encodeName(outside.filePath(QStringLiteral("other.txt"))), at);
    };
    const struct {
        const char* what;
        std::function<void(const QByteArray&)> put;
        std::deque<int> answers;
        int style;
        const char* said;
        bool saved;
    } cases[] = {
        {"a link",
         [&](const QByteArray& at) { ::unlink(at), ::symlink(target, at); },
         {},
         MsgStyle::Critical,
         "a link",
         false},
        {"a pipe",
         [](const QByteArray& at) { ::unlink(at), ::mkfifo(at, 0600); },
         {},
         MsgStyle::Critical,
         "not a file",
         false},
        {"another file",
         replace,
         {Answer::Cancel},
         MsgStyle::QuestionYesNoCancel,
         "replaced",
         false},
        {"another file", replace, {Answer::No}, MsgStyle::QuestionYesNoCancel, "replaced", true},
        {"rewritten in place, its size and time put back",
         [](const QByteArray& at) {
             struct stat st {};
             ::stat(at, &st);
             const int fd = ::open(at, O_WRONLY);
             EXPECT_EQ(::write(fd, "x\ny\n", 4), 4);
             ::close(fd);
             ::utimensat(AT_FDCWD, at, std::array{st.st_atim, st.st_mtim}.data(), 0);
         },
         {Answer::Yes}, // reads it again
         MsgStyle::QuestionYesNo,
         "rewritten",
         false},
        {"deleted",
         [](const QByteArray& at) { ::unlink(at); },
         {Answer::Yes},
         MsgStyle::QuestionYesNo,
         "deleted",
         true},
    };
    TempTree tree;
    for (const auto& c : cases) {
        ::unlink(path(tree, "right.txt"));
        OpenPair pair(tree, platform, "a\nb\n", "a\nc\n");
        pair.view->takeChange(0, true);
        pair.settled();
        c.put(pair.rightPath);
        struct stat put {
        }, after{};
        ::lstat(pair.rightPath, &put);
        platform.shown.clear();
        platform.answers = c.answers;
        EXPECT_EQ(pair.view->save(true), c.saved) << c.what;
        ASSERT_EQ(platform.shown.size(), 1) << c.what;
        EXPECT_EQ(platform.shown[0].style, c.style) << c.what;
        EXPECT_TRUE(platform.shown[0].text.contains(QLatin1String(c.said))) << c.what;
        ::lstat(pair.rightPath, &after);
        if (c.saved)
            EXPECT_EQ(OpenPair::onDisk(pair.rightPath), "a\nb\n") << c.what;
        else
            EXPECT_TRUE(after.st_ino == put.st_ino &&
                        after.st_mtim.tv_nsec == put.st_mtim.tv_nsec &&
                        after.st_ctim.tv_nsec == put.st_ctim.tv_nsec)
                << c.what;
        EXPECT_EQ(OpenPair::onDisk(target), "not yours\n") << c.what;
        if (!c.saved && c.answers == std::deque<int>{Answer::Yes}) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !pair.view->comparing(); }));
            EXPECT_EQ(pair.text(true), "x\ny\n") << "the edits dropped";
            EXPECT_FALSE(pair.view->modified(true));
        }
        EXPECT_EQ(
            QDir(tree.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"left.txt", "right.txt"}))
            << c.what << ": nothing left beside";
    }
    ::unlink(path(tree, "right.txt"));

    // Save As writes a side anywhere; closing asks about each side with edits.
    OpenPair pair(tree, platform, "a\nb\n", "a\nc\n");
    pair.view->edit({false, 0, 1, "mine\n", {false, 0, 4}});
    platform.saveNames = {target};
    ASSERT_TRUE(pair.view->saveAs(false));
    EXPECT_EQ(OpenPair::onDisk(target), "mine\nb\n");
    EXPECT_TRUE(pair.view->windowTitle().startsWith(QFile::decodeName(target)));
    // Its folder renamed since it was read, the file is saved there, the old one kept.
    const QByteArray moved = QFile::encodeName(tree.path()) + "-moved";
    ASSERT_EQ(::rename(QFile::encodeName(tree.path()), moved), 0);
    const qsizetype asked = platform.shown.size();
    pair.view->edit({true, 0, 1, "theirs\n", {true, 0, 6}});
    EXPECT_TRUE(pair.view->save(true));
    ASSERT_EQ(::rename(moved, QFile::encodeName(tree.path())), 0);
    EXPECT_EQ(OpenPair::onDisk(pair.rightPath), "theirs\nc\n");
    EXPECT_EQ(platform.shown.size(), asked) << "no question";
    pair.view->edit({false, 0, 1, "more\n", {false, 0, 4}});
    platform.answers = {Answer::Cancel};
    EXPECT_FALSE(pair.view->close());
    platform.answers = {Answer::No};
    EXPECT_TRUE(pair.view->close());
    EXPECT_EQ(platform.shown.last().text,
              QStringLiteral("Save the changes to %1?").arg(QFile::decodeName(target)));
}

TEST_F(CompareFiles, ASaveNeedsRoomForOneCopyAndWithoutATrashAsksOnce) {
    TempTree mount;
    const QByteArray top = QFile::encodeName(mount.path());
    if (::mount("tmpfs", top, "tmpfs", 0, "size=2m") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { ::umount2(top, MNT_DETACH); });
    TempTree tree(mount.path());
    // 2 MiB: room for the file and one new version of it, not for a second copy.
    QByteArray big;
    for (int i = 0; big.size() < 900 * 1024; ++i)
        big += "line " + QByteArray::number(i) + '\n';
    {
        OpenPair pair(tree, platform, "x\n", big);
        QSignalSpy saved(pair.view, &FileDiffView::saved);
        pair.view->edit({true, 0, 1, "typed\n", {true, 0, 5}});
        ASSERT_TRUE(pair.view->save(true)) << qPrintable(platform.shown.value(0).text);
        EXPECT_EQ(saved.size(), 1) << "the old version is in the Trash";
        EXPECT_TRUE(OpenPair::onDisk(pair.rightPath).startsWith("typed\nline 1\n"));
    }
    // No usable Trash: asked once, No keeps the file, Yes replaces it.
    const QString trash = mount.filePath(".Trash-" + QString::number(::getuid()));
    ASSERT_TRUE(QDir(trash).removeRecursively());
    ASSERT_TRUE(QFile(trash).open(QIODevice::WriteOnly));
    OpenPair pair(tree, platform, "x\n", "y\n");
    QSignalSpy gone(pair.view, &FileDiffView::replacedForGood);
    pair.view->edit({true, 0, 1, "typed\n", {true, 0, 5}});
    for (const int answer : {Answer::No, Answer::Yes}) {
        platform.answers = {answer};
        EXPECT_EQ(pair.view->save(true), answer == Answer::Yes);
        EXPECT_EQ(platform.styles().last(), MsgStyle::QuestionYesNoNoDefault);
        EXPECT_TRUE(
            platform.shown.last().text.contains(QLatin1String("cannot be kept in the Trash")));
    }
    EXPECT_EQ(platform.shown.size(), 2);
    EXPECT_EQ(gone.size(), 1) << "nothing before it can be undone";
    EXPECT_EQ(OpenPair::onDisk(pair.rightPath), "typed\n");
}
