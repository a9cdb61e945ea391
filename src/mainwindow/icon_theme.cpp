#include "mainwindow/icon_theme.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QStandardPaths>
#include <QStringList>
#include <utility>

void ensureIconTheme() {
    static bool done = false;
    if (std::exchange(done, true))
        return;
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() && theme != QLatin1String("hicolor"))
        return;
    // The bare "hicolor" holds programs' own icons, not the actions' and the
    // file types'. It is not asked whether it has them: that means reading its
    // index of thousands of lines, a tenth of the start-up.
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString icons = dir + QStringLiteral("/icons");
        if (!paths.contains(icons))
            paths << icons;
    }
    const QString stock = QStringLiteral("Adwaita");
    for (const QString& dir : paths) {
        if (QFileInfo::exists(dir + QLatin1Char('/') + stock + QStringLiteral("/index.theme"))) {
            QIcon::setThemeSearchPaths(paths);
            QIcon::setThemeName(stock);
            return;
        }
    }
}

namespace {

// The images the Qt styles draw from their resources, by name and sizes.
struct StyleImageFiles {
    QStyle::StandardPixmap image;
    const char* name;
    std::initializer_list<int> sizes;
};
const StyleImageFiles styleImageFiles[] = {
    {QStyle::SP_ArrowLeft, "left", {16, 32, 128}},
    {QStyle::SP_ArrowRight, "right", {16, 32, 128}},
    {QStyle::SP_ArrowUp, "up", {16, 32, 128}},
    {QStyle::SP_ArrowDown, "down", {16, 32, 128}},
    {QStyle::SP_BrowserReload, "refresh", {24, 32}},
    {QStyle::SP_FileDialogContentsView, "filecontents", {16, 32, 128}},
    {QStyle::SP_FileDialogListView, "viewlist", {16, 32, 128}},
    {QStyle::SP_FileDialogDetailedView, "viewdetailed", {16, 32, 128}},
    {QStyle::SP_FileIcon, "file", {16, 32, 128}},
    {QStyle::SP_TrashIcon, "trash", {16, 32, 128}},
    {QStyle::SP_DialogOpenButton, "standardbutton-open", {16, 32, 128}},
    {QStyle::SP_DialogApplyButton, "standardbutton-apply", {16, 32, 128}},
    {QStyle::SP_DialogHelpButton, "standardbutton-help", {16, 32, 128}},
};

} // namespace

QIcon styleImage(const QStyle& style, QStyle::StandardPixmap image, int largest) {
    const bool aware = QGuiApplication::desktopSettingsAware();
    const bool known =
        style.name() == QLatin1String("fusion") || style.name() == QLatin1String("windows");
    for (const StyleImageFiles& f : styleImageFiles) {
        if (f.image != image || !known || QGuiApplication::isRightToLeft())
            continue;
        // The size Qt would scale from: the first that covers the size drawn.
        int size = 0;
        for (const int s : f.sizes) {
            size = s;
            if (s >= largest)
                break;
        }
        const QString file = QStringLiteral(":/qt-project.org/styles/commonstyle/images/%1-%2.png")
                                 .arg(QLatin1String(f.name))
                                 .arg(size);
        QIcon icon;
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
        if (!icon.isNull())
            return icon;
    }
    // The theme, already asked, is not asked again under the style's names:
    // that would mean reading every index it inherits once more.
    QGuiApplication::setDesktopSettingsAware(false);
    QIcon icon = style.standardIcon(image);
    QGuiApplication::setDesktopSettingsAware(aware);
    return icon;
}
