#pragma once

#include "comparison/comparison.h"
#include "comparison/sync_preview.h"
#include "fileops/clipboard.h"
#include "fileops/file_copy.h"
#include "fileops/file_steps.h"
#include "fs/file_system.h"
#include "mainwindow/image_list.h"
#include "mainwindow/pane_model.h"
#include "sync/sync_plan.h"

#include <QHash>
#include <QMainWindow>
#include <QScopeGuard>
#include <QString>
#include <memory>
#include <optional>

class IconLookup;
class ListPane;
class Platform;
class QAction;
class TextFormats;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QStatusBar;
class QToolBar;
class QToolButton;
class SettingsStore;
class SyncColumn;
class QShortcut;

// The main window: two folders side by side, Source left, Destination right.
// Handlers are public: they are the window's commands and events, run by the
// controls and callable as they are from tests.
class Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Main(Platform& platform, QWidget* parent = nullptr);
    ~Main() override;

    Platform& platform() const { return m_platform; }

    // Controls.
    QWidget* picSource() const { return m_picSource; }
    QWidget* picDest() const { return m_picDest; }
    QLineEdit* txtSource() const { return m_txtSource; }
    QLineEdit* txtDest() const { return m_txtDest; }
    QToolButton* cmdSource() const { return m_cmdSource; }
    QToolButton* cmdDest() const { return m_cmdDest; }
    ListPane* lvSource() const { return m_lvSource; }
    ListPane* lvDest() const { return m_lvDest; }
    QStatusBar* sbrMain() const { return m_sbrMain; }
    QProgressBar* pbrMain() const { return m_pbrMain; }
    // Panel 1 of the status bar: the refresh's status text.
    QString statusText() const;
    // The status bar's panel that counts the rows of each status after a refresh.
    QString statusSummary() const;
    // View > Compare Contents: after each refresh, the pairs of equal size and
    // time are compared byte for byte in the background.
    void mnuCompareContents_Click();
    // A content check is under way.
    bool contentCheckRunning() const { return m_comparison->contentCheckRunning(); }
    // Panel 2 of the status bar, which the progress bar covers.
    QLabel* statusPanel2() const { return m_statusPanel2; }
    QToolBar* tbrMain() const { return m_tbrMain; }
    QMenu* mnuContext() const { return m_mnuContext; }
    // A menu entry by its name ("mnuOpen", "mnuPopupOpen"), or null.
    QAction* menuEntry(const QString& name) const;
    // A toolbar button by its key ("Open", "SwapFolders"), or null.
    QAction* toolbarButton(const QString& key) const;
    // The toolbar's buttons by key in order, "" for a separator.
    QStringList toolbarArrangement() const;

    // The pane that had the focus last (0 Source, anything else Destination),
    // and the current row of the pane that was pointed at last: its text (""
    // for a placeholder), the bytes of its listed name, and the text of its
    // pane's folder box. CurrentFileName reaches the file; CurrentFile shows it.
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

    // Start-up: reads the stored settings into the window. `arguments` are
    // the command line's folders or files (name texts), relative ones taken
    // from `startFolder` (default: the folder the program was started
    // from). None: the stored folders. One folder: the Source, and the
    // folder to match it with is asked for. Two folders: Source and
    // Destination. Two files: their folders, and once the window is shown
    // they are compared as Compare Files does. A folder that is not there is
    // named in a message and asked for. False when a folder question was
    // cancelled: the program must then end without showing the window or
    // saving anything.
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

    // Pane events, and the synchronisation that keeps the two panes level
    // (whichever one moves, the other follows) and the progress bar over the
    // status bar: both run on the events that change what they watch, never
    // on a clock.
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
    // File > Compare Files: the current row's two files, or the two files
    // selected in the pane last pointed at, in the user's diff program when
    // one is set, else in the program's own view.
    void mnuCompareFiles_Click();
    // Shows two files side by side as Compare Files does: in the user's diff
    // program when one is set, else in the program's own view.
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
    // The internal clipboard: entry 0 stays empty, then the files the last
    // Cut or Copy recorded. Mode 0 before any, 1 after Cut, 2 after Copy.
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
    // Selects the active pane's rows whose file is missing on the other side
    // or newer there: a Copy and Paste into the other pane then updates it.
    // Says how many in the status bar and brings the first into view.
    void mnuEditSelectNewer_Click();
    // Moves the active pane's current row to the next (previous) pair that
    // differs and selects it alone; beeps when there is none that way.
    void mnuEditNextDifference_Click();
    void mnuEditPreviousDifference_Click();
    // The selected rows' files or folders (whichever pane they were selected
    // in) copied from the Source side to the same relative place on the
    // Destination side (Right), or back (Left), with the folders above them
    // made as needed; one Undo entry.
    void mnuEditCopyToRight_Click();
    void mnuEditCopyToLeft_Click();
    // View > Show Only Differences: hides the pairs that are the same in both
    // panes, or shows every pair again.
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
    // Folder rows: View > Show Subfolders lists them; Enter or a double
    // click on one opens it in both panes, Backspace or View > Up One Level
    // goes back to the parent in both, the folder left current again.
    void mnuShowSubfolders_Click();
    void mnuUpOneLevel_Click();
    // View > Flatten Subfolders: both panes list every file of both trees,
    // each row with its folder relative to the pane's folder.
    void mnuFlatten_Click();
    bool flattened() const;
    // The panes, the menu entry and the toolbar switch as the entry says.
    void showFlattened();
    // Opens the folder of the pane's current row in both panes; false when
    // that row holds no folder.
    bool openFolderRow(ListPane* pane);

    // Takes back the last file command not yet undone.
    void mnuEditUndo_Click();
    const UndoJournal& undoJournal() const { return m_comparison->undoJournal(); }

    // Edit > Synchronize: the mode asked for, the plan made on a thread of
    // its own (Escape stops it) and previewed in the panes, flattened, one
    // row per entry with its action in a column between them. Alt+Right,
    // Alt+Left, Delete and Space change the selected rows' actions;
    // Synchronize runs the plan as one command, Cancel or Escape leaves it.
    // Any refresh leaves it too.
    void mnuEditSynchronize_Click();
    // The plan the panes preview (entry k on row k), or null.
    const SyncPlan* syncPreview() const { return m_syncPreview.previewed(); }
    SyncColumn* syncColumn() const { return m_syncColumn; }
    // The selected rows' actions (the current row's when none is selected)
    // set to `action` where the row allows it; Skip on rows all skipped
    // gives them back the plan's own.
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
    void buildControls();
    QWidget* buildPane(QWidget*& container, QLineEdit*& folderBox, QToolButton*& folderButton,
                       ListPane*& list, const QString& side, const QString& tooltip);
    void refreshPanes();
    // A file row's type and image; throws FsError from the scratch file.
    PaneModel::Look lookUp(const FolderRows& rows, qsizetype row, Side side);
    // The same for a row being painted: a failure is reported after the paint.
    PaneModel::Look paintedLook(const FolderRows& rows, qsizetype row, Side side);
    void restoreCurrentRow(ListPane* pane, int row, const QByteArray& fileName);
    // The reading's progress in the status bar while the flattened view fills.
    void showFlatProgress(qint64 folders, qint64 entries);
    void stopContentCheck() { m_comparison->stopContentCheck(); }
    void showStatusSummary();
    void noteMissingFolders();
    void buildMenus();
    void buildToolbar();
    static QStringList defaultToolbarArrangement();
    void applyToolbarArrangement(const QStringList& keys);
    void connectPaneEvents();
    void layoutPaneControls(QWidget* container, QToolButton* button, QLineEdit* box,
                            ListPane* list);
    void placeProgressBar(float heightInset);
    void fitToScreen();
    void rowClicked(ListPane* pane, QLineEdit* folderBox, int row);
    void paneMouseUp(ListPane* pane, int button, float x, float y);
    void paneMouseMove(ListPane* pane, int minimumRows, int button);
    void chooseFolder(QLineEdit* folderBox, const QString& title);
    bool takeStartFolders(const QStringList& arguments, const QString& startFolder,
                          const QString& storedSource, const QString& storedDest);
    // A folder typed into a folder box and Enter: taken when it is a folder.
    void folderTyped(QLineEdit* box, const QString& text);
    void readColumns(const SettingsStore& store, ListPane* pane, const char* const keys[4]);
    void rememberTwips(const QString& key, double twips, int applied, double twipsPerPixel);
    void writeTwips(SettingsStore& store, const QString& key, int pixels,
                    double twipsPerPixel) const;
    void connectFileCommands();
    void updateCompareCommand();
    void startDiffProgram(const QList<QByteArray>& paths);
    QList<QAction*> fileCommandActions() const;
    ListPane* activeList() const;
    QLineEdit* activeFolderBox() const;
    void updatePasteCommands();
    void updateUndoCommand();
    // Begins a command's record for Undo, ended (and the Undo entry updated)
    // when the returned guard goes, after the command's run: declare it first.
    auto recordForUndo(const QString& command, bool counted = true) {
        m_undo.begin(command, counted);
        return qScopeGuard([this] {
            m_undo.end();
            updateUndoCommand();
        });
    }
    void copyAcross(Side from);
    void showOnlyDifferences(bool only);
    void goToDifference(int step);
    // Brings the other pane to the rows and offset of `pane`.
    void levelWith(ListPane* pane);
    void deleteSelected(DeleteWay way);
    void dropRows(ListPane* dragged, QLineEdit* receivingBox, bool accepted);
    void beforeLabelEdit(ListPane* pane, QLineEdit* folderBox, int& cancel);
    void afterLabelEdit(ListPane* pane, int& cancel, const QString& newText);
    void buildSyncPreview();
    void showSyncPreview();
    void showSyncSummary();
    void endSyncPreview();

    Platform& m_platform;
    // The comparison shown, and its parts the handlers reach often.
    Comparison* m_comparison = new Comparison(this);
    FilterSettings& m_settings = m_comparison->settings();
    UndoJournal& m_undo = m_comparison->undoJournal();
    VisibleRows* m_visibleRows = &m_comparison->visibleRows();
    // The file a rename began on, its row's text then, and its pane.
    struct Renaming {
        ListPane* pane = nullptr;
        QString text;
        ClipboardEntry file;
    };
    std::optional<Renaming> m_renaming;
    // The files of the last drag begun, and their pane: what its drop copies.
    ListPane* m_dragPane = nullptr;
    QList<ClipboardEntry> m_dragged;
    bool m_activated = false;
    // Set when the window leaves the maximised or minimised state: the bounds
    // the window manager restores are fitted to the screen when they arrive.
    bool m_fitRestored = false;
    QString m_programFolder;
    QString m_tempFolder;
    ImageList m_ilIcons;
    std::unique_ptr<IconLookup> m_iconLookup;

    QWidget* m_picSource = nullptr;
    QWidget* m_picDest = nullptr;
    QLineEdit* m_txtSource = nullptr;
    QLineEdit* m_txtDest = nullptr;
    QToolButton* m_cmdSource = nullptr;
    QToolButton* m_cmdDest = nullptr;
    ListPane* m_lvSource = nullptr;
    ListPane* m_lvDest = nullptr;
    // Two files given on the command line, compared once the window shows.
    QList<QByteArray> m_startFiles;
    // Stored folders that were gone at start-up, as their boxes show them.
    QStringList m_goneAtStart;
    QStatusBar* m_sbrMain = nullptr;
    QLabel* m_statusPanel1 = nullptr;
    QLabel* m_statusPanel2 = nullptr;
    QLabel* m_statusSummary = nullptr;
    QAction* m_mnuCompareContents = nullptr;
    QAction* m_mnuShowSubfolders = nullptr;
    QAction* m_mnuFlatten = nullptr;
    QProgressBar* m_pbrMain = nullptr;
    QAction* m_mnuRefresh = nullptr;
    QToolBar* m_tbrMain = nullptr;
    QMenu* m_mnuContext = nullptr;
    // Geometry read from the store, by key: the twips read and the pixels
    // they were applied as. A value the user leaves alone is saved as read.
    QHash<QString, std::pair<double, int>> m_twipsRead;
    bool m_fileCommandRunning = false;
    bool m_refreshing = false;
    bool m_refreshAgain = false; // a refresh was asked for while one ran
    bool m_lookFailed = false;   // a painted row's icon failed in this refresh
    bool m_levelling = false;    // one pane is being brought level with the other
    // Synchronize: the mode, plan and actions previewed, the bar above the
    // panes and the column between them.
    SyncPreview m_syncPreview;
    QWidget* m_syncBar = nullptr;
    QLabel* m_syncText = nullptr;
    SyncColumn* m_syncColumn = nullptr;
    QShortcut* m_syncSkip = nullptr;
};
