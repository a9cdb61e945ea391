#pragma once

#include <QStringList>

// The program's commands that print rather than open the window: the
// report (compare_report.h) and the synchronisation (sync_command.h).

// True when the arguments ask for one of them.
bool isCommandLineInvocation(const QStringList& args);

// Runs it on the process's standard output and error, and gives the exit
// code: the command's own, or 3 when standard output refused the last of it
// (a full disk, a pipe whose reader has gone: no signal ends the process).
int runCommandLine(const QStringList& args);
