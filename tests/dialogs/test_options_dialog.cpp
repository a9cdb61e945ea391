#include "dialogs/options_dialog.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace {

QString values(const FilterSettings& s) {
    return QStringLiteral("%1|%2 %3 %4 %5 %6")
        .arg(s.fileTypes)
        .arg(s.loadIcons)
        .arg(s.showArchive)
        .arg(s.showReadOnly)
        .arg(s.showHidden)
        .arg(s.showSystem);
}

void changeEverything(Options& o) {
    o.txtFileTypes()->setText(QStringLiteral("*.txt"));
    for (QCheckBox* box :
         {o.chkIcons(), o.chkArchive(), o.chkReadOnly(), o.chkHidden(), o.chkSystem()})
        box->toggle();
}

class OptionsExchange : public ::testing::Test {
protected:
    void SetUp() override {
        source.write(QStringLiteral("a.txt"));
        source.write(QStringLiteral(".b.txt"));
        source.write(QStringLiteral("c.doc"));
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
        window.mnuRefresh_Click();
    }
    // Opens the dialog from the menu, lets `act` work in it; the refreshes that followed.
    int refreshesAfter(std::function<void(Options&)> act) {
        QSignalSpy refreshes(&window, &Main::foldersScanned);
        platform.dialogActions.push_back([act](QDialog& d) { act(static_cast<Options&>(d)); });
        window.menuEntry(QStringLiteral("mnu_View_Options"))->trigger();
        return int(refreshes.count());
    }
    QString sourceRows() const {
        QStringList rows;
        for (int i = 0; i < window.lvSource()->count(); ++i)
            rows << window.lvSource()->rowText(i);
        return rows.join(QLatin1Char(','));
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};

TEST_F(OptionsExchange, OkAlwaysRefreshesOnceAndStoresTheControlsAsTheyAre) {
    const QString before = values(window.settings());
    EXPECT_EQ(refreshesAfter([](Options& o) { o.cmdOK()->click(); }), 1);
    EXPECT_EQ(values(window.settings()), before);
    EXPECT_EQ(window.Tag, QStringLiteral("Refresh"));

    EXPECT_EQ(refreshesAfter([](Options& o) {
                  changeEverything(o);
                  QTest::keyClick(o.txtFileTypes(), Qt::Key_Return); // the default button
              }),
              1);
    EXPECT_EQ(values(window.settings()), QStringLiteral("*.txt|0 0 0 1 1"));
    EXPECT_EQ(sourceRows(), QStringLiteral(".b.txt,a.txt"));

    // The next opening shows what OK stored; an empty pattern is stored empty.
    refreshesAfter([](Options& o) {
        EXPECT_EQ(o.txtFileTypes()->text(), QStringLiteral("*.txt"));
        EXPECT_TRUE(o.chkHidden()->isChecked());
        EXPECT_FALSE(o.chkIcons()->isChecked());
        o.txtFileTypes()->clear();
        o.cmdOK()->click();
    });
    EXPECT_EQ(window.settings().fileTypes, QString());
}

TEST_F(OptionsExchange, CancelEscapeAndCloseChangeNothing) {
    const QString before = values(window.settings());
    const std::function<void(Options&)> closers[] = {
        [](Options& o) { o.cmdCancel()->click(); },
        [](Options& o) { QTest::keyClick(&o, Qt::Key_Escape); },
        [](Options& o) { o.close(); },
    };
    for (const auto& close : closers) {
        EXPECT_EQ(refreshesAfter([&](Options& o) {
                      changeEverything(o);
                      close(o);
                  }),
                  0);
        EXPECT_EQ(values(window.settings()), before);
        EXPECT_EQ(window.Tag, QString());
    }
    EXPECT_EQ(platform.dialogsShown.size(), 3);
}

TEST_F(OptionsExchange, PagesShowOneAtATimeWithTheFocusOnTheirFirstControl) {
    refreshesAfter([](Options& o) {
        EXPECT_TRUE(o.picGeneral()->isVisible());
        EXPECT_FALSE(o.picView()->isVisible());
        o.tsOptions()->setCurrentIndex(1);
        EXPECT_FALSE(o.picGeneral()->isVisible());
        EXPECT_TRUE(o.picView()->isVisible());
        EXPECT_EQ(o.focusWidget(), o.txtFileTypes());
        o.tsOptions()->setCurrentIndex(0);
        EXPECT_TRUE(o.picGeneral()->isVisible());
        EXPECT_FALSE(o.picView()->isVisible());
        EXPECT_EQ(o.focusWidget(), o.chkIcons());
    });
}

} // namespace
