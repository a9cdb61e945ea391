#pragma once

#include "comparison/comparison.h"
#include "comparison/sync_preview.h"
#include "fileops/clipboard.h"
#include "fileops/file_copy.h"
#include "fileops/file_steps.h"
#include "fs/file_system.h"
#include "mainwindow/image_list.h"
#include "mainwindow/main_controls.h"
#include "mainwindow/pane_model.h"
#include "sync/sync_plan.h"

#include <QHash>
#include <QMainWindow>
#include <QScopeGuard>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class IconLookup;
class Platform;
class TextFormats;
class SettingsStore;

// The main window: two folders side by side, Source left, Destination right,
// showing the Comparison it holds. Handlers are public: the window's commands
// and events, run by the controls and callable as they are from tests.
class Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Main(Platform& platform, QWidget* parent = nullptr);
    ~Main() override;
    Platform& platform() const { return m_platform; }
    // Controls.
    QWidget* picSource() const { return m_ui.picSource; }
    QWidget* picDest() const { return m_ui.picDest; }
    QLineEdit* txtSource() const { return m_ui.txtSource; }
    QLineEdit* txtDest() const { return m_ui.txtDest; }
    QToolButton* cmdSource() const { return m_ui.cmdSource; }
    QToolButton* cmdDest() const { return m_ui.cmdDest; }
    ListPane* lvSource() const { return m_ui.lvSource; }
    ListPane* lvDest() const { return m_ui.lvDest; }
    QStatusBar* sbrMain() const { return m_ui.sbrMain; }
    QProgressBar* pbrMain() const { return m_ui.pbrMain; }
    // Panel 1 of the status bar: the refresh's status text.
    QString statusText() const;
    // The status bar's panel that counts the rows of each status after a refresh.
    QString statusSummary() const;
    void mnuCompareContents_Click();
    // A content check is under way.
    bool contentCheckRunning() const { return m_comparison->contentCheckRunning(); }
    // Panel 2 of the status bar, which the progress bar covers.
    QLabel* statusPanel2() const { return m_ui.statusPanel2; }
    QToolBar* tbrMain() const { return m_ui.tbrMain; }
    QMenu* mnuContext() const { return m_ui.mnuContext; }
    // A menu entry by its name ("mnuOpen", "mnuPopupOpen"), or null.
    QAction* menuEntry(const QString& name) const;
    // A toolbar button by its key ("Open", "SwapFolders"), or null.
    QAction* toolbarButton(const QString& key) const;
    // The toolbar's buttons by key in order, "" for a separator.
    QStringList toolbarArrangement() const;
    // The pane focused last (0 Source), and of the pane pointed at last the
    // current row's text, the bytes of its name, and the folder box's text.
    int ActivePane = 0;
    QString CurrentFile;
    QByteArray CurrentFileName;
    QString CurrentFolder;
    // The folders shown: their rows, checks and Undo journal.
    Comparison& comparison() const { return *m_comparison; }
    // The in-memory filter and icon settings.
    FilterSettings& settings() { return m_comparison->settings(); }
    // The image list of both panes' small icons, and the icon lookup that fills it.
    const ImageList& ilIcons() const { return m_ilIcons; }
    IconLookup& iconLookup() { return *m_iconLookup; }
    // The program's own folder and the scratch-file folder, both ending in "/".
    const QString& ProgramFolder() const { return m_programFolder; }
    const QString& TempFolder() const { return m_tempFolder; }
    // Start-up: the stored settings, then the command line's folders or
    // files; false when a folder question was cancelled (the program ends).
    bool Form_Load(const QStringList& arguments = {}, const QString& startFolder = {});
    // Shut-down: saves every setting, then removes the icon scratch file.
    void Form_Unload();
    void InitProgramFolder();
    void InitTempFolder();
    // Events and commands.
    void Form_Activate();
    void mnuRefresh_Click();
    void mneExit_Click();
    // Layout.
    void Form_Resize();
    void picSource_Resize();
    void picDest_Resize();
    void lvSource_GotFocus();
    void lvDest_GotFocus();
    void lvSource_ItemClick(int row);
    void lvDest_ItemClick(int row);
    void lvSource_MouseUp(int button, int shift, float x, float y);
    void lvDest_MouseUp(int button, int shift, float x, float y);
    void lvSource_MouseMove(int button, int shift, float x, float y);
    void lvDest_MouseMove(int button, int shift, float x, float y);
    void lvSource_DblClick();
    void lvDest_DblClick();
    void tmrSource_Timer();
    void trmPaste_Timer();
    // Commands.
    void tbrMain_ButtonClick(const QString& key);
    void mnuCustomizeToolbar_Click();
    void cmdSource_Click();
    void cmdDest_Click();
    void mnu_File_Folder_Change_Source_Click();
    void mnu_File_Folder_Change_Destination_Click();
    void mnu_File_Folder_Swap_Click();
    void mnu_File_Folder_View_Info_Click();
    void mnuOpen_Click();
    void mnuPopupOpen_Click();
    void mnuProperties_Click();
    void mnuPopupProperties_Click();
    void ExecuteShellVerb(const QString& verb);
    void mnuCompareFiles_Click();
    void compareFiles(const QByteArray& left, const QByteArray& right);
    // The paths of the two files Compare Files acts on; empty when none.
    QList<QByteArray> filesToCompare() const;
    // Options, help and the folder context menu.
    // The main window's tag: the Options dialog's answer, "" or "Refresh".
    QString Tag;
    void mnu_View_Options_Click();
    void mnuHelp_Contents_Click();
    void mnuHelp_Products_Click();
    void mnu_Help_ZelmarWebPage_Click();
    void mnu_Help_FreeStuff_Click();
    void mnu_Help_OnTheWeb_ProgrammersCorner_Click();
    void mnu_Help_SendFeedback_Click();
    void mnuHelpAbout_Click();
    // Points the file managers' "Match with folder..." at this executable.
    void RegisterFolderMenu();
    // The internal clipboard: entry 0 empty, then the last Cut's or Copy's
    // files; mode 0 before any, 1 after Cut, 2 after Copy.
    QList<ClipboardEntry> ClipboardFiles{ClipboardEntry{}};
    int ClipboardMode = 0;
    // How the file commands copy; tests make the writes fail.
    CopyOptions copyOptions;
    // A paste, drop, delete or other file command is under way.
    bool fileCommandRunning() const { return m_fileCommandRunning; }
    // File commands: selection, clipboard, paste, drop, rename, delete.
    void mnuEditCut_Click();
    void mnuEditCopy_Click();
    void mnuEditPaste_Click();
    void mnuEditDSelectAll_Click();
    void mnuEditInvertSelection_Click();
    void mnuEditSelectNewer_Click();
    void mnuEditNextDifference_Click();
    void mnuEditPreviousDifference_Click();
    void mnuEditCopyToRight_Click();
    void mnuEditCopyToLeft_Click();
    void mnuViewOnlyDifferences_Click();
    void mnuPopupCut_Click();
    void mnuPopupCopy_Click();
    void mnuPopupPaste_Click();
    void lvSource_DragDrop(const QString& draggedName, float x, float y);
    void lvDest_DragDrop(const QString& draggedName, float x, float y);
    void mnuRename_Click();
    void mnuPopupRename_Click();
    void lvSource_BeforeLabelEdit(int& cancel);
    void lvDest_BeforeLabelEdit(int& cancel);
    void lvSource_AfterLabelEdit(int& cancel, const QString& newText);
    void lvDest_AfterLabelEdit(int& cancel, const QString& newText);
    void mnuDelete_Click();
    void mnuPopupDelete_Click();
    // Like Delete, but the files are removed for good, never to the Trash.
    void mnuEditDeletePermanently_Click();
    void mnuShowSubfolders_Click();
    void mnuUpOneLevel_Click();
    void mnuFlatten_Click();
    bool flattened() const;
    // The panes, the menu entry and the toolbar switch as the entry says.
    void showFlattened();
    bool openFolderRow(ListPane* pane);
    // Takes back the last file command not yet undone.
    void mnuEditUndo_Click();
    const UndoJournal& undoJournal() const { return m_comparison->undoJournal(); }
    void mnuEditSynchronize_Click();
    // The plan the panes preview (entry k on row k), or null.
    const SyncPlan* syncPreview() const { return m_comparison->syncPreview().previewed(); }
    SyncColumn* syncColumn() const { return m_ui.syncColumn; }
    void changeSyncActions(SyncAction action);
    void cmdSyncRun_Click();
    void cmdSyncCancel_Click();

Q_SIGNALS:
    // Both folders are listed and laid out; the panes are about to show them.
    void foldersScanned();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's helpers, each taking the window it works on (main_parts.h).
    struct Parts;
    // A row's type and image as it is painted: a failure is told after the paint.
    PaneModel::Look paintedLook(const FolderRows& rows, qsizetype row, Side side);
    // The reading's progress in the status bar while the flattened view fills.
    void showFlatProgress(qint64 folders, qint64 entries);
    QList<QAction*> fileCommandActions() const;
    ListPane* activeList() const;
    QLineEdit* activeFolderBox() const;
    void updatePasteCommands();
    void updateUndoCommand();
    // Begins a command's record for Undo, ended (and Undo's entry updated)
    // when the guard returned goes, after the command's run: declare it first.
    QScopeGuard<std::function<void()>> recordForUndo(const QString& command, bool counted = true);
    void beforeLabelEdit(ListPane* pane, QLineEdit* folderBox, int& cancel);
    void afterLabelEdit(ListPane* pane, int& cancel, const QString& newText);
    Platform& m_platform;
    // The pair shown: its rows, checks, plan and Undo.
    Comparison* m_comparison = new Comparison(this);
    MainControls m_ui;
    // The file a rename began on, its row's text then, and its pane.
    struct Renaming {
        ListPane* pane = nullptr;
        QString text;
        ClipboardEntry file;
        QByteArray top; // the pane's folder, from which the file is reached
    };
    std::optional<Renaming> m_renaming;
    // The files of the last drag begun, and their pane: what its drop copies.
    ListPane* m_dragPane = nullptr;
    QList<ClipboardEntry> m_dragged;
    bool m_activated = false;
    bool m_fitRestored = false; // left maximised or minimised: restored bounds to fit
    QString m_programFolder, m_tempFolder;
    ImageList m_ilIcons;
    std::unique_ptr<IconLookup> m_iconLookup;
    // Two files given on the command line, compared once the window shows.
    QList<QByteArray> m_startFiles;
    // Stored folders that were gone at start-up, as their boxes show them.
    QStringList m_goneAtStart;
    // Geometry read, by key: twips and the pixels applied; kept as read if unchanged.
    QHash<QString, std::pair<double, int>> m_twipsRead;
    bool m_fileCommandRunning = false;
    bool m_refreshing = false;
    bool m_refreshAgain = false; // a refresh was asked for while one ran
    bool m_lookFailed = false;   // a painted row's icon failed in this refresh
    bool m_levelling = false;    // one pane is being brought level with the other
};
