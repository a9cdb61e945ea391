// Start-up and shut-down: the stored settings into the window and back.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "base/number_text.h"
#include "dialogs/file_diff_view.h"
#include "dialogs/sync_mode_dialog.h"
#include "fs/exclusions.h"
#include "fs/folder_paths.h"
#include "fs/scratch_file.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/twips.h"
#include "remote/remote_address.h"
#include "shell/platform.h"
#include "store/settings_store.h"
#include "store/window_layout.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QStyle>

namespace {

const QString scratchName = QStringLiteral("~ds1.tmp");

// Column keys of each pane, in column order: Name, Size, Type, Modified.
const char* const sourceColumnKeys[] = {"SourceNameColWidth", "SourceSizeColWidth",
                                        "SourceTypeColWidth", "SourceModifiedColWidth"};
const char* const destColumnKeys[] = {"DestNameColWidth", "DestSizeColWidth", "DestTypeColWidth",
                                      "DestModifiedColWidth"};
const int columnDefaults[] = {3360, 1184, 659, 1544};

// Twips to whole pixels, kept within what a window system takes.
int toPixels(double twips, double twipsPerPixel) {
    const double pixels = std::round(twips / twipsPerPixel);
    return int(std::clamp(pixels, -double(QWIDGETSIZE_MAX), double(QWIDGETSIZE_MAX)));
}

// A stored switch, or `fallback` when absent or not readable as one.
qint16 readFlag(const SettingsStore& store, const char* key, qint16 fallback) {
    return storedFlag(store.read(QLatin1String(key), QString::number(fallback))).value_or(fallback);
}

// The frame a window manager is likely to add, guessed before the window is
// shown and its real frame is known: a title bar and thin borders.
QMargins expectedFrame(const QWidget* w) {
    constexpr int border = 4;
    const int title = std::max(w->style()->pixelMetric(QStyle::PM_TitleBarHeight),
                               w->fontMetrics().height() + 10);
    return {border, title + border, border, border};
}

} // namespace

void Main::Parts::rememberTwips(Main& m, const QString& key, double twips, int applied,
                                double twipsPerPixel) {
    // Only a value applied as it was asked for can be given back as it was read.
    if (toPixels(twips, twipsPerPixel) == applied)
        m.m_twipsRead.insert(key, {twips, applied});
}

void Main::Parts::writeTwips(const Main& m, SettingsStore& store, const QString& key, int pixels,
                             double twipsPerPixel) {
    // Untouched since start-up: the value as read, with no pixel rounding.
    const auto read = m.m_twipsRead.constFind(key);
    if (read != m.m_twipsRead.cend() && read->second == pixels)
        store.write(key, numberText(read->first));
    else
        store.write(key, numberText(float(pixels * twipsPerPixel)));
}

void Main::Parts::readColumns(Main& m, const SettingsStore& store, ListPane* pane,
                              const char* const keys[4]) {
    const double tx = twipsPerPixelX(&m);
    for (int c = 0; c < 4; ++c) {
        const QString key = QLatin1String(keys[c]);
        const QString text = store.read(key, QString());
        const std::optional<double> twips = text.isNull() ? std::nullopt : strictNumber(text);
        if (!twips) {
            // None stored: wide enough for what the column usually shows.
            pane->setColumnWidth(c, pane->fittingColumnWidth(c, toPixels(columnDefaults[c], tx)));
            continue;
        }
        const int pixels = std::max(0, toPixels(*twips, tx));
        pane->setColumnWidth(c, pixels);
        Parts::rememberTwips(m, key, *twips, pixels, tx);
    }
}

// Start-up: reads the stored settings into the window. `arguments` are
// the command line's folders or files (name texts), relative ones taken
// from `startFolder` (default: the folder the program was started
// from). None: the stored folders. One folder: the Source, and the
// folder to match it with is asked for. Two folders: Source and
// Destination. Two files: their folders, and once the window is shown
// they are compared as Compare Files does. A folder that is not there is
// named in a message and asked for. False when a folder question was
// cancelled: the program must then end without showing the window or
// saving anything.
bool Main::Form_Load(const QStringList& arguments, const QString& startFolder) {
    const SettingsStore store;
    const double tx = twipsPerPixelX(this);
    const double ty = twipsPerPixelY(this);

    setWindowTitle(QCoreApplication::applicationName());

    // The state first, so the placement below becomes the window's normal bounds.
    static const Qt::WindowState states[] = {Qt::WindowNoState, Qt::WindowMinimized,
                                             Qt::WindowMaximized};
    const int state =
        storedWindowState(store.read(QStringLiteral("WindowState"), QStringLiteral("2")))
            .value_or(2);
    setWindowState(states[state]);

    const QRect screenRect = screen()->geometry();
    struct Placement {
        const char* key;
        double fallback;
        double perPixel;
        double twips = 0;
    };
    Placement placement[] = {{"Left", 0, tx},
                             {"Top", 0, ty},
                             {"Width", float(screenRect.width() * tx), tx},
                             {"Height", float(screenRect.height() * ty), ty}};
    int wanted[4];
    for (int i = 0; i < 4; ++i) {
        Placement& p = placement[i];
        p.twips = lenientNumber(store.read(QLatin1String(p.key), numberText(p.fallback)));
        wanted[i] = toPixels(p.twips, p.perPixel);
    }
    // Whatever the store says, the window fits the available area of the
    // screen it lands on, title bar included, before it takes any size.
    const QRect asked(wanted[0], wanted[1], wanted[2], wanted[3]);
    const QScreen* landing = QGuiApplication::screenAt(asked.topLeft());
    const QRect area = (landing ? landing : screen())->availableGeometry();
    const QRect fitted = fitWindow(asked, area, expectedFrame(this));
    move(fitted.topLeft());
    resize(fitted.size());
    const int applied[] = {fitted.x(), fitted.y(), fitted.width(), fitted.height()};
    for (int i = 0; i < 4; ++i)
        Parts::rememberTwips(*this, QLatin1String(placement[i].key), placement[i].twips, applied[i],
                             placement[i].perPixel);
    // Placing a window takes it out of the maximised state: the placement
    // becomes the bounds it is restored to, and the state stands.
    setWindowState(states[state]);

    const QString home = QDir::homePath();
    if (!Parts::takeStartFolders(*this, arguments, startFolder,
                                 store.read(QStringLiteral("Source"), home),
                                 store.read(QStringLiteral("Destination"), home)))
        return false;

    Parts::readColumns(*this, store, m_ui.lvSource, sourceColumnKeys);
    Parts::readColumns(*this, store, m_ui.lvDest, destColumnKeys);

    m_comparison->settings().loadIcons = readFlag(store, "LoadIcons", 1);
    m_comparison->settings().fileTypes =
        store.read(QStringLiteral("FileTypes"), QStringLiteral("*.*"));
    m_comparison->settings().diffProgram = store.read(QStringLiteral("DiffProgram"), QString());
    m_comparison->settings().excludeNames =
        store.read(QStringLiteral("ExcludeNames"), QString::fromLatin1(defaultExclusions));
    m_comparison->settings().diffIgnore = qint16(readFlag(store, "DiffIgnore", 0) & 15);
    m_comparison->settings().useTrash = readFlag(store, "UseTrash", 1);
    m_comparison->settings().showArchive = readFlag(store, "ShowArchive", 1);
    m_comparison->settings().showReadOnly = readFlag(store, "ShowReadOnly", 1);
    m_comparison->settings().showHidden = readFlag(store, "ShowHidden", 0);
    m_comparison->settings().showSystem = readFlag(store, "ShowSystem", 0);
    m_ui.mnuCompareContents->setChecked(readFlag(store, "CompareContents", 1) != 0);
    // Seconds, 0 to an hour; anything else stored keeps the default.
    bool numeric = false;
    const int tolerance = store.read(QStringLiteral("TimeTolerance"), QString()).toInt(&numeric);
    m_comparison->settings().times.tolerance =
        numeric && tolerance >= 0 && tolerance <= 3600 ? tolerance : 2;
    m_comparison->settings().times.ignoreHourShift = readFlag(store, "IgnoreHourShift", 0) != 0;
    m_comparison->settings().showSubfolders = readFlag(store, "ShowSubfolders", 1);
    m_ui.mnuShowSubfolders->setChecked(m_comparison->settings().showSubfolders != 0);
    m_ui.mnuFlatten->setChecked(readFlag(store, "Flatten", 0) != 0);
    showFlattened();
    menuEntry(QStringLiteral("mnuViewOnlyDifferences"))
        ->setChecked(readFlag(store, "OnlyDifferences", 0) != 0);
    mnuViewOnlyDifferences_Click();
    m_comparison->syncPreview().setMode(
        syncModeFromKey(store.read(QStringLiteral("SyncMode"), QString()))
            .value_or(SyncMode::UpdateDestination));

    InitProgramFolder();
    InitTempFolder();
    RegisterFolderMenu();
    // Hiding the context menu from the menu bar comes with the menus.
    return true;
}

bool Main::Parts::takeStartFolders(Main& m, const QStringList& arguments,
                                   const QString& startFolder, const QString& storedSource,
                                   const QString& storedDest) {
    QLineEdit* boxes[] = {m.m_ui.txtSource, m.m_ui.txtDest};
    if (arguments.isEmpty()) {
        m.m_ui.txtSource->setText(storedSource);
        m.m_ui.txtDest->setText(storedDest);
        // A stored folder that has gone since is said so in its pane.
        for (const QLineEdit* box : boxes) {
            if (!remoteAddress(box->text()) && !isFolder(FileSystem::encode(box->text())))
                m.m_goneAtStart << box->text();
        }
        return true;
    }
    // Each argument absolute before it is used or stored: relative to the
    // folder the program was started from, which the next start knows nothing of.
    const QByteArray base = startFolder.isEmpty()
                                ? startingFolder()
                                : absolutePath(FileSystem::encode(startFolder), "/");
    // A folder on another host is kept as written: its pane tells what is there.
    QList<QByteArray> paths;
    QList<bool> onHost;
    for (const QString& argument : arguments) {
        onHost << remoteAddress(argument).has_value();
        paths << (onHost.back() ? FileSystem::encode(hostBoxText(argument))
                                : absolutePath(FileSystem::encode(argument), base));
    }
    const auto isFile = [](const QByteArray& path) {
        const int bits = FileSystem::attributes(path);
        return bits >= 0 && !(bits & Attr::Folder);
    };
    if (paths.size() == 2 && isFile(paths[0]) && isFile(paths[1])) {
        m.m_startFiles = paths;
        for (int i = 0; i < 2; ++i)
            boxes[i]->setText(nameText(FileSystem::parentFolder(paths[i])));
        return true;
    }
    static const char* const titles[] = {"Select source Folder:", "Select destination Folder:"};
    for (int i = 0; i < paths.size() && i < 2; ++i) {
        QString folder = nameText(paths[i]);
        if (!onHost[i] && !isFolder(paths[i])) {
            // Named, then asked for: never an empty pane with no word why.
            const bool there = FileSystem::attributes(paths[i]) >= 0;
            m.m_platform.messageBox(&m,
                                    folder + (there ? QStringLiteral(" is not a folder.")
                                                    : QStringLiteral(" does not exist.")),
                                    MsgStyle::Critical);
            folder = BrowseForFolder(m.m_platform, &m, nameText(nearestFolder(paths[i])),
                                     QString::fromLatin1(titles[i]));
            if (folder.isEmpty())
                return false;
        }
        boxes[i]->setText(folder);
    }
    if (paths.size() == 1) {
        const QString chosen = BrowseForFolder(m.m_platform, &m, nameText(base),
                                               QStringLiteral("Select folder to match with ") +
                                                   m.m_ui.txtSource->text());
        if (chosen.isEmpty())
            return false;
        m.m_ui.txtDest->setText(chosen);
    }
    return true;
}

void Main::Form_Unload() {
    SettingsStore store;
    const double tx = twipsPerPixelX(this);
    const double ty = twipsPerPixelY(this);

    store.write(QStringLiteral("AppPath"), QCoreApplication::applicationDirPath());
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    store.write(QStringLiteral("WindowState"), QString::number(state));
    Parts::writeTwips(*this, store, QStringLiteral("Left"), x(), tx);
    Parts::writeTwips(*this, store, QStringLiteral("Top"), y(), ty);
    Parts::writeTwips(*this, store, QStringLiteral("Width"), width(), tx);
    Parts::writeTwips(*this, store, QStringLiteral("Height"), height(), ty);
    store.write(QStringLiteral("Source"), m_ui.txtSource->text());
    store.write(QStringLiteral("Destination"), m_ui.txtDest->text());
    for (int c = 0; c < 4; ++c)
        Parts::writeTwips(*this, store, QLatin1String(sourceColumnKeys[c]),
                          m_ui.lvSource->columnWidth(c), tx);
    for (int c = 0; c < 4; ++c)
        Parts::writeTwips(*this, store, QLatin1String(destColumnKeys[c]),
                          m_ui.lvDest->columnWidth(c), tx);
    store.write(QStringLiteral("LoadIcons"), QString::number(m_comparison->settings().loadIcons));
    store.write(QStringLiteral("FileTypes"), m_comparison->settings().fileTypes);
    store.write(QStringLiteral("DiffProgram"), m_comparison->settings().diffProgram);
    store.write(QStringLiteral("ExcludeNames"), m_comparison->settings().excludeNames);
    store.write(QStringLiteral("DiffIgnore"), QString::number(m_comparison->settings().diffIgnore));
    store.write(QStringLiteral("UseTrash"), QString::number(m_comparison->settings().useTrash));
    store.write(QStringLiteral("ShowArchive"),
                QString::number(m_comparison->settings().showArchive));
    store.write(QStringLiteral("ShowReadOnly"),
                QString::number(m_comparison->settings().showReadOnly));
    store.write(QStringLiteral("ShowHidden"), QString::number(m_comparison->settings().showHidden));
    store.write(QStringLiteral("ShowSystem"), QString::number(m_comparison->settings().showSystem));
    store.write(QStringLiteral("CompareContents"),
                QString::number(m_ui.mnuCompareContents->isChecked() ? 1 : 0));
    store.write(QStringLiteral("ShowSubfolders"),
                QString::number(m_comparison->settings().showSubfolders));
    store.write(QStringLiteral("SyncMode"),
                SyncModeDialog::key(m_comparison->syncPreview().mode()));
    store.write(QStringLiteral("Flatten"), QString::number(flattened() ? 1 : 0));
    store.write(QStringLiteral("TimeTolerance"),
                QString::number(m_comparison->settings().times.tolerance));
    store.write(QStringLiteral("IgnoreHourShift"),
                QString::number(m_comparison->settings().times.ignoreHourShift ? 1 : 0));
    store.write(QStringLiteral("OnlyDifferences"),
                QString::number(m_comparison->visibleRows().onlyDifferences() ? 1 : 0));
    // A store that cannot be written keeps its last contents; closing goes on.
    store.save();

    m_iconLookup->releaseScratchFile();
    ScratchFile::removeIfFile(m_iconLookup->scratchPath());
}

void Main::InitProgramFolder() {
    m_programFolder = folderPath(QCoreApplication::applicationDirPath());
}

void Main::InitTempFolder() {
    m_tempFolder = chooseTempFolder(nameText(qgetenv("TEMP")), nameText(qgetenv("XDG_RUNTIME_DIR")),
                                    QDir::tempPath());
    m_iconLookup->setScratchPath(FileSystem::encode(m_tempFolder + scratchName));
}

void Main::mneExit_Click() {
    close();
}

void Main::closeEvent(QCloseEvent* event) {
    // A file view with edits asks about them first, and may keep us open.
    for (FileDiffView* view : findChildren<FileDiffView*>()) {
        if (!view->close())
            return event->ignore();
    }
    Form_Unload();
    event->accept();
}
