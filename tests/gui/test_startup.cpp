#include "base/number_text.h"
#include "base/text_formats.h"
#include "dialogs/file_diff_view.h"
#include "dialogs/sync_mode_dialog.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_cache.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/icon_theme.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/twips.h"
#include "store/settings_store.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <fcntl.h>
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
    ASSERT_TRUE(w.Form_Load());
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
    // Every toolbar button has an image, the style's own where the theme has
    // none, and the desktop's settings are obeyed again after.
    for (const QAction* a : w.findChildren<QAction*>(QRegularExpression("^tbr_")))
        EXPECT_FALSE(a->icon().isNull()) << qPrintable(a->objectName());
    EXPECT_TRUE(QGuiApplication::desktopSettingsAware());
}

TEST_F(Startup, PlacementFitsTheScreenWhateverIsStored) {
    for (const char* placement :
         {"Width=1e12\nHeight=1e12", "Left=1e9\nTop=1e9\nWidth=3000", "Left=-90000\nTop=-90000",
          "Width=-500\nHeight=1e999", "Left=300\nTop=300\nWidth=1e12\nHeight=2000"}) {
        store(QByteArray("WindowState=0\n") + placement);
        Main w(platform);
        ASSERT_TRUE(w.Form_Load());
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
        ASSERT_TRUE(w.Form_Load());
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
        ASSERT_TRUE(w.Form_Load());
        w.setWindowState(Qt::WindowNoState);
        w.move(30, 45);
        w.resize(640, 480);
        w.txtSource()->setText(a.path());
        w.txtDest()->setText(b.path() + QStringLiteral("/"));
        for (int c = 0; c < 4; ++c) {
            w.lvSource()->setColumnWidth(c, 50 + c);
            w.lvDest()->setColumnWidth(c, 90 + c);
        }
        w.settings() = {QStringLiteral("*.txt;x, y"),   0,  1, 1, 0,         0,
                        QStringLiteral("meld '%1' %2"), 12, 1, 1, {5, true}, {}};
        w.settings().excludeNames = QStringLiteral("a/b; \"*.o");
        // 12: the comparison window ignores line endings and case
        w.menuEntry(QStringLiteral("mnuCompareContents"))->setChecked(false); // on by default
        w.tbrMain_ButtonClick(QStringLiteral("OnlyDifferences"));
        w.menuEntry(QStringLiteral("mnuShowSubfolders"))->trigger(); // on by default
        w.tbrMain_ButtonClick(QStringLiteral("Flatten"));
        platform.dialogActions.push_back([](QDialog& d) {
            static_cast<SyncModeDialog&>(d).button(SyncMode::TwoWay)->click();
            d.accept();
        });
        w.mnuEditSynchronize_Click(); // two empty folders: nothing to do
        w.mneExit_Click();            // closing runs the shut-down
    }
    EXPECT_EQ(QSettings(storeFile(), QSettings::IniFormat).allKeys().size(), 33);
    EXPECT_EQ(stored(QStringLiteral("AppPath")), QCoreApplication::applicationDirPath());

    Main w(platform);
    ASSERT_TRUE(w.Form_Load());
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
    EXPECT_FALSE(w.menuEntry(QStringLiteral("mnuCompareContents"))->isChecked());
    EXPECT_TRUE(w.settings().times.tolerance == 5 && w.settings().times.ignoreHourShift);
    EXPECT_EQ(w.settings().excludeNames, QStringLiteral("a/b; \"*.o"));
    EXPECT_TRUE(w.flattened() && w.toolbarButton(QStringLiteral("Flatten"))->isChecked() &&
                !w.lvSource()->isColumnHidden(PaneModel::Folder));
    EXPECT_TRUE(w.menuEntry(QStringLiteral("mnuViewOnlyDifferences"))->isChecked() &&
                w.toolbarButton(QStringLiteral("OnlyDifferences"))->isChecked());
    EXPECT_FALSE(w.menuEntry(QStringLiteral("mnuShowSubfolders"))->isChecked() ||
                 w.settings().showSubfolders);
    bool offered = false;
    platform.dialogActions.push_back([&](QDialog& d) {
        offered = static_cast<SyncModeDialog&>(d).button(SyncMode::TwoWay)->isChecked();
    });
    w.tbrMain_ButtonClick(QStringLiteral("Synchronize"));
    EXPECT_TRUE(offered);
}

TEST_F(Startup, StoredTextsThatAreNotCleanNumbers) {
    store("WindowState=0abc\nLeft=abc\nTop=300twips\nHeight=3000\nShowHidden=-1\n"
          "ShowArchive=2.5\nShowReadOnly=yes\nShowSystem=40000\nDestSizeColWidth=1500\n"
          "SourceNameColWidth=1500 wide\n");
    Main w(platform);
    ASSERT_TRUE(w.Form_Load());
    EXPECT_EQ(w.windowState(), Qt::WindowNoState);
    EXPECT_EQ(w.x(), 0);
    EXPECT_EQ(w.y(), px(w, 300));
    // Unreadable, or outside 16 bits: the key's default.
    EXPECT_EQ(fields(w.settings()), std::tuple(QStringLiteral("*.*"), 2, 1, 1, 0, 1));
    EXPECT_EQ(w.lvSource()->columnWidth(0), px(w, 3360)) << "widths are read strictly";
    EXPECT_EQ(w.lvDest()->columnWidth(1), px(w, 1500));

    store("WindowState=5\n");
    Main out(platform);
    ASSERT_TRUE(out.Form_Load());
    EXPECT_TRUE(out.windowState() & Qt::WindowMaximized) << "out of range: the default";
}

TEST_F(Startup, CommandLineFoldersAndFilesAreTakenFromTheStartingFolder) {
    store("Destination=/stored/dest\nSource=/stored/source\n");
    TempTree t;
    t.write(QStringLiteral("work/A/a.txt"), "a");
    t.write(QStringLiteral("work/B/f2.txt"), "b");
    t.write(QStringLiteral("work/f1.txt"), "a\n");
    const QString work = t.filePath(QStringLiteral("work")) + '/';
    struct Case {
        QStringList arguments;
        QStringList answers; // of the folder dialogs, in turn
        QString source, dest, asked, shown;
    } cases[] = {
        // Relative to where the program started, stored as absolute.
        {{"A", "./B/"}, {}, "A", "B", "", ""},
        {{"A/../B", work + "A"}, {}, "B", "A", "", ""},
        // One folder: the other is asked for, from the starting folder.
        {{"A"}, {work + "B"}, "A", "B", "work|Select folder to match with " + work + "A", ""},
        // A folder that is not there is named, then asked for from what is left.
        {{"A", "gone/deeper"},
         {work + "B"},
         "A",
         "B",
         "work|Select destination Folder:",
         work + "gone/deeper does not exist."},
        {{"f1.txt/", "B"},
         {work + "A"},
         "A",
         "B",
         "work|Select source Folder:",
         work + "f1.txt is not a folder."},
        // Two files: their folders, then the two side by side.
        {{"f1.txt", "B/f2.txt"}, {}, "", "B", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        platform.browsed.clear();
        platform.shown.clear();
        platform.folders.assign(c.answers.begin(), c.answers.end());
        Main w(platform);
        ASSERT_TRUE(w.Form_Load(c.arguments, work));
        EXPECT_EQ(w.txtSource()->text(), (work + c.source).chopped(c.source.isEmpty() ? 1 : 0));
        EXPECT_EQ(w.txtDest()->text(), work + c.dest);
        const QString asked = platform.browsed.isEmpty()
                                  ? QString()
                                  : platform.browsed.last().initialFolder.mid(t.path().size() + 1) +
                                        '|' + platform.browsed.last().title;
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(platform.shown.isEmpty() ? QString() : platform.shown[0].text, c.shown);
        w.Form_Activate();
        const auto* view = w.findChild<FileDiffView*>();
        EXPECT_EQ(view != nullptr, c.source.isEmpty());
        if (view) {
            EXPECT_EQ(view->windowTitle(), work + "f1.txt \u2194 " + work + "B/f2.txt");
        }
        w.Form_Unload();
        EXPECT_EQ(stored(QStringLiteral("Source")), w.txtSource()->text());
    }

    // Cancelling a folder question ends the start with nothing written.
    store("Source=/stored/source\n");
    const QByteArray before = config.read(QStringLiteral("Zelmar/Duoscope.ini"));
    for (const QStringList& arguments : {QStringList{"A"}, QStringList{"A", "gone"}}) {
        Main w(platform);
        EXPECT_FALSE(w.Form_Load(arguments, work));
    }
    EXPECT_EQ(config.read(QStringLiteral("Zelmar/Duoscope.ini")), before);
}

TEST_F(Startup, AStoredFolderThatIsGoneSaysSoAndTypingStartsAboveIt) {
    TempTree t;
    const QString gone = t.filePath(QStringLiteral("x/y"));
    store("Source=" + QFile::encodeName(gone) + "\nDestination=" + QFile::encodeName(t.path()) +
          "\n");
    Main w(platform);
    ASSERT_TRUE(w.Form_Load());
    w.mnuRefresh_Click();
    EXPECT_EQ(w.txtSource()->text(), gone);
    EXPECT_EQ(w.lvSource()->note(), gone + QStringLiteral(" no longer exists"));
    EXPECT_TRUE(w.statusText().contains(w.lvSource()->note()));
    EXPECT_TRUE(w.lvDest()->note().isEmpty());
    w.cmdSource_Click(); // the folder dialog too opens on what is left
    EXPECT_EQ(platform.browsed.last().initialFolder, t.path());
    w.show();
    QTest::mouseClick(w.txtSource(), Qt::LeftButton);
    const auto* entry = w.txtSource()->findChild<QLineEdit*>();
    ASSERT_TRUE(entry && entry->isVisible());
    EXPECT_EQ(entry->text(), t.path() + '/');
}

TEST_F(Startup, ShutDownReplacesTheStoreWholeAndRemovesTheScratchFile) {
    TempTree files;
    files.write(QStringLiteral("a.txt"), "a");
    const QByteArray folder = QFile::encodeName(files.path());
    store("Source=" + folder + "\nDestination=" + folder + "\n");
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(storeFile()).constData(), &before), 0);

    Main w(platform);
    ASSERT_TRUE(w.Form_Load());
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

// Themes "own" (inheriting "parent") and "hicolor", each with the cache the
// desktop's tool writes; asked with and without SVG images being drawn.
TEST(IconThemeCaches, SayAnIconIsMissingOnlyWhenNoInheritedThemeHasIt) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("gtk-update-icon-cache"));
    if (tool.isEmpty())
        GTEST_SKIP() << "gtk-update-icon-cache is not installed";
    TempTree icons, more;
    const auto theme = [&](const QString& name, const QByteArray& inherits,
                           const QStringList& images) {
        icons.write(name + "/index.theme",
                    "[Icon Theme]\nName=" + name.toUtf8() + "\n" + inherits +
                        "Directories=16x16/actions,scalable/actions\n\n[16x16/actions]\nSize=16\n"
                        "Type=Fixed\n\n[scalable/actions]\nSize=16\nType=Scalable\n");
        for (const QString& image : images)
            icons.write(name + '/' + image, "x");
        ASSERT_EQ(QProcess::execute(tool, {"-q", "-f", icons.filePath(name)}), 0);
    };
    theme("own", "Inherits=parent\n", {"16x16/actions/open.png", "scalable/actions/flip.svg"});
    theme("parent", "", {"16x16/actions/cut.png"});
    theme("hicolor", "", {"16x16/actions/tool.png"});
    const struct {
        const char* name;
        bool scalable, mayHave;
    } cases[] = {{"open", false, true},  {"open-recent-file", false, true},
                 {"cut", false, true},   {"tool", false, true},
                 {"flip", false, false}, {"flip", true, true},
                 {"paste", false, false}};
    for (const auto& c : cases) {
        IconThemeCaches caches({icons.path()}, c.scalable);
        EXPECT_EQ(caches.mayHave("own", c.name), c.mayHave) << c.name << ' ' << c.scalable;
    }
    EXPECT_TRUE(IconThemeCaches({icons.path()}, false).mayHave("gone", "paste"));

    // A folder of the theme with no cache, or changed after its cache was
    // written, is told by the files it holds.
    more.write("parent/16x16/actions/cut.png");
    EXPECT_FALSE(IconThemeCaches({icons.path(), more.path()}, false).mayHave("own", "paste"));
    more.write("parent/16x16/actions/paste.png");
    EXPECT_TRUE(IconThemeCaches({icons.path(), more.path()}, false).mayHave("own", "paste"));
    icons.write("hicolor/16x16/actions/paste.xpm");
    // A minute after the cache was written, whatever the clock says now.
    struct stat cache {};
    ASSERT_EQ(::stat(QFile::encodeName(icons.filePath("hicolor/icon-theme.cache")), &cache), 0);
    const timespec later[] = {{0, UTIME_OMIT}, {cache.st_mtim.tv_sec + 60, 0}};
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(icons.filePath("hicolor/16x16/actions")), later, 0),
        0);
    EXPECT_TRUE(IconThemeCaches({icons.path()}, false).mayHave("own", "paste"));
}

} // namespace

// The style's images decoded in one size are the style's own at the size
// drawn, in every mode.
TEST(StyleImage, IsTheStylesOwnUpToTheSizeDrawn) {
    const QStyle& style = *QApplication::style();
    const bool aware = QGuiApplication::desktopSettingsAware();
    for (int sp = 0; sp <= int(QStyle::SP_RestoreDefaultsButton); ++sp) {
        const auto image = QStyle::StandardPixmap(sp);
        const QIcon light = styleImage(style, image, 24);
        QGuiApplication::setDesktopSettingsAware(false);
        const QIcon full = style.standardIcon(image);
        QGuiApplication::setDesktopSettingsAware(aware);
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active})
            EXPECT_EQ(light.pixmap(24, mode).toImage(), full.pixmap(24, mode).toImage())
                << sp << ' ' << mode;
    }
    EXPECT_EQ(QGuiApplication::desktopSettingsAware(), aware);
    EXPECT_FALSE(
        styleImage(style, QStyle::SP_ArrowLeft, 24).availableSizes().contains(QSize(128, 128)));
}
