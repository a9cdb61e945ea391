#pragma once

#include "mainwindow/paint_pacer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <utility>

class QAction;
class QProgressBar;

// The span of a file command over many rows or files. While it lasts the
// given commands are disabled and `running` is set, so no second file
// command starts; the progress bar moves and the window repaints between
// files. Escape asks the command to stop after the file at hand; other keys
// and clicks meant for the window are dropped meanwhile (those for a
// question the command asks go to it).
class FileCommandRun : public QObject {
public:
    FileCommandRun(const QList<QAction*>& commands, bool& running, QProgressBar* bar);
    ~FileCommandRun() override;
    FileCommandRun(const FileCommandRun&) = delete;
    FileCommandRun& operator=(const FileCommandRun&) = delete;

    // A range of zero shows an empty bar rather than a busy one.
    void setMaximum(int items);
    void setValue(int item);
    // Lets the window repaint if it has not for a moment.
    void keepPainted();
    // The user pressed Escape: the command stops before its next file.
    bool cancelled() const { return m_cancelled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<std::pair<QPointer<QAction>, bool>> m_commands;
    bool& m_running;
    QProgressBar* m_bar;
    PaintPacer m_pacer{QEventLoop::AllEvents};
    bool m_cancelled = false;
};
