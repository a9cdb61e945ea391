#pragma once

#include <QByteArray>
#include <QString>

class Platform;
class QWidget;

// Runs a desktop verb on a file: "Open" starts its default application,
// "Properties" shows its properties. `fileName` is the bytes of a name in
// `folder`, or an absolute path that stands as it is. Does nothing for an
// empty name or an unknown verb. A file that cannot be opened is told, with
// the reason: it is gone, or the desktop has no program for it.
void ExecuteShellVerb(Platform& platform, QWidget* owner, const QString& verb,
                      const QByteArray& fileName, const QString& folder);

// The message of a file or page that could not be opened, and why.
void tellNotOpened(Platform& platform, QWidget* owner, const QString& what, const QString& reason);
