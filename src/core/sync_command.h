#pragma once

#include <QStringList>

class QTextStream;

// The command line's synchronisation: `--sync MODE SOURCE DESTINATION
// --dry-run` prints the plan (sync_plan.h) as the report prints rows.

// True when the arguments begin with --sync.
bool isSyncInvocation(const QStringList& args);

// Runs it for the arguments after the program's name (name text form).
// Returns the exit code: 0 done, 1 bad arguments or a conflict in the plan,
// 2 a folder could not be read (as the report), or asked to run rather
// than print (not in this version), 3 the plan could not be written.
int runSyncCommand(const QStringList& args, QTextStream& out, QTextStream& err);
