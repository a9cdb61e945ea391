#pragma once

#include <QString>

class Platform;
class QWidget;

// Runs a desktop verb on a file: "Open" starts its default application,
// "Properties" shows its properties. `currentFile` is a name in
// `currentFolder`, or an absolute path that stands as it is. Does nothing for
// an empty file or an unknown verb; a failure shows nothing.
void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QString& currentFile, const QString& currentFolder);
