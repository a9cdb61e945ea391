#include "shell/shell_verb.h"

#include "core/file_system.h"
#include "core/name_text.h"
#include "shell/platform.h"

void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QByteArray& fileName, const QString& folder) {
    if (fileName.isEmpty())
        return;
    const QByteArray path =
        fileName.startsWith('/') ? fileName : FileSystem::encode(folderPath(folder)) + fileName;
    // The desktop's answer is not used: a verb that fails stays silent.
    if (verb == QLatin1String("Open"))
        platform.openDefault(path);
    else if (verb == QLatin1String("Properties"))
        platform.showProperties(owner, path);
}
