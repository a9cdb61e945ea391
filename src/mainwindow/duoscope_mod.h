#pragma once

#include <QString>

class Platform;
class QWidget;

// Routines that several of the window's handlers share.

// Beeps, then shows the unexpected-error report (critical icon, OK).
void ReportUnexpectedError(Platform& platform, QWidget* owner, int number,
                           const QString& description);

// Lets the user pick a folder, opening on `initialFolder` when it is not
// empty, under `title` (or "Select folder:"). Returns the folder, "/" for the
// root and otherwise without a trailing "/", or "" when cancelled.
QString BrowseForFolder(Platform& platform, QWidget* owner, const QString& initialFolder,
                        const QString& title);

// Moves a window to the middle of its screen without changing its size.
void CenterForm(QWidget* form);
