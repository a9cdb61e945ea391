// How the two panes react to focus, clicks and the mouse, and how the
// Destination pane keeps level with the Source pane.
#include "mainwindow/main_window.h"

#include "core/window_layout.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/twips.h"
#include "shell/platform.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <cmath>

namespace {

// A timer of the usual platform granularity: often enough for the eye,
// rarely enough to leave an idle window idle.
constexpr int timerIntervalMs = 20;

// The commands that follow the clicked row, in the order they are set.
const char* const rowCommands[] = {"mnuOpen",        "mnuDelete",      "mnuRename",
                                   "mnuProperties",  "mnuEditCopy",    "mnuEditCut",
                                   "mnuPopupOpen",   "mnuPopupCopy",   "mnuPopupCut",
                                   "mnuPopupDelete", "mnuPopupRename", "mnuPopupProperties"};
const char* const rowButtons[] = {"Open", "Cut", "Copy", "Delete", "Properties"};

bool currentRowIsFile(const ListPane* pane) {
    return !pane->rowText(pane->currentRow()).isEmpty();
}

} // namespace

void Main::connectPaneEvents() {
    connect(m_lvSource, &ListPane::gotFocus, this, &Main::lvSource_GotFocus);
    connect(m_lvDest, &ListPane::gotFocus, this, &Main::lvDest_GotFocus);
    connect(m_lvSource, &ListPane::itemClick, this, &Main::lvSource_ItemClick);
    connect(m_lvDest, &ListPane::itemClick, this, &Main::lvDest_ItemClick);
    connect(m_lvSource, &ListPane::mouseUp, this, &Main::lvSource_MouseUp);
    connect(m_lvDest, &ListPane::mouseUp, this, &Main::lvDest_MouseUp);
    connect(m_lvSource, &ListPane::mouseMove, this, &Main::lvSource_MouseMove);
    connect(m_lvDest, &ListPane::mouseMove, this, &Main::lvDest_MouseMove);
    connect(m_lvSource, &ListPane::dblClick, this, &Main::lvSource_DblClick);
    connect(m_lvDest, &ListPane::dblClick, this, &Main::lvDest_DblClick);

    m_tmrSource = new QTimer(this);
    m_tmrSource->setObjectName(QStringLiteral("tmrSource"));
    m_tmrSource->setInterval(timerIntervalMs);
    connect(m_tmrSource, &QTimer::timeout, this, &Main::tmrSource_Timer);
    // Between ticks, the Source pane's own scrolling and sizing pull the
    // Destination pane along at once.
    connect(m_lvSource->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &Main::tmrSource_Timer);
    connect(m_lvSource->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &Main::tmrSource_Timer);
    m_tmrSource->start();

    m_trmPaste = new QTimer(this);
    m_trmPaste->setObjectName(QStringLiteral("trmPaste"));
    m_trmPaste->setInterval(timerIntervalMs);
    connect(m_trmPaste, &QTimer::timeout, this, &Main::trmPaste_Timer);
    m_trmPaste->start();
}

void Main::lvSource_GotFocus() {
    ActivePane = 0;
}

void Main::lvDest_GotFocus() {
    ActivePane = 1;
}

void Main::lvSource_ItemClick(int row) {
    rowClicked(m_lvSource, m_txtSource, row);
}

void Main::lvDest_ItemClick(int row) {
    rowClicked(m_lvDest, m_txtDest, row);
}

void Main::rowClicked(ListPane* pane, QLineEdit* folderBox, int row) {
    CurrentFile = pane->rowText(row);
    CurrentFolder = folderBox->text();
    const bool isFile = !CurrentFile.isEmpty();
    for (const char* name : rowCommands)
        menuEntry(QString::fromLatin1(name))->setEnabled(isFile);
    for (const char* key : rowButtons)
        toolbarButton(QString::fromLatin1(key))->setEnabled(isFile);
}

void Main::lvSource_MouseUp(int button, int, float x, float y) {
    paneMouseUp(m_lvSource, button, x, y);
}

void Main::lvDest_MouseUp(int button, int, float x, float y) {
    paneMouseUp(m_lvDest, button, x, y);
}

void Main::paneMouseUp(ListPane* pane, int button, float x, float y) {
    if (pane->count() >= 2 && currentRowIsFile(pane) && button == 2) {
        const QPoint at(qRound(x / twipsPerPixelX(pane)), qRound(y / twipsPerPixelY(pane)));
        m_mnuContext->popup(pane->mapToGlobal(at));
    }
}

void Main::lvSource_MouseMove(int button, int, float, float) {
    paneMouseMove(m_lvSource, 1, button);
}

void Main::lvDest_MouseMove(int button, int, float, float) {
    paneMouseMove(m_lvDest, 2, button);
}

void Main::paneMouseMove(ListPane* pane, int minimumRows, int button) {
    if (pane->count() >= minimumRows && currentRowIsFile(pane) && button == 1)
        platform().startDrag(pane, pane->objectName());
}

void Main::lvSource_DblClick() {
    ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::lvDest_DblClick() {
    ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::tmrSource_Timer() {
    // Rows the Source pane shows, from its height and its rows' heights (the
    // view's own row heights, in twips like the height). With fewer than two
    // rows there is nothing to measure and the estimate is 0.
    const double ty = twipsPerPixelY(m_lvSource);
    float visibleRows = 0.0f;
    const int t1 = m_lvSource->rowHeightPixels(0);
    const int t2 = m_lvSource->rowHeightPixels(1);
    if (t1 > 0 && t2 > 0) {
        const float h = static_cast<float>(m_lvSource->height() * ty);
        visibleRows = (h - static_cast<float>(t2 * ty)) / static_cast<float>(t1 * ty) - 1.0f;
    }
    const int top = m_lvSource->firstVisibleRow();
    if (top < 0)
        return; // no rows: every step fails
    // Positions past either end name no row and are skipped by the pane.
    m_lvDest->ensureRowVisible(top);
    const float last = static_cast<float>(top + 1) + visibleRows - 10.0f; // 1-based
    m_lvDest->ensureRowVisible(static_cast<int>(std::lround(last)) - 1);
}

void Main::trmPaste_Timer() {
    placeProgressBar(pasteTimerProgressInset);
    updatePasteCommands();
}
