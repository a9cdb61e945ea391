#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/twips.h"
#include "support/printers.h"
#include "support/scripted_platform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// One line per entry: dots for the nesting, the name, the caption, the
// shortcut, and "off" for an entry that starts disabled.
void describe(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
    for (const QAction* a : actions) {
        QString line = indent + a->objectName();
        if (!a->isSeparator())
            line += QLatin1Char(' ') + a->text();
        if (!a->shortcut().isEmpty())
            line += QLatin1Char(' ') + a->shortcut().toString();
        if (!a->isEnabled())
            line += QStringLiteral(" off");
        out << line;
        if (a->menu())
            describe(a->menu()->actions(), indent + QStringLiteral(". "), out);
    }
}

QStringList describe(const QList<QAction*>& actions) {
    QStringList out;
    describe(actions, QString(), out);
    return out;
}

QStringList lines(const char* text) {
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class WindowFrame : public ::testing::Test {
protected:
    ScriptedPlatform platform;
    Main window{platform};
};

TEST_F(WindowFrame, MenuBarHasEveryEntryWithCaptionShortcutAndStartingState) {
    EXPECT_EQ(describe(window.menuBar()->actions()), lines(R"(mneFile &File
. mnuOpen &Open off
. Sep2
. mnu_Folder &Folder
. . mnu_File_Folder_Change_Source Change &source...
. . mnu_File_Folder_Change_Destination Change &destination
. . mnu_Sep1
. . mnu_File_Folder_View_Info View &info
. . mnu_Sep2
. . mnu_File_Folder_Swap &Swap F8
. mnuDelete &Delete Del off
. mnuRename &Rename F2 off
. mnuProperties &Properties off
. Sep6
. mneExit E&xit
mnuEdit &Edit
. mnuEditCut Cu&t Ctrl+X off
. mnuEditCopy &Copy Ctrl+C off
. mnuEditPaste &Paste Ctrl+V off
. mnuEditBar2
. mnuEditDSelectAll Select &All Ctrl+A
. mnuEditInvertSelection &Invert Selection
mnuView &View
. mnuRefresh &Refresh F5
. Sep10
. mnuCustomizeToolbar &Customize toolbar...
. mnu_View_Options &Options...
mnuHelp &Help
. mnuHelp_Contents &Contents F1
. Sep7
. mnu_Help_OnTheWeb Duoscope on the web
. . mnu_Help_SendFeedback &Send feedback...
. . mnuHelp_Products &Product updates...
. . Sep8
. . mnu_Help_ZelmarWebPage &Zelmar Web Page
. . mnu_Help_FreeStuff &Free stuff...
. . mnu_Help_OnTheWeb_ProgrammersCorner Programmer's corner
. Sep5
. mnuHelpAbout &About...)"));
}

TEST_F(WindowFrame, ContextMenuIsApartFromTheMenuBarAndHasNoShortcuts) {
    ASSERT_NE(window.mnuContext(), nullptr);
    EXPECT_EQ(window.mnuContext()->objectName(), QStringLiteral("mnuContext"));
    EXPECT_EQ(describe(window.mnuContext()->actions()), lines(R"(mnuPopupOpen &Open off
Sep3
mnuPopupCut Cu&t off
mnuPopupCopy &Copy off
mnuPopupPaste &Paste off
Sep9
mnuPopupDelete &Delete off
mnuPopupRename &Rename off
Sep1
mnuPopupProperties &Properties off)"));
    EXPECT_FALSE(window.menuBar()->actions().contains(window.mnuContext()->menuAction()));
}

TEST_F(WindowFrame, ToolbarHasNineButtonsInFiveGroups) {
    const QStringList expected = {"Open",
                                  "",
                                  "Cut",
                                  "Copy",
                                  "Paste",
                                  "",
                                  "Delete",
                                  "Properties",
                                  "",
                                  "ViewFoldersInfo",
                                  "SwapFolders",
                                  "",
                                  "Help"};
    EXPECT_EQ(window.toolbarArrangement(), expected);
    EXPECT_EQ(window.tbrMain()->objectName(), QStringLiteral("tbrMain"));
    EXPECT_EQ(window.toolbarButton(QStringLiteral("ViewFoldersInfo"))->toolTip(),
              QStringLiteral("View folders info"));
    EXPECT_EQ(window.toolbarButton(QStringLiteral("SwapFolders"))->toolTip(),
              QStringLiteral("Swap folders"));
    QStringList enabled;
    for (const QString& key : expected) {
        if (key.isEmpty())
            continue;
        const QAction* button = window.toolbarButton(key);
        ASSERT_NE(button, nullptr) << key.toStdString();
        EXPECT_FALSE(button->icon().isNull()) << key.toStdString();
        if (key != QLatin1String("ViewFoldersInfo") && key != QLatin1String("SwapFolders")) {
            EXPECT_EQ(button->toolTip(), key);
        }
        if (button->isEnabled())
            enabled << key;
    }
    EXPECT_EQ(enabled, QStringList({"ViewFoldersInfo", "SwapFolders", "Help"}));
    EXPECT_EQ(window.toolbarButton(QStringLiteral("open")), nullptr) << "keys are exact";
}

TEST_F(WindowFrame, CustomisedToolbarLastsAndCancelKeepsIt) {
    const QStringList defaults = window.toolbarArrangement();
    platform.toolbarArrangements.push_back({"Help", "", "Open", "NoSuchKey", "SwapFolders"});
    window.menuEntry(QStringLiteral("mnuCustomizeToolbar"))->trigger();
    ASSERT_EQ(platform.toolbarShown.size(), 1);
    EXPECT_EQ(platform.toolbarShown[0], defaults);
    EXPECT_EQ(window.toolbarArrangement(), QStringList({"Help", "", "Open", "SwapFolders"}));

    window.mnuCustomizeToolbar_Click(); // cancelled
    ASSERT_EQ(platform.toolbarShown.size(), 2);
    EXPECT_EQ(platform.toolbarShown[1], QStringList({"Help", "", "Open", "SwapFolders"}));
    EXPECT_EQ(window.toolbarArrangement(), QStringList({"Help", "", "Open", "SwapFolders"}));

    // A button taken off and put back still runs its command.
    window.txtSource()->setText(QStringLiteral("/a"));
    window.txtDest()->setText(QStringLiteral("/b"));
    platform.toolbarArrangements.push_back(defaults);
    window.mnuCustomizeToolbar_Click();
    EXPECT_EQ(window.toolbarArrangement(), defaults);
    window.toolbarButton(QStringLiteral("SwapFolders"))->trigger();
    EXPECT_EQ(window.txtSource()->text(), QStringLiteral("/b"));
}

// The window's layout, in pixels at the window's own twips per pixel.
class Layout : public WindowFrame {
protected:
    void SetUp() override {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QRect band() const { return window.centralWidget()->geometry(); }
};

TEST_F(Layout, PanesSitSideBySideBetweenToolbarAndStatusBarAtEverySize) {
    for (const QSize size : {QSize(800, 600), QSize(801, 450), QSize(1600, 1000)}) {
        window.resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.width() == size.width(); }));
        const QRect s = window.picSource()->geometry();
        const QRect d = window.picDest()->geometry();
        SCOPED_TRACE(size.width());
        EXPECT_EQ(s.topLeft(), QPoint(0, 0));
        EXPECT_EQ(d.left(), s.right() + 1) << "no gap between the panes";
        EXPECT_EQ(s.width(), d.width());
        EXPECT_GE(d.right() + 1, window.width()) << "together as wide as the window";
        EXPECT_LE(d.right() + 1, window.width() + 1);
        EXPECT_EQ(s.height(), band().height());
        EXPECT_EQ(d.height(), band().height());
        EXPECT_EQ(band().top(), window.tbrMain()->geometry().bottom() + 1);
        EXPECT_EQ(band().bottom() + 1, window.sbrMain()->geometry().top());
    }
}

TEST_F(Layout, PaneControlsFollowThePaneSize) {
    window.resize(800, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.width() == 800; }));
    const int button = qRound(255 / twipsPerPixelX(&window));
    const QRect pane = window.picDest()->rect();
    EXPECT_EQ(window.cmdDest()->geometry(),
              QRect(pane.width() - button, 0, button, qRound(255 / twipsPerPixelY(&window))));
    EXPECT_EQ(window.txtDest()->geometry(),
              QRect(0, 0, pane.width() - button, window.cmdDest()->height()));
    EXPECT_EQ(window.lvDest()->geometry(), QRect(0, window.txtDest()->height(), pane.width(),
                                                 pane.height() - window.txtDest()->height()));

    // Narrower than the button: the folder box stays, the rest moves.
    const QRect box = window.txtSource()->geometry();
    window.picSource()->resize(button - 4, 300);
    EXPECT_EQ(window.cmdSource()->x(), -4);
    EXPECT_EQ(window.txtSource()->geometry(), box);
    EXPECT_EQ(window.lvSource()->geometry(),
              QRect(0, box.height(), button - 4, 300 - box.height()));

    // Lower than the folder box: the list stays, the rest moves.
    const QRect list = window.lvSource()->geometry();
    window.picSource()->resize(200, box.height() - 5);
    EXPECT_EQ(window.cmdSource()->x(), 200 - button);
    EXPECT_EQ(window.txtSource()->width(), 200 - button);
    EXPECT_EQ(window.lvSource()->geometry(), list);
}

TEST_F(Layout, ProgressBarLiesOverTheSecondStatusPanel) {
    window.resize(900, 500);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.width() == 900; }));
    window.trmPaste_Timer();
    const QRect panel(window.statusPanel2()->mapTo(&window, QPoint(0, 0)),
                      window.statusPanel2()->size());
    const QRect bar = window.pbrMain()->geometry();
    EXPECT_EQ(window.pbrMain()->parentWidget(), &window);
    EXPECT_EQ(bar.left(), panel.left());
    EXPECT_EQ(bar.width(), panel.width());
    const QRect status = window.sbrMain()->geometry();
    EXPECT_EQ(bar.top(), status.top() + qRound(25 / twipsPerPixelY(&window)));
    EXPECT_EQ(bar.height(),
              qRound((status.height() * twipsPerPixelY(&window) - 35) / twipsPerPixelY(&window)));
    EXPECT_GT(panel.left(), window.width() / 4) << "panel 2 is the right-hand one";
}

TEST(CenterForm, MovesToTheMiddleOfTheScreenKeepingTheSize) {
    QWidget form;
    form.resize(300, 200);
    CenterForm(&form);
    const QRect screen = form.screen()->geometry();
    EXPECT_EQ(form.size(), QSize(300, 200));
    EXPECT_EQ(form.pos(), QPoint(screen.x() + (screen.width() - 300) / 2,
                                 screen.y() + (screen.height() - 200) / 2));
    form.resize(screen.width() + 100, screen.height() + 60);
    CenterForm(&form);
    EXPECT_EQ(form.pos(), QPoint(screen.x() - 50, screen.y() - 30));
}

} // namespace
