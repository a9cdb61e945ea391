#include "shell/shell_verb.h"

#include "core/name_text.h"
#include "shell/platform.h"

void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QString& currentFile, const QString& currentFolder) {
    if (currentFile.isEmpty())
        return;
    const QString path = currentFile.startsWith(QLatin1Char('/'))
                             ? currentFile
                             : folderPath(currentFolder) + currentFile;
    // The desktop's answer is not used: a verb that fails stays silent.
    if (verb == QLatin1String("Open"))
        platform.openDefault(path);
    else if (verb == QLatin1String("Properties"))
        platform.showProperties(owner, path);
}
