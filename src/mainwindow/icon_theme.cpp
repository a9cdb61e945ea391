#include "mainwindow/icon_theme.h"

#include <QIcon>
#include <QStandardPaths>
#include <QStringList>

void ensureIconTheme() {
    const QString theme = QIcon::themeName();
    if (!theme.isEmpty() &&
        (theme != QLatin1String("hicolor") || QIcon::hasThemeIcon(QStringLiteral("document-open"))))
        return;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString icons = dir + QStringLiteral("/icons");
        if (!paths.contains(icons))
            paths << icons;
    }
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(QStringLiteral("Adwaita"));
}
