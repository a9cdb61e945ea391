#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "mainwindow/folder_entry.h"
#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/off_thread.h"
#include "mainwindow/twips.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QToolButton>

namespace {

// The folder buttons are squares of this size.
constexpr double folderButtonTwips = 255.0;
// The inner area the window is designed for, below the menu bar.
constexpr double designWidthTwips = 5430.0;
constexpr double designHeightTwips = 4140.0;

} // namespace

Main::Main(Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Duoscope"));
    Parts::buildControls(*this);
    // The reads wait as the window's commands do: answering, Escape stopping them.
    m_comparison->setRunner([this](std::atomic<bool>& cancel, const std::function<void()>& work,
                                   const std::function<void()>& tick) {
        return runOffThread(this, cancel, work, tick);
    });
    connect(m_comparison, &Comparison::reading, this, [this](qint64 folders, qint64 entries) {
        m_ui.pbrMain->setValue(
            static_cast<int>(std::min<qint64>(entries, m_ui.pbrMain->maximum())));
        if (flattened())
            showFlatProgress(folders, entries);
    });
    connect(m_comparison, &Comparison::summaryChanged, this,
            [this] { Parts::showStatusSummary(*this); });
    m_iconLookup = std::make_unique<IconLookup>(devicePixelRatioF());
    const auto icons = [this](int position) -> QVariant { return m_ilIcons.icon(position); };
    const auto looks = [this](const FolderRows& rows, qsizetype row, Side side) {
        return paintedLook(rows, row, side);
    };
    for (ListPane* pane : {m_ui.lvSource, m_ui.lvDest}) {
        pane->rows().setIconSource(icons);
        pane->rows().setLookSource(looks);
    }
    // Usable before Form_Load runs, which sets both again.
    InitProgramFolder();
    InitTempFolder();
    // The designed size, until Form_Load restores the saved placement.
    resize(qRound(designWidthTwips / twipsPerPixelX(this)),
           qRound(designHeightTwips / twipsPerPixelY(this)) + menuBar()->sizeHint().height());
}

Main::~Main() {
    // No result may arrive for a window that is going.
    m_comparison->stopContentCheck();
    // Nor may the panes, hidden as the window's base closes it, ask for rows
    // whose icons and types lived in members already gone by then.
    m_comparison->visibleRows().setFolderRows(nullptr);
    // Nor a signal of the panes, which the window's base hides after this.
    for (ListPane* pane : {m_ui.lvSource, m_ui.lvDest}) {
        for (QObject* sender :
             std::initializer_list<QObject*>{pane, pane->verticalScrollBar(),
                                             pane->horizontalScrollBar(), pane->selectionModel()})
            sender->disconnect(this);
    }
}

QWidget* Main::Parts::buildPane(Main& m, QWidget*& container, QLineEdit*& folderBox,
                                QToolButton*& folderButton, ListPane*& list, const QString& side,
                                const QString& tooltip) {
    // The controls are placed by the pane's resize handler, not by a layout.
    container = new QWidget(m.centralWidget());
    container->setObjectName(QStringLiteral("pic") + side);
    folderBox = new QLineEdit(container);
    folderBox->setObjectName(QStringLiteral("txt") + side);
    folderBox->setReadOnly(true);
    // A display field: link-coloured text (blue in a light theme, readable
    // in a dark one) on the button face.
    QPalette look = folderBox->palette();
    look.setColor(QPalette::Base, look.color(QPalette::Button));
    look.setColor(QPalette::Text, look.color(QPalette::Link));
    folderBox->setPalette(look);
    // Clicked, it opens an editor over itself to type a folder into.
    folderBox->setFocusPolicy(Qt::NoFocus);
    folderBox->setCursor(Qt::IBeamCursor);
    auto* entry = new FolderEntry(folderBox);
    connect(entry, &FolderEntry::entered, &m,
            [&m, folderBox](const QString& text) { Parts::folderTyped(m, folderBox, text); });
    folderButton = new QToolButton(container);
    folderButton->setObjectName(QStringLiteral("cmd") + side);
    folderButton->setText(QStringLiteral("..."));
    folderButton->setToolTip(tooltip);
    folderButton->setFixedSize(qRound(folderButtonTwips / twipsPerPixelX(&m)),
                               qRound(folderButtonTwips / twipsPerPixelY(&m)));
    list = new ListPane(m.m_comparison->visibleRows(), container);
    list->setObjectName(QStringLiteral("lv") + side);
    container->installEventFilter(&m);
    return container;
}

void Main::Parts::buildControls(Main& m) {
    auto* central = new QWidget(&m);
    central->setObjectName(QStringLiteral("picBand"));
    m.setCentralWidget(central);
    central->installEventFilter(&m);
    Parts::buildPane(m, m.m_ui.picSource, m.m_ui.txtSource, m.m_ui.cmdSource, m.m_ui.lvSource,
                     QStringLiteral("Source"), QStringLiteral("Select source folder"));
    Parts::buildPane(m, m.m_ui.picDest, m.m_ui.txtDest, m.m_ui.cmdDest, m.m_ui.lvDest,
                     QStringLiteral("Dest"), QStringLiteral("Select destination folder"));
    m.m_ui.lvDest->setSide(Side::Destination);

    m.m_ui.sbrMain = new QStatusBar(&m);
    m.m_ui.sbrMain->setObjectName(QStringLiteral("m.sbrMain"));
    m.m_ui.statusPanel1 = new QLabel(m.m_ui.sbrMain);
    m.m_ui.statusPanel2 = new QLabel(m.m_ui.sbrMain);
    m.m_ui.sbrMain->addWidget(m.m_ui.statusPanel1, 1);
    // How the rows compare, in a panel of its own beside the refresh's.
    m.m_ui.statusSummary = new QLabel(m.m_ui.sbrMain);
    m.m_ui.statusSummary->setObjectName(QStringLiteral("sbrSummary"));
    m.m_ui.sbrMain->addWidget(m.m_ui.statusSummary);
    m.m_ui.sbrMain->addPermanentWidget(m.m_ui.statusPanel2, 1);
    m.setStatusBar(m.m_ui.sbrMain);
    // A control of the window itself, laid over the status bar's second panel.
    m.m_ui.pbrMain = new QProgressBar(&m);
    m.m_ui.pbrMain->setObjectName(QStringLiteral("m.pbrMain"));
    m.m_ui.pbrMain->setTextVisible(false);
    m.m_ui.pbrMain->setRange(0, 100);
    m.m_ui.pbrMain->setValue(0);
    m.m_ui.sbrMain->installEventFilter(&m);
    m.m_ui.statusPanel2->installEventFilter(&m);

    m.m_ui.mnuRefresh = new QAction(QStringLiteral("&Refresh"), &m);
    m.m_ui.mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    m.m_ui.mnuRefresh->setShortcut(Qt::Key_F5);
    connect(m.m_ui.mnuRefresh, &QAction::triggered, &m, &Main::mnuRefresh_Click);
    // As in a file manager: type a folder from the keyboard, into the box of
    // the pane last in use.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), &m), &QShortcut::activated, &m,
            [&m] { m.activeFolderBox()->findChild<FolderEntry*>()->begin(); });
    Parts::buildMenus(m);
    Parts::buildToolbar(m);
    Parts::connectPaneEvents(m);
    Parts::connectFileCommands(m);
    Parts::buildSyncPreview(m);
}

QString Main::statusText() const {
    return m_ui.statusPanel1->text();
}

QString Main::statusSummary() const {
    return m_ui.statusSummary->text();
}

void Main::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
    if (event->type() == QEvent::WindowStateChange && windowState() == Qt::WindowNoState) {
        m_fitRestored = true;
        Parts::fitToScreen(*this);
    }
}

void Main::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Without a window manager nothing activates a new window; ask for it.
    if (!m_activated && !isActiveWindow())
        activateWindow();
}

void Main::Form_Activate() {
    if (m_activated)
        return;
    m_activated = true;
    mnuRefresh_Click();
    // After a refresh that ended early the panes are hidden and take no focus.
    if (m_ui.lvSource->isVisible())
        m_ui.lvSource->setFocus();
    if (m_startFiles.size() == 2)
        compareFiles(m_startFiles[0], m_startFiles[1]);
    m_startFiles.clear();
}
