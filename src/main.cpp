#include "core/compare_report.h"
#include "mainwindow/main_window.h"
#include "shell/build_identity.h"
#include "shell/program_icon.h"
#include "shell/qt_platform.h"

#include <QApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Taken before Qt sees them: Qt removes the options it knows.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (isReportInvocation(args)) {
        QCoreApplication app(argc, argv);
        QTextStream out(stdout);
        QTextStream err(stderr);
        return runCompareReport(args, out, err);
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
    // The command line is one folder, its arguments joined as typed.
    if (!window.Form_Load(args.join(QLatin1Char(' '))))
        return 0;
    window.show();
    return QApplication::exec();
}
