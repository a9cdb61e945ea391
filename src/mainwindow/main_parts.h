#pragma once

#include "mainwindow/main_window.h"

#include "fileops/clipboard.h"
#include "fileops/file_steps.h"
#include "fs/folder_side.h"

#include <memory>
#include <optional>

class QTemporaryDir;

// The window's helpers that one file uses, kept out of the window's header:
// each takes the window it works on.
struct Main::Parts {
    static void refreshPanes(Main& m);
    // A file row's type and image; throws FsError from the scratch file.
    static PaneModel::Look lookUp(Main& m, const FolderRows& rows, qsizetype row, Side side);
    static QStringList defaultToolbarArrangement();
    static void applyToolbarArrangement(Main& m, const QStringList& keys);
    static void layoutPaneControls(Main& m, QWidget* container, QToolButton* button, QLineEdit* box,
                                   ListPane* list);
    static void rowClicked(Main& m, ListPane* pane, QLineEdit* folderBox, int row);
    static void paneMouseUp(Main& m, ListPane* pane, int button, float x, float y);
    static void paneMouseMove(Main& m, ListPane* pane, int minimumRows, int button);
    // Brings the other pane to the rows and offset of `pane`.
    static void levelWith(Main& m, ListPane* pane);
    static void chooseFolder(Main& m, QLineEdit* folderBox, const QString& title);
    static bool takeStartFolders(Main& m, const QStringList& arguments, const QString& startFolder,
                                 const QString& storedSource, const QString& storedDest);
    static void readColumns(Main& m, const SettingsStore& store, ListPane* pane,
                            const char* const keys[4]);
    static void rememberTwips(Main& m, const QString& key, double twips, int applied,
                              double twipsPerPixel);
    static void writeTwips(const Main& m, SettingsStore& store, const QString& key, int pixels,
                           double twipsPerPixel);
    static void startDiffProgram(Main& m, const QList<QByteArray>& paths);
    // Brings a file of another host into `copies`; false, told, when it could not.
    static bool fetch(Main& m, Comparison::HostFile& file, const QTemporaryDir& copies);
    // Sends a saved copy back over the file it was brought from, asking when
    // that file changed since; false, told, when it was not.
    static bool sendBack(Main& m, QWidget* owner, Comparison::HostFile& file);
    static void copyAcross(Main& m, Side from);
    static void showOnlyDifferences(Main& m, bool only);
    static void goToDifference(Main& m, int step);
    static void deleteSelected(Main& m, DeleteWay way);
    static void dropRows(Main& m, ListPane* dragged, QLineEdit* receivingBox, bool accepted);
    static void showSyncPreview(Main& m);
    static void showSyncSummary(Main& m);
    static void endSyncPreview(Main& m);
    static void buildControls(Main& m);
    static QWidget* buildPane(Main& m, QWidget*& container, QLineEdit*& folderBox,
                              QToolButton*& folderButton, ListPane*& list, const QString& side,
                              const QString& tooltip);
    static void buildMenus(Main& m);
    static void buildToolbar(Main& m);
    static void connectPaneEvents(Main& m);
    static void connectFileCommands(Main& m);
    static void buildSyncPreview(Main& m);
    static void placeProgressBar(Main& m, float heightInset);
    static void fitToScreen(Main& m);
    static void noteMissingFolders(Main& m);
    static void showStatusSummary(Main& m);
    static void updateCompareCommand(Main& m);
    // A folder typed into a folder box and Enter: taken when it is a folder.
    static void folderTyped(Main& m, QLineEdit* box, const QString& text);
    // Whether `command` is refused because a pane of `sides` lies on another
    // host, where it cannot act yet: said so, rather than run on a local
    // path named like the address.
    // An address of another host as its box keeps it: "host:", the home
    // there, as "host:.", which a "/" after it keeps there; others as given.
    static QString hostBoxText(const QString& address);
    static bool refusedOnHost(Main& m, std::initializer_list<Side> sides, const QString& command);
    // A pane's folder as a copy reaches it: its path on its host with the
    // side there, or its box's bytes here (no side). None, said why, for a
    // host not reached, for a box that names another folder than the rows
    // show where either lies on a host, and for `across` when both panes
    // lie on hosts (nothing is copied from one host to another).
    struct PaneTop {
        QByteArray folder;
        std::shared_ptr<FolderSide> side;
    };
    // The transfer of a chosen entry into `target` (on `targetSide`; null:
    // here), its replaced files kept for Undo as the Trash setting says.
    static Transfer transferTo(Main& m, const ClipboardEntry& e, const QByteArray& target,
                               std::shared_ptr<FolderSide> targetSide);
    static std::optional<PaneTop> paneTop(Main& m, Side side, const QString& command,
                                          bool across = false);
};
