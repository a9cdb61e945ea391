#pragma once

#include "mainwindow/paint_pacer.h"

#include <QList>
#include <QPointer>
#include <utility>

class QAction;
class QProgressBar;

// The span of a file command over many rows or files. While it lasts the
// given commands are disabled and `running` is set, so no second file
// command starts; the progress bar moves and the window repaints between
// files, with user input held back until the command ends.
class FileCommandRun {
public:
    FileCommandRun(const QList<QAction*>& commands, bool& running, QProgressBar* bar);
    ~FileCommandRun();
    FileCommandRun(const FileCommandRun&) = delete;
    FileCommandRun& operator=(const FileCommandRun&) = delete;

    // A range of zero shows an empty bar rather than a busy one.
    void setMaximum(int items);
    void setValue(int item);
    // Lets the window repaint if it has not for a moment.
    void keepPainted();

private:
    QList<std::pair<QPointer<QAction>, bool>> m_commands;
    bool& m_running;
    QProgressBar* m_bar;
    PaintPacer m_pacer;
};
