#include "mainwindow/main_window.h"
#include "shell/folder_menu.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

const char* const files[] = {
    "applications/duoscope-match-folder.desktop", "kio/servicemenus/duoscope-match-folder.desktop",
    "nemo/actions/duoscope-match-folder.nemo_action", "nautilus/scripts/Match with folder..."};

// The Exec line of a key file with its value escapes undone.
QString execLine(const QString& content) {
    const QString raw =
        QRegularExpression(QStringLiteral("^Exec=(.*)$"), QRegularExpression::MultilineOption)
            .match(content)
            .captured(1);
    QString out;
    for (int i = 0; i < raw.size(); ++i) {
        if (raw[i] == QLatin1Char('\\') && i + 1 < raw.size()) {
            const QChar c = raw[++i];
            out += c == QLatin1Char('n') ? QChar('\n') : c == QLatin1Char('t') ? QChar('\t') : c;
        } else {
            out += raw[i];
        }
    }
    return out;
}

// A program that writes its arguments, one a line, into a file beside it.
class FolderMenu : public ::testing::Test {
protected:
    QString makeProgram(const QString& folder) {
        tree.write(folder + QStringLiteral("/duoscope"),
                   "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/args\"\n");
        const QString path = tree.filePath(folder + QStringLiteral("/duoscope"));
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }
    // Runs `command` in a shell as the file manager would and returns the arguments the program
    // got.
    QString argumentsFrom(const QString& program, const QString& command) {
        QFile::remove(QFileInfo(program).path() + QStringLiteral("/args"));
        QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
        QFile args(QFileInfo(program).path() + QStringLiteral("/args"));
        return args.open(QIODevice::ReadOnly) ? QString::fromUtf8(args.readAll()) : QString();
    }
    QString data(const char* file) const { return QString::fromUtf8(tree.read(dataHome + file)); }

    TempTree tree;
    const QString dataHome = QStringLiteral("data/");
};

TEST_F(FolderMenu, EveryFileManagerStartsTheProgramWithTheWholeFolderPath) {
    const QString program = makeProgram(QStringLiteral("100% my prog's $dir \"x\""));
    tree.mkdir(QStringLiteral("the folder"));
    const QString folder = tree.filePath(QStringLiteral("the folder"));
    writeFolderMenu(tree.filePath(QStringLiteral("data")), program);
    const QString expected = folder + QLatin1Char('\n');

    for (const char* entry : {files[0], files[1]}) {
        QString command = execLine(data(entry));
        command.replace(QStringLiteral(" %f"), QLatin1Char(' ') + shellQuoted(folder));
        EXPECT_EQ(
            argumentsFrom(program, command.replace(QStringLiteral("%%"), QStringLiteral("%"))),
            expected)
            << entry;
    }
    // Nemo puts the folder in double quotes.
    EXPECT_EQ(argumentsFrom(program, execLine(data(files[2]))
                                         .replace(QStringLiteral("%F"),
                                                  QLatin1Char('"') + folder + QLatin1Char('"'))),
              expected);
    // Nautilus passes the name relative to the folder it shows.
    EXPECT_EQ(argumentsFrom(program, QStringLiteral("cd %1 && %2 'the folder'")
                                         .arg(shellQuoted(tree.path()),
                                              shellQuoted(tree.filePath(dataHome + files[3])))),
              expected);

    EXPECT_TRUE(data(files[0]).contains(QStringLiteral("\nMimeType=inode/directory;\n")));
    EXPECT_TRUE(data(files[0]).contains(QStringLiteral("\nNoDisplay=true\n")));
    EXPECT_TRUE(data(files[1]).contains(QStringLiteral("\nName=Match with folder...\n")));
}

TEST_F(FolderMenu, EveryStartRewritesTheFilesForTheProgramThatRan) {
    const QString first = makeProgram(QStringLiteral("one"));
    const QString second = makeProgram(QStringLiteral("two"));
    writeFolderMenu(tree.filePath(QStringLiteral("data")), first);
    writeFolderMenu(tree.filePath(QStringLiteral("data")), second);
    for (const char* file : files) {
        EXPECT_TRUE(data(file).contains(second)) << file;
        EXPECT_FALSE(data(file).contains(first)) << file;
    }
    QStringList written;
    for (QDirIterator it(tree.filePath(QStringLiteral("data")), QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        written << it.next();
    EXPECT_EQ(written.size(), 5) << "no half-written copies are left behind";
}

TEST_F(FolderMenu, AFolderThatCannotBeWrittenIsSkippedSilently) {
    tree.write(QStringLiteral("file-not-folder"), "x");
    writeFolderMenu(tree.filePath(QStringLiteral("file-not-folder")),
                    QStringLiteral("/p/duoscope"));
    EXPECT_EQ(tree.read(QStringLiteral("file-not-folder")), QByteArray("x"));

    tree.write(dataHome + QStringLiteral("applications"), "x"); // one folder blocked
    writeFolderMenu(tree.filePath(QStringLiteral("data")), QStringLiteral("/p/duoscope"));
    EXPECT_TRUE(data(files[2]).contains(QStringLiteral("/p/duoscope")));
}

TEST(FolderMenuAtStart, PointsAtTheRunningExecutable) {
    ScriptedPlatform platform;
    Main window(platform);
    window.RegisterFolderMenu();
    QFile entry(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                QStringLiteral("/applications/duoscope-match-folder.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains(QCoreApplication::applicationFilePath().toUtf8()));
    EXPECT_TRUE(platform.shown.isEmpty());
}

} // namespace
