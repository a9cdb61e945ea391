#include "dialogs/toolbar_customize_dialog.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/twips.h"
#include "support/scripted_platform.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
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

QStringList keys(const char* spaced) {
    QStringList out = QString::fromLatin1(spaced).split(QLatin1Char(' '));
    out.replaceInStrings(QStringLiteral("|"), QString()); // "|" stands for a separator
    return out;
}

class ToolbarDialog : public ::testing::Test {
protected:
    void open(const QStringList& current) {
        QPixmap image(16, 16);
        image.fill(Qt::blue);
        QList<ToolbarButtonInfo> buttons;
        for (const QString& key : defaults)
            if (!key.isEmpty())
                buttons.append({key, key == QLatin1String("SwapFolders") ? "Swap folders" : key,
                                QIcon(image)});
        dialog = std::make_unique<ToolbarCustomizeDialog>(buttons, current, defaults);
    }
    QListWidget* list(const char* name) const { return dialog->findChild<QListWidget*>(name); }
    QStringList texts(const char* name) const {
        QStringList out;
        for (int i = 0; i < list(name)->count(); ++i)
            out << list(name)->item(i)->text();
        return out;
    }
    void select(const char* name, const QString& text) {
        list(name)->setCurrentRow(static_cast<int>(texts(name).indexOf(text)));
    }
    void click(const char* name) { dialog->findChild<QPushButton*>(name)->click(); }
    bool enabled(const char* name) const {
        return dialog->findChild<QPushButton*>(name)->isEnabled();
    }

    const QStringList defaults =
        keys("Open | Cut Copy Paste | Delete Properties | ViewFoldersInfo SwapFolders | Help");
    std::unique_ptr<ToolbarCustomizeDialog> dialog;
};

TEST_F(ToolbarDialog, OpensWithTheToolbarAndAddsAfterTheSelection) {
    open(keys("Open | Help Open"));
    EXPECT_EQ(dialog->arrangement(), keys("Open | Help")) << "a button stands once";
    EXPECT_EQ(texts("lstCurrent"), QStringList({"Open", "Separator", "Help"}));
    EXPECT_EQ(texts("lstAvailable"),
              QStringList({"Separator", "Cut", "Copy", "Paste", "Delete", "Properties",
                           "ViewFoldersInfo", "Swap folders"}));
    EXPECT_FALSE(list("lstAvailable")->item(7)->icon().isNull());

    list("lstCurrent")->setCurrentRow(0);
    for (const char* text : {"Swap folders", "Separator", "Separator"}) {
        select("lstAvailable", QLatin1String(text));
        click("cmdAdd");
    }
    EXPECT_EQ(dialog->arrangement(), keys("Open SwapFolders | | | Help"));
    EXPECT_EQ(texts("lstAvailable").count(QStringLiteral("Separator")), 1) << "always there";
    list("lstCurrent")->setCurrentRow(-1);
    select("lstAvailable", QStringLiteral("Cut"));
    click("cmdAdd");
    EXPECT_EQ(dialog->arrangement().last(), QStringLiteral("Cut")) << "no selection: at the end";
}

TEST_F(ToolbarDialog, RemoveReturnsButtonsToTheirPlaceAndDropsSeparators) {
    open(defaults);
    for (const char* text : {"Copy", "Open"}) {
        select("lstCurrent", QLatin1String(text));
        click("cmdRemove");
    }
    EXPECT_EQ(texts("lstAvailable"), QStringList({"Separator", "Open", "Copy"}));
    click("cmdRemove"); // the separator that followed Open, now selected
    EXPECT_EQ(dialog->arrangement(), keys("Cut Paste | Delete Properties | ViewFoldersInfo "
                                          "SwapFolders | Help"));
    EXPECT_EQ(texts("lstAvailable").count(QStringLiteral("Separator")), 1);
    click("cmdReset");
    EXPECT_EQ(dialog->arrangement(), defaults);
}

TEST_F(ToolbarDialog, MoveUpAndDownStopAtTheEnds) {
    open(keys("Open | Help"));
    list("lstCurrent")->setCurrentRow(0);
    EXPECT_FALSE(enabled("cmdMoveUp"));
    for (const char* button : {"cmdMoveDown", "cmdMoveDown", "cmdMoveDown", "cmdMoveUp"})
        click(button);
    EXPECT_EQ(dialog->arrangement(), keys("| Open Help")) << "the moved button stays selected";
}

} // namespace
