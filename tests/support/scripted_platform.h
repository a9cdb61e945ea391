#pragma once

#include "shell/platform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>

// The desktop as tests script it: message boxes and the folder dialog answer
// from queues, and everything asked of the desktop is recorded. An empty
// queue gives the safe answer: No for a question, OK otherwise, and cancel
// for the folder dialog.
class ScriptedPlatform : public Platform {
public:
    struct Shown {
        QString text;
        int style;
    };
    struct Browse {
        QString initialFolder;
        QString title;
    };

    // Next answers.
    std::deque<int> answers;
    std::deque<QString> folders;
    // Arrangements the toolbar dialog returns; nothing (cancel) when empty.
    std::deque<QStringList> toolbarArrangements;
    bool openSucceeds = true;
    bool propertiesSucceed = true;

    // What was asked.
    QList<Shown> shown;
    QList<Browse> browsed;
    QList<QByteArray> opened;
    QList<QByteArray> properties;
    QStringList urls;
    QStringList programs;
    QList<QStringList> toolbarShown; // the current arrangement each dialog opened with
    QStringList drags;               // the pane name of each drag begun
    int beeps = 0;

    int messageBox(QWidget* owner, const QString& text, int style) override;
    void beep() override { ++beeps; }
    QString browseForFolder(QWidget* owner, const QString& initialFolder,
                            const QString& title) override;
    bool openDefault(const QByteArray& path) override;
    bool showProperties(QWidget* owner, const QByteArray& path) override;
    bool openUrl(const QString& url) override;
    bool startProgram(const QString& path) override;
    std::optional<QStringList> customizeToolbar(QWidget* owner,
                                                const QList<ToolbarButtonInfo>& available,
                                                const QStringList& current,
                                                const QStringList& defaults) override;
    void startDrag(QWidget*, const QString& paneName) override { drags << paneName; }
};
