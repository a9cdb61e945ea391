#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// "Match with folder..." on folders in the desktop's file managers: files in
// the user's own data folder ($XDG_DATA_HOME, normally ~/.local/share) that
// start the program with the chosen folder's path as its one argument.

// One file of the registration, by its path under the data folder.
struct FolderMenuEntry {
    QString relativePath;
    QByteArray content;
    bool executable = false;
};

// The files that start `program` (an absolute path) on a folder.
QList<FolderMenuEntry> folderMenuEntries(const QString& program);

// Writes every file under `dataHome`, each whole or not at all, replacing
// what an earlier start wrote. A file that cannot be written is skipped
// without a word.
void writeFolderMenu(const QString& dataHome, const QString& program);

// One argument of a desktop entry's Exec key, quoted and escaped so that it
// arrives whole, whatever characters it holds.
QString desktopExecArgument(const QString& argument);

// One word for a POSIX shell, in single quotes.
QString shellQuoted(const QString& word);
