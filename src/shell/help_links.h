#pragma once

#include <QString>

class Platform;
class QWidget;

// The program's HTML user guide: beside the executable in a build tree, or
// under the data folder once installed. "" when neither is there.
QString helpPagePath(const QString& programFolder);

// Opens the user guide for `owner`, or the help page on the web when the
// guide is not installed. A failure is told in a message box.
void OpenHelpContents(Platform& platform, QWidget* owner, const QString& programFolder);

// A mail to the maker with the feedback subject and body, every character
// that a mailto address may not carry percent-encoded.
QString feedbackMailUrl();
