#pragma once

#include <QStringList>

class QTextStream;

// The command line's synchronisation: `--sync MODE SOURCE DESTINATION`
// runs the plan (sync/sync_plan.h) without asking, and prints what it did as
// the report prints rows; with --dry-run it prints the plan alone.

// True when the arguments begin with --sync.
bool isSyncInvocation(const QStringList& args);

// Runs it for the arguments after the program's name (name text form).
// Returns the exit code: 0 done, 1 bad arguments or a conflict in the plan,
// 2 a folder could not be read (as the report), or an entry was left
// undone (it changed since the plan, or failed), 3 the output could not be
// written.
int runSyncCommand(const QStringList& args, QTextStream& out, QTextStream& err);
