#pragma once

#include <QString>

class Platform;
class QWidget;

// Routines that several of the window's handlers share.

// Beeps, then shows the unexpected-error report (critical icon, OK).
void ReportUnexpectedError(Platform& platform, QWidget* owner, int number,
                           const QString& description);

// Moves a window to the middle of its screen without changing its size.
void CenterForm(QWidget* form);
