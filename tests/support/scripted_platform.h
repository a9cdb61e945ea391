#pragma once

#include "shell/platform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

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
    // What the user does in the next modal dialogs; one without is cancelled.
    std::deque<std::function<void(QDialog&)>> dialogActions;
    // Called while each message box is open, with the number of boxes shown.
    std::function<void(int)> whileAsking;
    bool openSucceeds = true;
    bool urlsOpen = true;

    // What was asked.
    QList<Shown> shown;
    QList<QStringList> lists; // the lines of each list shown
    QList<Browse> browsed;
    QList<QByteArray> opened;
    QList<QByteArray> properties;
    QStringList urls;
    QList<QWidget*> urlOwners;
    QStringList programs;
    QList<QList<QByteArray>> commands; // the arguments of each command started
    QString commandError;              // what starting a command answers
    QList<QStringList> toolbarShown;   // the current arrangement each dialog opened with
    QStringList drags;                 // the pane name of each drag begun
    QList<int> dragRows;               // how many rows each drag's pane had selected
    int beeps = 0;
    // The style of each message box shown, in turn.
    QList<int> styles() const;

    int messageBox(QWidget* owner, const QString& text, int style) override;
    void beep() override { ++beeps; }
    // A list is shown as a message box of its text, its lines kept in `lists`.
    void showList(QWidget* owner, const QString& text, const QStringList& lines,
                  int style) override {
        lists << lines;
        messageBox(owner, text, style);
    }
    QString browseForFolder(QWidget* owner, const QString& initialFolder,
                            const QString& title) override;
    bool openDefault(const QByteArray& path) override {
        opened << path;
        return openSucceeds;
    }
    bool showProperties(QWidget*, const QByteArray& path) override {
        properties << path;
        return true;
    }
    bool openUrl(QWidget* owner, const QString& url) override {
        urls << url;
        urlOwners << owner;
        return urlsOpen;
    }
    bool startProgram(const QString& path) override {
        programs << path;
        return true;
    }
    QString startCommand(const QList<QByteArray>& arguments) override {
        commands << arguments;
        return commandError;
    }
    int showModal(QDialog& dialog) override;
    std::optional<QStringList> customizeToolbar(QWidget* owner,
                                                const QList<ToolbarButtonInfo>& available,
                                                const QStringList& current,
                                                const QStringList& defaults) override;
    void startDrag(QWidget* source, const QString& paneName) override;

    // Paths the save dialog returns, in turn; cancelled when empty.
    std::deque<QByteArray> saveNames;
    QList<QByteArray> saveAsked; // the initial path each save dialog opened with
    QByteArray saveFileName(QWidget*, const QByteArray& initialPath, const QString&) override {
        saveAsked << initialPath;
        if (saveNames.empty())
            return {};
        const QByteArray name = saveNames.front();
        saveNames.pop_front();
        return name;
    }

    // Secrets typed, in turn; cancelled when empty.
    std::deque<QString> secrets;
    QStringList secretPrompts;
    std::optional<QString> askSecret(const QString& prompt) override {
        secretPrompts << prompt;
        if (secrets.empty())
            return std::nullopt;
        QString secret = secrets.front();
        secrets.pop_front();
        return secret;
    }
};
