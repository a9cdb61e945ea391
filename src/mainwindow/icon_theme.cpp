#include "mainwindow/icon_theme.h"

#include <QFileInfo>
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
