#pragma once

#include <QString>
#include <QStringList>

class Platform;
class QWidget;

// The desktops' system-information programs, most informative first.
QStringList systemInfoPrograms();

// The full path of the first of `names` found in PATH, or "".
QString findFirstProgram(const QStringList& names);

// Starts the first system-information program installed; when there is none,
// beeps and says so (information icon, OK) over `owner`.
void StartSystemInfo(Platform& platform, QWidget* owner);
