#pragma once

#include "fs/folder_side.h"

#include <QStringList>
#include <functional>

class QTextStream;

// The command-line comparison report: the window's alignment of two folders,
// printed as text or JSON.

// True when the arguments ask for the report (or its help or version) rather
// than the window: only when the first argument is one of its options.
bool isReportInvocation(const QStringList& args);

// Runs the report for the arguments after the program's name, each in the
// name text form of its bytes (name_text.h). Returns the process exit code:
// 0 done, 1 bad arguments, 2 a folder could not be read (one of the two
// given: no report; one below them, or a file's contents: the report is
// written all the same, those rows "unreadable"), 3 the report could not be
// written. `choose` gives the side each folder argument lies on (none: both
// on this machine); one that cannot be reached throws FsError (exit 2).
using SideChooser = std::function<ChosenSide(const QByteArray& given)>;
int runCompareReport(const QStringList& args, QTextStream& out, QTextStream& err,
                     const SideChooser& choose = {});
