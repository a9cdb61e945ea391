#include "core/compare_report.h"
#include "core/name_text.h"
#include "fileops/sync_command.h"
#include "mainwindow/main_window.h"
#include "shell/build_identity.h"
#include "shell/program_icon.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Taken before Qt sees them: Qt removes the options it knows. Each keeps
    // its bytes through the name text form, so any folder can be given.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << nameText(QByteArray(argv[i]));

    if (isReportInvocation(args) || isSyncInvocation(args)) {
        QCoreApplication app(argc, argv);
        int code = 0;
        {
            QTextStream out(stdout);
            QTextStream err(stderr);
            code = isSyncInvocation(args) ? runSyncCommand(args, out, err)
                                          : runCompareReport(args, out, err);
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

    // The window takes two folders or two files at most, none of them "".
    if (args.size() > 2 || args.contains(QString())) {
        std::fputs(args.size() > 2 ? "duoscope: at most two folders (or two files) can be given\n"
                                   : "duoscope: a folder name is empty\n",
                   stderr);
        std::fputs("Try 'duoscope --help'.\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QString::fromUtf8(BuildIdentity::company));
    QApplication::setApplicationName(QString::fromUtf8(BuildIdentity::title));
    // No display name is set: the window system would add it to every caption.
    QApplication::setApplicationVersion(QStringLiteral(DUOSCOPE_VERSION));
    QApplication::setWindowIcon(programIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("duoscope"));

    QtPlatform platform;
    Main window(platform);
    if (!window.Form_Load(args))
        return 0;
    window.show();
    return QApplication::exec();
}
