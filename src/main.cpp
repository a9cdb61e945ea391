#include "base/name_text.h"
#include "mainwindow/icon_theme.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "remote/ssh_link.h"
#include "shell/build_identity.h"
#include "shell/qt_platform.h"
#include "shell/ssh_askpass.h"
#include "shell/start_warmup.h"
#include "window_module.h"

#include <QApplication>
#include <cstdio>

static void nameTheProgram() {
    QApplication::setOrganizationName(QString::fromUtf8(BuildIdentity::company));
    QApplication::setApplicationName(QString::fromUtf8(BuildIdentity::title));
    // No display name is set: the window system would add it to every caption.
    QApplication::setApplicationVersion(QStringLiteral(DUOSCOPE_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("duoscope"));
}

int duoscopeWindowMain(int argc, char* argv[]) {
    // Taken before Qt sees them: Qt removes the options it knows. Each keeps
    // its bytes through the name text form, so any folder can be given.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << nameText(QByteArray(argv[i]));

    if (isSshAskPassRun(argc)) {
        const QString prompt = QString::fromLocal8Bit(argv[1]);
        QApplication app(argc, argv);
        nameTheProgram();
        QtPlatform platform;
        const AskPassAnswer answer =
            answerSshPrompt(platform, prompt, qgetenv("SSH_ASKPASS_PROMPT"));
        std::fwrite(answer.output.constData(), 1, size_t(answer.output.size()), stdout);
        return answer.exitCode;
    }

    // The window takes two folders or two files at most, none of them "".
    if (args.size() > 2 || args.contains(QString())) {
        std::fputs(args.size() > 2 ? "duoscope: at most two folders (or two files) can be given\n"
                                   : "duoscope: a folder name is empty\n",
                   stderr);
        std::fputs("Try 'duoscope --help'.\n", stderr);
        return 1;
    }

    StartWarmUp warmUp;
    QApplication app(argc, argv);
    warmUp.connectSessionBus();
    warmUp.listFonts();
    warmUp.readTypes(ListPane::typeColumnSamples());
    nameTheProgram();

    QtPlatform platform;
    lookUpToolbarIcons();
    warmUp.waitForFonts();
    Main window(platform);
    if (!window.Form_Load(args)) {
        warmUp.finish(); // the bus's thread done with before the application goes
        return 0;
    }
    window.show();
    // Seven images: the window manager is given them once the window is up,
    // decoded meanwhile, not before.
    warmUp.giveProgramIcon();
    const int status = QApplication::exec();
    warmUp.finish();
    return status;
}
