// How the two panes react to focus, clicks, keys and the mouse, and how each
// pane keeps level with the other.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "mainwindow/list_pane.h"
#include "mainwindow/pane_selection.h"
#include "mainwindow/twips.h"
#include "shell/platform.h"
#include "store/window_layout.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QToolButton>

namespace {

// The commands that follow the clicked row, in the order they are set.
const char* const rowCommands[] = {
    "mnuOpen",           "mnuDelete",      "mnuEditDeletePermanently",
    "mnuRename",         "mnuProperties",  "mnuEditCopy",
    "mnuEditCut",        "mnuPopupOpen",   "mnuPopupCopy",
    "mnuPopupCut",       "mnuPopupDelete", "mnuPopupRename",
    "mnuPopupProperties"};
const char* const rowButtons[] = {"Open", "Cut", "Copy", "Delete", "Properties"};

bool currentRowIsFile(const ListPane* pane) {
    return !pane->rowText(pane->currentRow()).isEmpty();
}

} // namespace

void Main::Parts::connectPaneEvents(Main& m) {
    connect(m.m_ui.lvSource, &ListPane::gotFocus, &m, &Main::lvSource_GotFocus);
    connect(m.m_ui.lvDest, &ListPane::gotFocus, &m, &Main::lvDest_GotFocus);
    connect(m.m_ui.lvSource, &ListPane::itemClick, &m, &Main::lvSource_ItemClick);
    connect(m.m_ui.lvDest, &ListPane::itemClick, &m, &Main::lvDest_ItemClick);
    connect(m.m_ui.lvSource, &ListPane::mouseUp, &m, &Main::lvSource_MouseUp);
    connect(m.m_ui.lvDest, &ListPane::mouseUp, &m, &Main::lvDest_MouseUp);
    connect(m.m_ui.lvSource, &ListPane::mouseMove, &m, &Main::lvSource_MouseMove);
    connect(m.m_ui.lvDest, &ListPane::mouseMove, &m, &Main::lvDest_MouseMove);
    connect(m.m_ui.lvSource, &ListPane::dblClick, &m, &Main::lvSource_DblClick);
    connect(m.m_ui.lvDest, &ListPane::dblClick, &m, &Main::lvDest_DblClick);

    connect(m.m_ui.lvSource->selectionModel(), &QItemSelectionModel::currentChanged, &m,
            [&m](const QModelIndex& current) {
                if (current.isValid())
                    m.lvSource_ItemClick(current.row());
            });
    connect(m.m_ui.lvDest->selectionModel(), &QItemSelectionModel::currentChanged, &m,
            [&m](const QModelIndex& current) {
                if (current.isValid())
                    m.lvDest_ItemClick(current.row());
            });
    for (ListPane* pane : {m.m_ui.lvSource, m.m_ui.lvDest})
        connect(pane->selectionModel(), &QItemSelectionModel::selectionChanged, &m,
                [&m] { Parts::updateCompareCommand(m); });

    // Whatever moves either pane, by wheel, scroll bar or keys, moves the
    // other with it; whatever changes how far they can move levels them again.
    for (ListPane* pane : {m.m_ui.lvSource, m.m_ui.lvDest}) {
        for (QScrollBar* bar : {pane->verticalScrollBar(), pane->horizontalScrollBar()}) {
            connect(bar, &QScrollBar::valueChanged, &m, [&m, pane] { Parts::levelWith(m, pane); });
            connect(bar, &QScrollBar::rangeChanged, &m, &Main::tmrSource_Timer);
        }
    }
    connect(m.m_ui.cmdSource, &QToolButton::clicked, &m, &Main::cmdSource_Click);
    connect(m.m_ui.cmdDest, &QToolButton::clicked, &m, &Main::cmdDest_Click);
}

// Pane events, and the synchronisation that keeps the two panes level
// (whichever one moves, the other follows) and the progress bar over the
// status bar: both run on the events that change what they watch, never
// on a clock.
void Main::lvSource_GotFocus() {
    ActivePane = 0;
    // The highlighted row of the pane the user turns to is the one commands act on.
    if (m_ui.lvSource->currentRow() >= 0)
        lvSource_ItemClick(m_ui.lvSource->currentRow());
}

void Main::lvDest_GotFocus() {
    ActivePane = 1;
    if (m_ui.lvDest->currentRow() >= 0)
        lvDest_ItemClick(m_ui.lvDest->currentRow());
}

void Main::lvSource_ItemClick(int row) {
    Parts::rowClicked(*this, m_ui.lvSource, m_ui.txtSource, row);
}

void Main::lvDest_ItemClick(int row) {
    Parts::rowClicked(*this, m_ui.lvDest, m_ui.txtDest, row);
}

void Main::Parts::rowClicked(Main& m, ListPane* pane, QLineEdit* folderBox, int row) {
    m.CurrentFile = pane->rowText(row);
    m.CurrentFileName = pane->rowFileName(row);
    m.CurrentFolder = folderBox->text();
    const bool isFile = !m.CurrentFile.isEmpty();
    for (const char* name : rowCommands)
        m.menuEntry(QString::fromLatin1(name))->setEnabled(isFile);
    for (const char* key : rowButtons)
        m.toolbarButton(QString::fromLatin1(key))->setEnabled(isFile);
    Parts::updateCompareCommand(m);
}

void Main::lvSource_MouseUp(int button, int, float x, float y) {
    Parts::paneMouseUp(*this, m_ui.lvSource, button, x, y);
}

void Main::lvDest_MouseUp(int button, int, float x, float y) {
    Parts::paneMouseUp(*this, m_ui.lvDest, button, x, y);
}

void Main::Parts::paneMouseUp(Main& m, ListPane* pane, int button, float x, float y) {
    if (pane->count() >= 2 && currentRowIsFile(pane) && button == 2) {
        const QPoint at(qRound(x / twipsPerPixelX(pane)), qRound(y / twipsPerPixelY(pane)));
        m.m_ui.mnuContext->popup(pane->mapToGlobal(at));
    }
}

void Main::lvSource_MouseMove(int button, int, float, float) {
    Parts::paneMouseMove(*this, m_ui.lvSource, 1, button);
}

void Main::lvDest_MouseMove(int button, int, float, float) {
    Parts::paneMouseMove(*this, m_ui.lvDest, 2, button);
}

void Main::Parts::paneMouseMove(Main& m, ListPane* pane, int minimumRows, int button) {
    if (pane->count() >= minimumRows && currentRowIsFile(pane) && button == 1) {
        pane->noteDragBegun();
        m.m_dragPane = pane;
        // A host's rows by their paths there, through its side.
        const Comparison::PaneFolder& f =
            m.m_comparison->folder(pane == m.m_ui.lvSource ? Side::Source : Side::Destination);
        m.m_dragged =
            f.remote
                ? chosenFiles(*pane, f.path, f.side)
                : chosenFiles(
                      *pane,
                      FileSystem::encode(
                          (pane == m.m_ui.lvSource ? m.m_ui.txtSource : m.m_ui.txtDest)->text()));
        m.platform().startDrag(pane, pane->objectName());
    }
}

void Main::lvSource_DblClick() {
    if (!openFolderRow(m_ui.lvSource))
        ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::lvDest_DblClick() {
    if (!openFolderRow(m_ui.lvDest))
        ExecuteShellVerb(QStringLiteral("Open"));
}

void Main::tmrSource_Timer() {
    // Both panes show a horizontal scroll bar when either needs one: their
    // rows then have the same room, and Destination can go as far as Source.
    const bool wide = m_ui.lvSource->horizontalScrollBar()->maximum() > 0 ||
                      m_ui.lvDest->horizontalScrollBar()->maximum() > 0;
    const Qt::ScrollBarPolicy policy = wide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded;
    for (ListPane* pane : {m_ui.lvSource, m_ui.lvDest}) {
        if (pane->horizontalScrollBarPolicy() != policy)
            pane->setHorizontalScrollBarPolicy(policy);
    }
    // The pane the user works in leads.
    Parts::levelWith(*this, activeList());
}

void Main::Parts::levelWith(Main& m, ListPane* pane) {
    // The other pane's move must not move &m one back: with columns of
    // other widths its sideways range differs, and the two would fight.
    if (m.m_levelling)
        return;
    const QScopedValueRollback levelling(m.m_levelling, true);
    ListPane* other = pane == m.m_ui.lvSource ? m.m_ui.lvDest : m.m_ui.lvSource;
    // Rows of one height, the same number of them in the same room: the same
    // scroll position puts every row on the same pixel line in both panes.
    other->verticalScrollBar()->setValue(pane->verticalScrollBar()->value());
    other->horizontalScrollBar()->setValue(pane->horizontalScrollBar()->value());
}

void Main::trmPaste_Timer() {
    Parts::placeProgressBar(*this, pasteTimerProgressInset);
    updatePasteCommands();
}
