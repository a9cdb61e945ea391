#include "mainwindow/main_window.h"

#include "mainwindow/icon_lookup.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>

Main::Main(Platform& platform, QWidget* parent) : QMainWindow(parent), m_platform(platform) {
    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Duoscope"));
    buildControls();
    m_iconLookup = std::make_unique<IconLookup>(devicePixelRatioF());
    const auto icons = [this](int position) -> QVariant { return m_ilIcons.image(position); };
    m_lvSource->rows().setIconSource(icons);
    m_lvDest->rows().setIconSource(icons);
    // Usable before Form_Load runs, which sets both again.
    InitProgramFolder();
    InitTempFolder();
}

Main::~Main() = default;

QWidget* Main::buildPane(QWidget*& container, QLineEdit*& folderBox, QToolButton*& folderButton,
                         ListPane*& list, const QString& side, const QString& tooltip) {
    container = new QWidget(this);
    container->setObjectName(QStringLiteral("pic") + side);
    folderBox = new QLineEdit(container);
    folderBox->setObjectName(QStringLiteral("txt") + side);
    folderBox->setReadOnly(true);
    folderButton = new QToolButton(container);
    folderButton->setObjectName(QStringLiteral("cmd") + side);
    folderButton->setText(QStringLiteral("..."));
    folderButton->setToolTip(tooltip);
    list = new ListPane(container);
    list->setObjectName(QStringLiteral("lv") + side);

    auto* grid = new QGridLayout(container);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    grid->addWidget(folderBox, 0, 0);
    grid->addWidget(folderButton, 0, 1);
    grid->addWidget(list, 1, 0, 1, 2);
    return container;
}

void Main::buildControls() {
    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(buildPane(m_picSource, m_txtSource, m_cmdSource, m_lvSource,
                             QStringLiteral("Source"), QStringLiteral("Select source folder")));
    row->addWidget(buildPane(m_picDest, m_txtDest, m_cmdDest, m_lvDest, QStringLiteral("Dest"),
                             QStringLiteral("Select destination folder")));
    setCentralWidget(central);

    m_sbrMain = new QStatusBar(this);
    m_sbrMain->setObjectName(QStringLiteral("sbrMain"));
    m_statusPanel1 = new QLabel(m_sbrMain);
    m_statusPanel2 = new QLabel(m_sbrMain);
    m_sbrMain->addWidget(m_statusPanel1, 1);
    m_sbrMain->addPermanentWidget(m_statusPanel2, 1);
    setStatusBar(m_sbrMain);
    m_pbrMain = new QProgressBar(m_statusPanel2);
    m_pbrMain->setObjectName(QStringLiteral("pbrMain"));
    m_pbrMain->setTextVisible(false);
    m_pbrMain->setRange(0, 100);
    m_pbrMain->setValue(0);
    auto* panel2Layout = new QHBoxLayout(m_statusPanel2);
    panel2Layout->setContentsMargins(0, 0, 0, 0);
    panel2Layout->addWidget(m_pbrMain);

    m_mnuRefresh = new QAction(QStringLiteral("&Refresh"), this);
    m_mnuRefresh->setObjectName(QStringLiteral("mnuRefresh"));
    m_mnuRefresh->setShortcut(Qt::Key_F5);
    connect(m_mnuRefresh, &QAction::triggered, this, &Main::mnuRefresh_Click);
    addAction(m_mnuRefresh);
}

QString Main::statusText() const {
    return m_statusPanel1->text();
}

void Main::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
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
    if (m_lvSource->isVisible())
        m_lvSource->setFocus();
}
