// Start-up and shut-down: the stored settings into the window and back.
#include "mainwindow/main_window.h"

#include "core/name_text.h"
#include "core/number_text.h"
#include "core/scratch_file.h"
#include "core/settings_store.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QScreen>

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

// Geometry is held in single precision, as it is stored.
QString twipsText(int pixels, double twipsPerPixel) {
    return numberText(float(pixels * twipsPerPixel));
}

// A stored switch, or `fallback` when absent or not readable as one.
qint16 readFlag(const SettingsStore& store, const char* key, qint16 fallback) {
    return storedFlag(store.read(QLatin1String(key), QString::number(fallback))).value_or(fallback);
}

void readColumns(const SettingsStore& store, ListPane* pane, const char* const keys[4],
                 double twipsPerPixel) {
    for (int c = 0; c < 4; ++c) {
        const std::optional<double> twips =
            strictNumber(store.read(QLatin1String(keys[c]), QString::number(columnDefaults[c])));
        pane->setColumnWidth(
            c, std::max(0, toPixels(twips.value_or(columnDefaults[c]), twipsPerPixel)));
    }
}

void writeColumns(SettingsStore& store, const ListPane* pane, const char* const keys[4],
                  double twipsPerPixel) {
    for (int c = 0; c < 4; ++c)
        store.write(QLatin1String(keys[c]), twipsText(pane->columnWidth(c), twipsPerPixel));
}

} // namespace

bool Main::Form_Load(const QString& argumentText) {
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
    const auto placement = [&](const char* key, const QString& fallback, double perPixel) {
        return toPixels(lenientNumber(store.read(QLatin1String(key), fallback)), perPixel);
    };
    const int left = placement("Left", QStringLiteral("0"), tx);
    const int top = placement("Top", QStringLiteral("0"), ty);
    const int width = placement("Width", numberText(float(screenRect.width() * tx)), tx);
    const int height = placement("Height", numberText(float(screenRect.height() * ty)), ty);
    move(left, top);
    resize(width, height);
    // Placing a window takes it out of the maximised state: the placement
    // becomes the bounds it is restored to, and the state stands.
    setWindowState(states[state]);

    const QString home = QDir::homePath();
    const QString storedSource = store.read(QStringLiteral("Source"), home);
    m_txtSource->setText(argumentText.isEmpty() ? storedSource : argumentText);
    const QString storedDest = store.read(QStringLiteral("Destination"), home);
    if (argumentText.isEmpty()) {
        m_txtDest->setText(storedDest);
    } else {
        const QString chosen =
            BrowseForFolder(m_platform, this, storedDest,
                            QStringLiteral("Select folder to match with ") + argumentText);
        if (chosen.isEmpty())
            return false;
        m_txtDest->setText(chosen);
    }

    readColumns(store, m_lvSource, sourceColumnKeys, tx);
    readColumns(store, m_lvDest, destColumnKeys, tx);

    m_settings.loadIcons = readFlag(store, "LoadIcons", 1);
    m_settings.fileTypes = store.read(QStringLiteral("FileTypes"), QStringLiteral("*.*"));
    m_settings.showArchive = readFlag(store, "ShowArchive", 1);
    m_settings.showReadOnly = readFlag(store, "ShowReadOnly", 1);
    m_settings.showHidden = readFlag(store, "ShowHidden", 0);
    m_settings.showSystem = readFlag(store, "ShowSystem", 0);

    InitProgramFolder();
    InitTempFolder();
    RegisterFolderMenu();
    // Hiding the context menu from the menu bar comes with the menus.
    return true;
}

void Main::Form_Unload() {
    SettingsStore store;
    const double tx = twipsPerPixelX(this);
    const double ty = twipsPerPixelY(this);

    store.write(QStringLiteral("AppPath"), QCoreApplication::applicationDirPath());
    const int state = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    store.write(QStringLiteral("WindowState"), QString::number(state));
    store.write(QStringLiteral("Left"), twipsText(x(), tx));
    store.write(QStringLiteral("Top"), twipsText(y(), ty));
    store.write(QStringLiteral("Width"), twipsText(width(), tx));
    store.write(QStringLiteral("Height"), twipsText(height(), ty));
    store.write(QStringLiteral("Source"), m_txtSource->text());
    store.write(QStringLiteral("Destination"), m_txtDest->text());
    writeColumns(store, m_lvSource, sourceColumnKeys, tx);
    writeColumns(store, m_lvDest, destColumnKeys, tx);
    store.write(QStringLiteral("LoadIcons"), QString::number(m_settings.loadIcons));
    store.write(QStringLiteral("FileTypes"), m_settings.fileTypes);
    store.write(QStringLiteral("ShowArchive"), QString::number(m_settings.showArchive));
    store.write(QStringLiteral("ShowReadOnly"), QString::number(m_settings.showReadOnly));
    store.write(QStringLiteral("ShowHidden"), QString::number(m_settings.showHidden));
    store.write(QStringLiteral("ShowSystem"), QString::number(m_settings.showSystem));
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
    Form_Unload();
    event->accept();
}
