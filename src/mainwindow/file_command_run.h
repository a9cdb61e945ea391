#pragma once

#include "fileops/command_host.h"
#include "mainwindow/paint_pacer.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <utility>

class Platform;
class QAction;
class QProgressBar;
class QWidget;

// The span of a file command over many rows or files. While it lasts the
// given commands are disabled and `running` is set, so no second file
// command starts; the progress bar moves and the window repaints between
// files. Escape asks the command to stop after the file at hand; other keys
// and clicks meant for the window are dropped meanwhile (those for a
// question the command asks go to it). The command's questions are the
// window's message boxes.
class FileCommandRun : public QObject, public CommandHost {
public:
    FileCommandRun(Platform& platform, QWidget* owner, const QList<QAction*>& commands,
                   bool& running, QProgressBar* bar);
    ~FileCommandRun() override;
    FileCommandRun(const FileCommandRun&) = delete;
    FileCommandRun& operator=(const FileCommandRun&) = delete;

    int ask(const QString& text, int style) override;
    void beep() override;
    // A range of zero shows an empty bar rather than a busy one.
    void setMaximum(int items) override;
    void setValue(int item) override;
    // Lets the window repaint if it has not for a moment.
    void keepPainted() override;
    // The user pressed Escape: the command stops before its next file.
    bool cancelled() const override { return m_cancelled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Platform& m_platform;
    QWidget* m_owner;
    QList<std::pair<QPointer<QAction>, bool>> m_commands;
    bool& m_running;
    QProgressBar* m_bar;
    PaintPacer m_pacer{QEventLoop::AllEvents};
    bool m_cancelled = false;
};
