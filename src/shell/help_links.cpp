#include "shell/help_links.h"

#include "fs/file_properties.h"
#include "shell/build_identity.h"
#include "shell/platform.h"
#include "shell/shell_verb.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString helpPagePath(const QString& programFolder) {
    for (const char* relative :
         {BuildIdentity::helpPageInBuild, BuildIdentity::helpPageInstalled}) {
        const QFileInfo page(programFolder + QString::fromUtf8(relative));
        if (page.isFile())
            return QDir::cleanPath(page.absoluteFilePath());
    }
    return {};
}

void OpenHelpContents(Platform& platform, QWidget* owner, const QString& programFolder) {
    const QString page = helpPagePath(programFolder);
    const QString url = page.isEmpty() ? QString::fromUtf8(BuildIdentity::helpUrl)
                                       : localFileUrl(page).toString(QUrl::FullyEncoded);
    if (!platform.openUrl(owner, url))
        tellNotOpened(platform, owner, page.isEmpty() ? url : page,
                      QStringLiteral("no program is set to open it"));
}

QString feedbackMailUrl() {
    const auto encoded = [](const char* text) {
        return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromUtf8(text)));
    };
    return QStringLiteral("mailto:") + QString::fromUtf8(BuildIdentity::feedbackAddress) +
           QStringLiteral("?Subject=") + encoded("Duoscope comments, suggestions and bugs report") +
           QStringLiteral("&Body=") +
           encoded("Type your comments, suggestions and bugs discovered here...");
}
