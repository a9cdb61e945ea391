#pragma once

#include <QByteArray>
#include <QString>

class Platform;
class QWidget;

// Runs a desktop verb on a file: "Open" starts its default application,
// "Properties" shows its properties. `fileName` is the bytes of a name in
// `folder`, or an absolute path that stands as it is. Does nothing for an
// empty name or an unknown verb; a failure shows nothing.
void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QByteArray& fileName, const QString& folder);
