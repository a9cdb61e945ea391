#pragma once

#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

// A toolbar button as the customisation dialog offers it.
struct ToolbarButtonInfo {
    QString key;
    QString tooltip;
    QIcon icon;
};

// The format of a pane's drag: its data is the pane's name.
inline constexpr char paneDragFormat[] = "application/x-duoscope-pane";

// What the program needs of the desktop: message boxes, the beep, the folder
// dialog, opening files and addresses, starting programs. The window and the
// file commands reach the desktop only through this, so tests can script it.
class Platform {
public:
    virtual ~Platform() = default;

    // A modal message box with the application's title. `style` is a style
    // value (see base/message_style.h); returns the answer (1 OK, 6 Yes, 7 No).
    virtual int messageBox(QWidget* owner, const QString& text, int style) = 0;
    virtual void beep() = 0;
    // A message over a list of lines (of any length), with an OK button and
    // the `style`'s icon: the list scrolls, and the box fits the screen.
    virtual void showList(QWidget* owner, const QString& text, const QStringList& lines,
                          int style) = 0;

    // Lets the user pick a folder, starting at `initialFolder` when it is not
    // empty. Returns the folder ("/" for the root, else no trailing "/"), or
    // "" when cancelled.
    virtual QString browseForFolder(QWidget* owner, const QString& initialFolder,
                                    const QString& title) = 0;

    // Runs the desktop's default application for a file. False on failure.
    // Paths are the bytes that reach the file, whatever its name's encoding.
    virtual bool openDefault(const QByteArray& path) = 0;
    // Shows the properties of a file or folder. False on failure.
    virtual bool showProperties(QWidget* owner, const QByteArray& path) = 0;
    // Opens a web or mail address, or a file URL, with the desktop's handler.
    // `owner` is the window asking, or null when none stands behind it.
    virtual bool openUrl(QWidget* owner, const QString& url) = 0;
    // Starts a program by its path, without waiting for it.
    virtual bool startProgram(const QString& path) = 0;
    // Starts a program with its arguments (the first names it) as bytes,
    // without a shell and without waiting. Returns "" or the reason it failed.
    virtual QString startCommand(const QList<QByteArray>& arguments) = 0;

    // Shows one of the program's own dialogs modally and returns its result
    // (QDialog::Accepted or Rejected).
    virtual int showModal(QDialog& dialog) = 0;

    // The toolbar's customisation dialog: `current` and `defaults` are button
    // keys in order, "" for a separator. Returns the new arrangement, or
    // nothing when cancelled.
    virtual std::optional<QStringList> customizeToolbar(QWidget* owner,
                                                        const QList<ToolbarButtonInfo>& available,
                                                        const QStringList& current,
                                                        const QStringList& defaults) = 0;

    // Drags rows out of a pane; the drop target learns the pane's name
    // ("lvSource" or "lvDest"). Returns when the drag is over.
    virtual void startDrag(QWidget* source, const QString& paneName) = 0;

    // Lets the user name a file to write, starting at `initialPath`; a
    // file already there is asked about by the dialog. Returns the path's
    // bytes, or "" when cancelled.
    virtual QByteArray saveFileName(QWidget* owner, const QByteArray& initialPath,
                                    const QString& title) = 0;

    // Asks for a password or passphrase, shown as dots, under `prompt`.
    // Nothing when cancelled. The answer is never stored.
    virtual std::optional<QString> askSecret(const QString& prompt) = 0;
};
