#include "fileops/command_line.h"

#include "compare/compare_report.h"
#include "fileops/sync_command.h"
#include "remote/side_for.h"

#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <malloc.h>

bool isCommandLineInvocation(const QStringList& args) {
    return isReportInvocation(args) || isSyncInvocation(args);
}

int runCommandLine(const QStringList& args) {
    // A reader gone (`| head`) is a failed write, told and exited 3, not SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    // A walk frees as much as it takes, level by level, on several threads.
    // Left to itself the allocator raises its bar for giving memory back
    // each time a large block goes, and the peak then grows with the tree;
    // a fixed bar keeps it flat.
    ::mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    int code = 0;
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        code = isSyncInvocation(args)
                   ? runSyncCommand(args, out, err)
                   : runCompareReport(args, out, err,
                                      [](const QByteArray& given) { return sideFor(given, true); });
        out.flush(); // the help and version texts too, so a failed write is seen
    }
    // Flushed and closed, each checked: the last bytes may be refused only then.
    if (code == 0 &&
        (std::fflush(stdout) != 0 || std::ferror(stdout) || std::fclose(stdout) != 0)) {
        std::fputs("duoscope: cannot write the report\n", stderr);
        return 3;
    }
    return code;
}
