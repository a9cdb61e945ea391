#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/twips.h"
#include "support/scripted_platform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class WindowFrame : public ::testing::Test {
protected:
    void showAt(QSize size) {
        window.resize(size);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == size; }));
    }
    ScriptedPlatform platform;
    Main window{platform};
};

TEST_F(WindowFrame, CustomisedToolbarLastsAndCancelKeepsIt) {
    const QStringList defaults = window.toolbarArrangement();
    const QStringList custom = {"Help", "", "Open", "SwapFolders"};
    platform.toolbarArrangements.push_back({"Help", "", "Open", "NoSuchKey", "SwapFolders"});
    window.menuEntry(QStringLiteral("mnuCustomizeToolbar"))->trigger();
    window.mnuCustomizeToolbar_Click(); // cancelled
    ASSERT_EQ(platform.toolbarShown.size(), 2);
    EXPECT_EQ(platform.toolbarShown[0], defaults);
    EXPECT_EQ(platform.toolbarShown[1], custom);
    EXPECT_EQ(window.toolbarArrangement(), custom);

    // A button taken off and put back still runs its command.
    window.txtSource()->setText(QStringLiteral("/a"));
    platform.toolbarArrangements.push_back(defaults);
    window.mnuCustomizeToolbar_Click();
    window.toolbarButton(QStringLiteral("SwapFolders"))->trigger();
    EXPECT_EQ(window.txtDest()->text(), QStringLiteral("/a"));
}

TEST_F(WindowFrame, PanesAndTheirControlsFollowTheWindowSize) {
    for (const QSize size : {QSize(800, 600), QSize(801, 450)}) {
        showAt(size);
        const QRect band = window.centralWidget()->geometry();
        const QRect s = window.picSource()->geometry();
        const QRect d = window.picDest()->geometry();
        EXPECT_EQ(s, QRect(0, 0, d.width(), band.height())) << size.width();
        EXPECT_EQ(d.topLeft(), QPoint(s.width(), 0)) << "no gap between the panes";
        EXPECT_LE(std::abs(s.width() + d.width() - size.width()), 1);
        EXPECT_EQ(band.top(), window.tbrMain()->geometry().bottom() + 1);
        EXPECT_EQ(band.bottom() + 1, window.sbrMain()->geometry().top());

        const int button = qRound(255 / twipsPerPixelX(&window));
        EXPECT_EQ(window.cmdDest()->geometry(),
                  QRect(d.width() - button, 0, button, qRound(255 / twipsPerPixelY(&window))));
        const int boxHeight = window.txtDest()->height();
        EXPECT_EQ(window.txtDest()->geometry(),
                  QRect(0, 0, d.width() - button, window.cmdDest()->height()));
        EXPECT_EQ(window.lvDest()->geometry(),
                  QRect(0, boxHeight, d.width(), band.height() - boxHeight));
    }

    // Narrower than the button: the folder box stays, the rest moves. Lower
    // than the folder box: the list stays.
    const int button = window.cmdSource()->width();
    const QRect box = window.txtSource()->geometry();
    window.picSource()->resize(button - 4, 300);
    EXPECT_EQ(window.cmdSource()->x(), -4);
    EXPECT_EQ(window.txtSource()->geometry(), box);
    EXPECT_EQ(window.lvSource()->geometry(),
              QRect(0, box.height(), button - 4, 300 - box.height()));
    const QRect list = window.lvSource()->geometry();
    window.picSource()->resize(200, box.height() - 5);
    EXPECT_EQ(window.txtSource()->width(), 200 - button);
    EXPECT_EQ(window.lvSource()->geometry(), list);
}

TEST_F(WindowFrame, ProgressBarLiesOverTheSecondStatusPanelAtEverySize) {
    const auto over = [&] {
        const QRect panel(window.statusPanel2()->mapTo(&window, QPoint(0, 0)),
                          window.statusPanel2()->size());
        const QRect status = window.sbrMain()->geometry();
        const double ty = twipsPerPixelY(&window);
        return panel.left() > window.width() / 4 && // panel 2 is the right-hand one
               window.pbrMain()->geometry() == QRect(panel.left(), status.top() + qRound(25 / ty),
                                                     panel.width(),
                                                     qRound((status.height() * ty - 35) / ty));
    };
    for (const QSize size : {QSize(900, 500), QSize(640, 700)}) {
        showAt(size);
        EXPECT_TRUE(QTest::qWaitFor(over)) << size.width();
    }
}

TEST(CenterForm, MovesToTheMiddleOfTheScreenKeepingTheSize) {
    QWidget form;
    const QRect screen = form.screen()->geometry();
    const QSize sizes[] = {{300, 200}, {screen.width() + 100, screen.height() + 60}};
    for (const QSize size : sizes) {
        form.resize(size);
        CenterForm(&form);
        EXPECT_EQ(form.size(), size);
        EXPECT_EQ(form.pos(), QPoint(screen.x() + (screen.width() - size.width()) / 2,
                                     screen.y() + (screen.height() - size.height()) / 2));
    }
}

} // namespace
