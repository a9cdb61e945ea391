#include "base/message_style.h"
#include "dialogs/about_box.h"
#include "mainwindow/main_window.h"
#include "shell/folder_menu.h"
#include "shell/help_links.h"
#include "shell/program_icon.h"
#include "shell/qt_platform.h"
#include "shell/ssh_askpass.h"
#include "shell/system_info.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QUrlQuery>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// A key file's Exec line, its value escapes undone.
QString execLine(const QByteArray& content) {
    static const QRegularExpression exec("^Exec=(.*)$", QRegularExpression::MultilineOption);
    return exec.match(QString::fromUtf8(content))
        .captured(1)
        .replace(QRegularExpression(R"(\\(.))"), "\\1");
}

TEST(FolderMenu, EveryFileManagerStartsTheProgramThatRanLastWithTheWholeFolder) {
    TempTree tree;
    const QString name = "100% my prog's $dir \"x\"/duoscope";
    tree.write(name, "#!/bin/sh\nprintf '%s\\n' \"$@\" >\"$0.a\"\n");
    const QString program = tree.filePath(name);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    tree.mkdir("the folder");
    const QString folder = tree.filePath("the folder");
    writeFolderMenu(tree.filePath("data"), "/elsewhere/duoscope");
    writeFolderMenu(tree.filePath("data"), program); // a later start rewrites every file
    // A start that finds them as it would write them leaves them be; one
    // made not executable is written again.
    const QString script = tree.filePath("data/nautilus/scripts/Match with folder...");
    const auto inode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const QList<FolderMenuEntry> entries = folderMenuEntries(program);
    QList<ino_t> before;
    for (const FolderMenuEntry& e : entries)
        before << inode(tree.filePath("data/" + e.relativePath));
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner);
    writeFolderMenu(tree.filePath("data"), program);
    for (qsizetype i = 0; i < entries.size(); ++i)
        EXPECT_EQ(inode(tree.filePath("data/" + entries[i].relativePath)) == before[i],
                  !entries[i].relativePath.startsWith("nautilus"))
            << qPrintable(entries[i].relativePath);
    EXPECT_TRUE(QFileInfo(script).isExecutable());

    // Each command as its file manager runs it, the folder quoted as it quotes it.
    const QString commands[] = {
        execLine(tree.read("data/applications/duoscope-match-folder.desktop")),
        execLine(tree.read("data/kio/servicemenus/duoscope-match-folder.desktop")),
        execLine(tree.read("data/nemo/actions/duoscope-match-folder.nemo_action"))
            .replace("%F", '"' + folder + '"'),
        "cd " + shellQuoted(tree.path()) + " && 'data/nautilus/scripts/Match with folder...' " +
            shellQuoted("the folder")};
    for (QString command : commands) {
        command.replace(" %f", ' ' + shellQuoted(folder)).replace("%%", "%");
        QFile::remove(program + ".a");
        QProcess::execute("/bin/sh", {"-c", command});
        EXPECT_EQ(tree.read(name + ".a"), (folder + '\n').toUtf8()) << qPrintable(command);
    }
    EXPECT_TRUE(tree.read("data/applications/duoscope-match-folder.desktop")
                    .contains("\nMimeType=inode/directory;\nNoDisplay=true\n"));

    // A folder that cannot be made is skipped without a word; the others are written.
    tree.write("blocked/applications", "x");
    writeFolderMenu(tree.filePath("blocked"), program);
    EXPECT_EQ(tree.read("blocked/applications"), "x");
    EXPECT_TRUE(QFile::exists(tree.filePath("blocked/kio/servicemenus")));
}

TEST(About, ShowsTheBuildIdentityAndTheWindowsIcon) {
    ScriptedPlatform platform;
    Main window(platform);
    window.setWindowIcon(programIcon());
    frmAbout about(platform, &window);
    EXPECT_EQ(about.windowTitle() + '|' + about.lblTitle()->text() + '|' +
                  about.lblVersion()->text(),
              "About Duoscope|Duoscope|Version 1.0.13");
    EXPECT_TRUE(about.lblDescription()->text().startsWith("Developed by Zelmar\r\n\r\nShows"));
    EXPECT_FALSE(about.lblDisclaimer()->text().isEmpty());
    EXPECT_EQ(about.picIcon()->pixmap().toImage(),
              programIcon().pixmap(QSize(48, 48), about.devicePixelRatioF()).toImage());
    EXPECT_FALSE(programIcon().pixmap(256).isNull());
}

TEST(About, SystemInfoStartsTheFirstInstalledProgramOrSaysThereIsNone) {
    TempTree bin;
    const auto restore = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
    qputenv("PATH", QFile::encodeName(bin.path()));
    ScriptedPlatform platform;
    frmAbout about(platform, nullptr);
    bin.write("kinfocenter"); // not executable
    about.cmdSysInfo()->click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.shown[0].text, "System Info not available for the moment.");
    EXPECT_EQ(platform.shown[0].style + platform.beeps, 64 + 1);

    for (const char* name : {"gnome-system-monitor", "hardinfo", "kinfocenter"}) {
        bin.write(name, "#!/bin/sh\n: >\"$0.ran\"\n");
        QFile::setPermissions(bin.filePath(name), QFile::ReadOwner | QFile::ExeOwner);
    }
    about.cmdSysInfo()->click();
    ASSERT_EQ(platform.programs,
              QStringList{bin.filePath("kinfocenter")}); // or a real box would wait
    QtPlatform desktop;                                  // and the desktop really starts it
    StartSystemInfo(desktop, nullptr);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(bin.filePath("kinfocenter.ran")); }));
    EXPECT_EQ(platform.shown.size(), 1);
}

TEST(HelpLinks, ContentsOpensTheGuideForTheWindowAndTheWebLinksForNoOne) {
    EXPECT_FALSE(helpPagePath(PROGRAM_DIR).isEmpty()) << "the build puts the guide beside it";
    ScriptedPlatform platform;
    Main window(platform);
    TempTree program;
    program.write("help/index.html");
    OpenHelpContents(platform, &window, program.path() + '/');
    EXPECT_EQ(QUrl(platform.urls.value(0)).toLocalFile(), program.filePath("help/index.html"));
    window.toolbarButton("Help")->trigger();
    for (const char* entry :
         {"mnuHelp_Contents", "mnu_Help_SendFeedback", "mnuHelp_Products", "mnu_Help_ZelmarWebPage",
          "mnu_Help_FreeStuff", "mnu_Help_OnTheWeb_ProgrammersCorner"})
        window.menuEntry(entry)->trigger();
    ASSERT_EQ(platform.urls.size(), 8);
    EXPECT_EQ(platform.urlOwners, QList<QWidget*>(3, &window) + QList<QWidget*>(5, nullptr));
    EXPECT_TRUE(platform.urls[1].endsWith("/programs/duoscope/help")) << "no guide beside tests";
    EXPECT_EQ(QStringList(platform.urls.mid(3)).removeDuplicates(), 0);

    const QUrl mail(platform.urls[3], QUrl::StrictMode);
    EXPECT_TRUE(mail.isValid() && mail.scheme() == "mailto" && !platform.urls[3].contains(' '));
    EXPECT_EQ(QUrlQuery(mail).queryItemValue("Subject", QUrl::FullyDecoded),
              "Duoscope comments, suggestions and bugs report");
    EXPECT_EQ(QUrlQuery(mail).queryItemValue("Body", QUrl::FullyDecoded),
              "Type your comments, suggestions and bugs discovered here...");
    platform.urlsOpen = false; // no program for it: said so
    OpenHelpContents(platform, &window, program.path() + '/');
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(
        platform.shown[0].text.startsWith(program.filePath("help/index.html") + " could not"));
}

} // namespace

TEST(SshAskPass, EachKindOfPromptIsAnsweredAsSshReadsItAndASecretIsNeverShownInTheBox) {
    struct Case {
        const char* prompt;
        QByteArray kind;
        std::deque<int> answers;
        std::deque<QString> secrets;
        int exitCode;
        QByteArray output;
        bool asksSecret;
    };
    const QString hostKey =
        QStringLiteral("The authenticity of host '[127.0.0.1]:2222' can't be established.\n"
                       "Are you sure you want to continue connecting (yes/no/[fingerprint])? ");
    const Case cases[] = {
        {"Enter passphrase for key '/k': ",
         "",
         {},
         {QStringLiteral("s3 cr\u00e9t")},
         0,
         "s3 cr\xc3\xa9t\n",
         true},
        {"user@host's password: ", "", {}, {}, 1, "", true},
        {nullptr, "", {Answer::Yes}, {}, 0, "yes\n", false},
        {nullptr, "", {}, {}, 0, "no\n", false},
        {"Allow use of key /k?", "confirm", {Answer::Yes}, {}, 0, "", false},
        {"Allow use of key /k?", "confirm", {Answer::No}, {}, 1, "", false},
        {"Confirm user presence for key ED25519-SK", "none", {}, {}, 0, "", false},
    };
    for (const Case& c : cases) {
        ScriptedPlatform platform;
        platform.answers = c.answers;
        platform.secrets = c.secrets;
        const QString prompt = c.prompt ? QString::fromUtf8(c.prompt) : hostKey;
        SCOPED_TRACE(prompt.toStdString() + " / " + c.kind.toStdString());
        const AskPassAnswer a = answerSshPrompt(platform, prompt, c.kind);
        EXPECT_EQ(a.exitCode, c.exitCode);
        EXPECT_EQ(a.output, c.output);
        EXPECT_EQ(platform.secretPrompts.size(), c.asksSecret ? 1 : 0);
        EXPECT_EQ(platform.shown.size(), c.asksSecret ? 0 : 1);
        for (const ScriptedPlatform::Shown& s : platform.shown)
            EXPECT_EQ(s.text, prompt.trimmed());
    }
}
