#include "core/number_text.h"
#include "core/settings_store.h"
#include "core/text_formats.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/twips.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// The store in a temporary folder, never the user's own.
class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        SettingsStore::setConfigFolder(config.path());
        qputenv("TEMP", QFile::encodeName(temp.path()));
    }
    void TearDown() override { qunsetenv("TEMP"); }

    QString storeFile() const { return config.filePath(QStringLiteral("Zelmar/Duoscope.ini")); }
    // Replaces the whole store with `lines` ("Key=text" each).
    void store(const QByteArray& lines) {
        config.write(QStringLiteral("Zelmar/Duoscope.ini"), "[Duoscope]\n" + lines);
    }
    QString stored(const QString& key) {
        QSettings s(storeFile(), QSettings::IniFormat);
        return s.value(QStringLiteral("Duoscope/") + key).toString();
    }
    static int px(const Main& w, double twips) { return qRound(twips / twipsPerPixelX(&w)); }
    static auto fields(const FilterSettings& f) {
        return std::tuple(f.fileTypes, f.showArchive, f.showReadOnly, f.showHidden, f.showSystem,
                          f.loadIcons);
    }

    TempTree config, temp;
    ScriptedPlatform platform;
};

TEST_F(Startup, FirstStartWithAnEmptyStore) {
    Main w(platform);
    ASSERT_TRUE(w.Form_Load(QString()));
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    // Un-maximised, it is smaller than the screen, and all of it on the screen.
    const QRect area = w.screen()->availableGeometry();
    EXPECT_TRUE(area.contains(w.geometry()));
    EXPECT_LT(w.height(), area.height());
    EXPECT_EQ(w.txtSource()->text(), QDir::homePath());
    EXPECT_EQ(w.txtDest()->text(), QDir::homePath());
    // Columns show their whole usual texts in the window's font.
    const TextFormats formats;
    const QString widest[] = {
        QString(), formats.sizeText(999'999'999), QStringLiteral("plain text document"),
        formats.modifiedText(QDateTime(QDate(2026, 12, 28), QTime(22, 58, 58)).toSecsSinceEpoch())};
    for (ListPane* pane : {w.lvSource(), w.lvDest()}) {
        EXPECT_EQ(pane->columnWidth(0), px(w, 3360));
        for (int c = 1; c < 4; ++c)
            EXPECT_GT(pane->columnWidth(c), pane->fontMetrics().horizontalAdvance(widest[c])) << c;
    }
    EXPECT_EQ(fields(w.settings()), std::tuple(QStringLiteral("*.*"), 1, 1, 0, 0, 1));
    EXPECT_EQ(w.ProgramFolder(), QCoreApplication::applicationDirPath() + '/');
    EXPECT_EQ(w.TempFolder(), temp.path() + '/');
    EXPECT_TRUE(platform.browsed.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(storeFile())) << "start-up writes nothing";
}

TEST_F(Startup, PlacementFitsTheScreenWhateverIsStored) {
    for (const char* placement :
         {"Width=1e12\nHeight=1e12", "Left=1e9\nTop=1e9\nWidth=3000", "Left=-90000\nTop=-90000",
          "Width=-500\nHeight=1e999", "Left=300\nTop=300\nWidth=1e12\nHeight=2000"}) {
        store(QByteArray("WindowState=0\n") + placement);
        Main w(platform);
        ASSERT_TRUE(w.Form_Load(QString()));
        SCOPED_TRACE(placement);
        const QRect area = w.screen()->availableGeometry();
        EXPECT_TRUE(area.contains(QRect(w.pos(), w.size()))) << "title bar and all";
        EXPECT_GT(w.width(), 0);
        w.Form_Unload();
        EXPECT_LE(lenientNumber(stored(QStringLiteral("Width"))), area.width() * twipsPerPixelX(&w))
            << "what cannot be used is not saved";
    }
}

TEST_F(Startup, ValuesLeftAloneAreSavedAsTheyWereReadInEveryWindowState) {
    for (const char* state : {"0", "1", "2"}) {
        store(QByteArray("WindowState=") + state +
              "\nLeft=7\nTop=22.5\nWidth=7001\nHeight=7000\nSourceNameColWidth=3361\n"
              "SourceSizeColWidth=1184\nSourceTypeColWidth=659\nDestModifiedColWidth=0.5\n");
        const QByteArray before = config.read(QStringLiteral("Zelmar/Duoscope.ini"));
        Main w(platform);
        ASSERT_TRUE(w.Form_Load(QString()));
        w.Form_Unload();
        for (const QByteArray& line : before.split('\n'))
            EXPECT_TRUE(config.read(QStringLiteral("Zelmar/Duoscope.ini")).contains(line))
                << line.data();
    }
}

TEST_F(Startup, EveryKeyIsSavedAtCloseAndReadBackAtTheNextStart) {
    TempTree a, b;
    {
        Main w(platform);
        ASSERT_TRUE(w.Form_Load(QString()));
        w.setWindowState(Qt::WindowNoState);
        w.move(30, 45);
        w.resize(640, 480);
        w.txtSource()->setText(a.path());
        w.txtDest()->setText(b.path() + QStringLiteral("/"));
        for (int c = 0; c < 4; ++c) {
            w.lvSource()->setColumnWidth(c, 50 + c);
            w.lvDest()->setColumnWidth(c, 90 + c);
        }
        w.settings() = {QStringLiteral("*.txt;x, y"),  0, 1, 1, 0, 0,
                        QStringLiteral("meld '%1' %2")};
        w.settings().diffIgnore = 12; // the comparison window's line endings and case
        w.menuEntry(QStringLiteral("mnuCompareContents"))->setChecked(true);
        w.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
        w.menuEntry(QStringLiteral("mnuShowSubfolders"))->trigger(); // on by default
        w.mneExit_Click();                                           // closing runs the shut-down
    }
    EXPECT_EQ(QSettings(storeFile(), QSettings::IniFormat).allKeys().size(), 28);
    EXPECT_EQ(stored(QStringLiteral("AppPath")), QCoreApplication::applicationDirPath());

    Main w(platform);
    ASSERT_TRUE(w.Form_Load(QString()));
    EXPECT_EQ(w.windowState(), Qt::WindowNoState);
    EXPECT_EQ(w.pos(), QPoint(30, 45));
    EXPECT_EQ(w.size(), QSize(640, 480));
    EXPECT_EQ(w.txtSource()->text(), a.path());
    EXPECT_EQ(w.txtDest()->text(), b.path() + QStringLiteral("/"));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(w.lvSource()->columnWidth(c), 50 + c);
        EXPECT_EQ(w.lvDest()->columnWidth(c), 90 + c);
    }
    EXPECT_EQ(fields(w.settings()), std::tuple(QStringLiteral("*.txt;x, y"), 0, 1, 1, 0, 0));
    EXPECT_EQ(w.settings().diffProgram, QStringLiteral("meld '%1' %2"));
    EXPECT_EQ(w.settings().diffIgnore, 12);
    EXPECT_TRUE(w.menuEntry(QStringLiteral("mnuCompareContents"))->isChecked());
    EXPECT_TRUE(w.menuEntry(QStringLiteral("mnuViewOnlyDifferences"))->isChecked() &&
                w.toolbarButton(QStringLiteral("OnlyDifferences"))->isChecked());
    EXPECT_FALSE(w.menuEntry(QStringLiteral("mnuShowSubfolders"))->isChecked() ||
                 w.settings().showSubfolders);
}

TEST_F(Startup, StoredTextsThatAreNotCleanNumbers) {
    store("WindowState=0abc\nLeft=abc\nTop=300twips\nHeight=3000\nShowHidden=-1\n"
          "ShowArchive=2.5\nShowReadOnly=yes\nShowSystem=40000\nDestSizeColWidth=1500\n"
          "SourceNameColWidth=1500 wide\n");
    Main w(platform);
    ASSERT_TRUE(w.Form_Load(QString()));
    EXPECT_EQ(w.windowState(), Qt::WindowNoState);
    EXPECT_EQ(w.x(), 0);
    EXPECT_EQ(w.y(), px(w, 300));
    // Unreadable, or outside 16 bits: the key's default.
    EXPECT_EQ(fields(w.settings()), std::tuple(QStringLiteral("*.*"), 2, 1, 1, 0, 1));
    EXPECT_EQ(w.lvSource()->columnWidth(0), px(w, 3360)) << "widths are read strictly";
    EXPECT_EQ(w.lvDest()->columnWidth(1), px(w, 1500));

    store("WindowState=5\n");
    Main out(platform);
    ASSERT_TRUE(out.Form_Load(QString()));
    EXPECT_TRUE(out.windowState() & Qt::WindowMaximized) << "out of range: the default";
}

TEST_F(Startup, AFolderArgumentAsksForItsMatchAndCancelEndsWithNothingWritten) {
    store("Destination=/stored/dest\nSource=/stored/source\n");
    const QByteArray before = config.read(QStringLiteral("Zelmar/Duoscope.ini"));
    {
        Main w(platform);
        EXPECT_FALSE(w.Form_Load(QStringLiteral("\"/some folder\"")));
    }
    EXPECT_EQ(config.read(QStringLiteral("Zelmar/Duoscope.ini")), before);

    TempTree chosen;
    platform.folders.push_back(chosen.path());
    {
        Main w(platform);
        ASSERT_TRUE(w.Form_Load(QStringLiteral("  /a folder ")));
        EXPECT_EQ(w.txtSource()->text(), QStringLiteral("  /a folder ")) << "used unchanged";
        w.Form_Unload();
    }
    ASSERT_EQ(platform.browsed.size(), 2);
    EXPECT_EQ(platform.browsed[0].initialFolder, QStringLiteral("/stored/dest"));
    EXPECT_EQ(platform.browsed[0].title,
              QStringLiteral("Select folder to match with \"/some folder\""));
    EXPECT_EQ(stored(QStringLiteral("Source")), QStringLiteral("  /a folder "));
    EXPECT_EQ(stored(QStringLiteral("Destination")), chosen.path());
}

TEST_F(Startup, ShutDownReplacesTheStoreWholeAndRemovesTheScratchFile) {
    TempTree files;
    files.write(QStringLiteral("a.txt"), "a");
    const QByteArray folder = QFile::encodeName(files.path());
    store("Source=" + folder + "\nDestination=" + folder + "\n");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(storeFile()).constData(), &before), 0);

    Main w(platform);
    ASSERT_TRUE(w.Form_Load(QString()));
    const QString scratch = w.TempFolder() + QStringLiteral("~ds1.tmp");
    w.Form_Unload(); // no refresh yet: nothing to remove, nothing reported
    EXPECT_TRUE(platform.shown.isEmpty());
    // Written beside and renamed into place: a crash mid-write cannot leave
    // a truncated store.
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(storeFile()).constData(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    w.mnuRefresh_Click();
    ASSERT_TRUE(QFileInfo::exists(scratch));
    w.Form_Unload();
    EXPECT_FALSE(QFileInfo::exists(scratch));
    EXPECT_EQ(stored(QStringLiteral("Source")), files.path());
}

} // namespace
