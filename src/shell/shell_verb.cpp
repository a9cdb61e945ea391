#include "shell/shell_verb.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "fs/file_system.h"
#include "shell/platform.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QByteArray& fileName, const QString& folder) {
    if (fileName.isEmpty())
        return;
    const QByteArray path =
        fileName.startsWith('/') ? fileName : FileSystem::encode(folderPath(folder)) + fileName;
    if (verb == QLatin1String("Open") && !platform.openDefault(path)) {
        struct stat st {};
        const QString reason = ::stat(path.constData(), &st) != 0
                                   ? QString::fromLocal8Bit(std::strerror(errno))
                                   : QStringLiteral("no program is set to open files of its type");
        tellNotOpened(platform, owner, nameText(path), reason);
    } else if (verb == QLatin1String("Properties")) {
        platform.showProperties(owner, path);
    }
}

void tellNotOpened(Platform& platform, QWidget* owner, const QString& what, const QString& reason) {
    platform.beep();
    platform.messageBox(owner,
                        QStringLiteral("%1 could not be opened.\r\n\r\n%1: %2").arg(what, reason),
                        MsgStyle::Critical);
}
