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
#include <gtest/gtest.h>

namespace {

QString values(const FilterSettings& s) {
    return QString::asprintf("%d%d%d%d%d|", s.loadIcons, s.showArchive, s.showReadOnly,
                             s.showHidden, s.showSystem) +
           s.fileTypes + QLatin1Char('|') + s.diffProgram;
}

void changeEverything(Options& o) {
    o.txtFileTypes()->setText(QStringLiteral("*.txt"));
    o.txtDiffProgram()->setText(QStringLiteral("meld %1 %2"));
    for (QCheckBox* box : o.findChildren<QCheckBox*>())
        box->toggle();
}

class OptionsExchange : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"a.txt", ".b.txt", "c.doc"})
            source.write(QString::fromLatin1(name));
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path()); // empty: no folder rows from elsewhere
        window.mnuRefresh_Click();
    }
    // Opens Options from the menu and lets `act` work in it; the refreshes that followed.
    int refreshesAfter(const std::function<void(Options&)>& act) {
        QSignalSpy refreshes(&window, &Main::foldersScanned);
        platform.dialogActions.push_back([act](QDialog& d) { act(static_cast<Options&>(d)); });
        window.menuEntry(QStringLiteral("mnu_View_Options"))->trigger();
        return int(refreshes.count());
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source, dest;
    const QString defaults = values(window.settings());
};

TEST_F(OptionsExchange, OkAlwaysRefreshesOnceAndStoresTheControlsAsTheyAre) {
    EXPECT_EQ(refreshesAfter([](Options& o) { o.cmdOK()->click(); }), 1);
    EXPECT_EQ(values(window.settings()), defaults);
    EXPECT_EQ(window.Tag, QStringLiteral("Refresh"));

    EXPECT_EQ(refreshesAfter([](Options& o) {
                  changeEverything(o);
                  QTest::keyClick(o.txtFileTypes(), Qt::Key_Return); // the default button
              }),
              1);
    EXPECT_EQ(values(window.settings()), QStringLiteral("00011|*.txt|meld %1 %2"));
    EXPECT_EQ(window.lvSource()->rowText(0) + window.lvSource()->rowText(1), ".b.txta.txt");

    // The next opening shows what OK stored; an empty pattern is stored empty.
    refreshesAfter([](Options& o) {
        EXPECT_TRUE(o.txtFileTypes()->text() == "*.txt" && o.chkHidden()->isChecked());
        o.txtFileTypes()->clear();
        o.cmdOK()->click();
    });
    EXPECT_EQ(window.settings().fileTypes, QString());
}

TEST_F(OptionsExchange, CancelEscapeAndCloseChangeNothing) {
    const std::function<void(Options&)> closers[] = {
        [](Options& o) { o.cmdCancel()->click(); },
        [](Options& o) { QTest::keyClick(&o, Qt::Key_Escape); }, [](Options& o) { o.close(); }};
    for (const auto& close : closers) {
        EXPECT_EQ(refreshesAfter([&](Options& o) {
                      changeEverything(o);
                      close(o);
                  }),
                  0);
        EXPECT_EQ(values(window.settings()) + window.Tag, defaults);
    }
}

TEST_F(OptionsExchange, PagesShowOneAtATimeWithTheFocusOnTheirFirstControl) {
    refreshesAfter([](Options& o) {
        EXPECT_FALSE(o.picView()->isVisible());
        for (int tab : {1, 0}) {
            o.tsOptions()->setCurrentIndex(tab);
            EXPECT_EQ(o.picGeneral()->isVisible(), tab == 0);
            EXPECT_EQ(o.picView()->isVisible(), tab == 1);
            EXPECT_EQ(o.focusWidget(),
                      tab == 0 ? static_cast<QWidget*>(o.chkIcons()) : o.txtFileTypes());
        }
    });
}

} // namespace
