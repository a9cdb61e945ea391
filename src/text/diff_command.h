#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The user's diff program as the arguments to start it with. The command line
// is split into words at blanks outside quotes ('...' takes every character as
// it is, "..." and a bare word take \ as an escape for the next character);
// in every word "%1" becomes the first path, "%2" the second and "%%" a "%",
// byte for byte whatever the paths hold, each path staying inside its word.
// Without %1 or %2 anywhere the two paths follow as arguments of their own.
// Empty when there is no program to start: an empty or blank line, or a
// quote left open.
QList<QByteArray> diffCommandArguments(const QString& commandLine, const QByteArray& firstPath,
                                       const QByteArray& secondPath);
