#pragma once

class ListPane;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QShortcut;
class QStatusBar;
class QToolBar;
class QToolButton;
class QWidget;
class SyncColumn;

// The main window's controls, by the names the handlers know them by; the
// window's children, owned by it.
struct MainControls {
    // Each pane with its folder box and its folder button, in a container.
    QWidget *picSource = nullptr, *picDest = nullptr;
    QLineEdit *txtSource = nullptr, *txtDest = nullptr;
    QToolButton *cmdSource = nullptr, *cmdDest = nullptr;
    ListPane *lvSource = nullptr, *lvDest = nullptr;
    // The status bar: panel 1 the refresh's text, panel 2 under the progress
    // bar, and the counts of each status.
    QStatusBar* sbrMain = nullptr;
    QLabel *statusPanel1 = nullptr, *statusPanel2 = nullptr, *statusSummary = nullptr;
    QProgressBar* pbrMain = nullptr;
    QAction *mnuCompareContents = nullptr, *mnuShowSubfolders = nullptr, *mnuFlatten = nullptr,
            *mnuRefresh = nullptr;
    QToolBar* tbrMain = nullptr;
    QMenu* mnuContext = nullptr;
    // Synchronize's preview: the bar above the panes, the column of actions
    // between them, and Space that skips.
    QWidget* syncBar = nullptr;
    QLabel* syncText = nullptr;
    SyncColumn* syncColumn = nullptr;
    QShortcut* syncSkip = nullptr;
};
