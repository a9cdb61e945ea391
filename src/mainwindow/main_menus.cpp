// The menu bar, the panes' context menu and the toolbar.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "mainwindow/icon_cache.h"
#include "mainwindow/icon_theme.h"
#include "shell/platform.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QtMath>
#include <algorithm>
#include <utility>

namespace {

struct ToolbarButton {
    const char* key;
    const char* tooltip;
    const char* themeIcon;
    QStyle::StandardPixmap fallback;
};

// Left to right; a null key stands for the separator between two groups.
const ToolbarButton toolbarButtons[] = {
    {"Open", "Open", "document-open", QStyle::SP_DialogOpenButton},
    {"CompareFiles", "Compare files", "view-dual-symbolic", QStyle::SP_FileDialogContentsView},
    {nullptr, nullptr, nullptr, {}},
    {"Cut", "Cut", "edit-cut", QStyle::SP_DialogDiscardButton},
    {"Copy", "Copy", "edit-copy", QStyle::SP_FileIcon},
    {"Paste", "Paste", "edit-paste", QStyle::SP_DialogApplyButton},
    {nullptr, nullptr, nullptr, {}},
    {"Delete", "Delete", "edit-delete", QStyle::SP_TrashIcon},
    {"Properties", "Properties", "document-properties", QStyle::SP_FileDialogDetailedView},
    {nullptr, nullptr, nullptr, {}},
    {"ViewFoldersInfo", "View folders info", "dialog-information",
     QStyle::SP_MessageBoxInformation},
    {"SwapFolders", "Swap folders", "object-flip-horizontal", QStyle::SP_BrowserReload},
    {nullptr, nullptr, nullptr, {}},
    {"CopyToLeft", "Copy to left", "go-previous", QStyle::SP_ArrowLeft},
    {"CopyToRight", "Copy to right", "go-next", QStyle::SP_ArrowRight},
    {"Synchronize", "Synchronize", "emblem-synchronizing", QStyle::SP_BrowserReload},
    {nullptr, nullptr, nullptr, {}},
    {"OnlyDifferences", "Show only differences", "view-conceal", QStyle::SP_FileDialogListView},
    {"Flatten", "Flatten subfolders", "view-list-details", QStyle::SP_FileDialogDetailedView},
    {"PreviousDifference", "Previous difference", "go-up", QStyle::SP_ArrowUp},
    {"NextDifference", "Next difference", "go-down", QStyle::SP_ArrowDown},
    {nullptr, nullptr, nullptr, {}},
    {"Help", "Help", "help-contents", QStyle::SP_DialogHelpButton},
};

// Buttons that follow the clicked row, and Paste, start disabled like their
// menu entries.
bool startsEnabled(const QString& key) {
    return !QStringList{"Open", "CompareFiles", "Cut", "Copy", "Paste", "Delete", "Properties"}
                .contains(key);
}

// The buttons' images in the table's order, separators left out, once looked
// up ahead of the window; taken by the first toolbar made.
QList<QIcon> lookedUpIcons;

QList<QIcon> toolbarIcons() {
    // Without any icon theme, the style's own images serve.
    ensureIconTheme();
    IconThemeCaches themes(QIcon::themeSearchPaths(), scalableIconsDrawn());
    const QStyle& style = *QApplication::style();
    qreal density = 1;
    for (const QScreen* screen : QGuiApplication::screens())
        density = std::max(density, screen->devicePixelRatio());
    const int drawn = qCeil(style.pixelMetric(QStyle::PM_ToolBarIconSize) * density);
    QList<QIcon> icons;
    for (const ToolbarButton& b : toolbarButtons) {
        if (!b.key)
            continue;
        // Asked of the theme only when its caches do not already say it has
        // none: finding nothing, Qt reads every index the theme inherits.
        const QString name = QString::fromLatin1(b.themeIcon);
        QIcon icon;
        if (themes.mayHave(QIcon::themeName(), name, QIcon::fallbackThemeName()))
            icon = QIcon::fromTheme(name);
        if (icon.isNull())
            icon = styleImage(style, b.fallback, drawn);
        icons << icon;
    }
    return icons;
}

QMenu* addMenu(QWidget* parent, const char* name, const char* caption) {
    auto* menu = new QMenu(QString::fromUtf8(caption), parent);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QAction* addEntry(QMenu* menu, const char* name, const char* caption,
                  const QKeySequence& shortcut = {}, bool enabled = true) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    action->setEnabled(enabled);
    return action;
}

void addSeparator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

QMenu* addSubmenu(QMenu* menu, const char* name, const char* caption) {
    QMenu* sub = addMenu(menu, name, caption);
    menu->addMenu(sub);
    return sub;
}

} // namespace

void Main::Parts::buildMenus(Main& m) {
    QMenuBar* bar = m.menuBar();
    bar->setObjectName(QStringLiteral("mnuMain"));
    constexpr bool disabled = false;

    QMenu* file = addMenu(bar, "mneFile", "&File");
    bar->addMenu(file);
    addEntry(file, "mnuOpen", "&Open", {}, disabled);
    addEntry(file, "mnuCompareFiles", "Compare &Files", QKeySequence(Qt::CTRL | Qt::Key_D),
             disabled);
    addSeparator(file, "Sep2");
    QMenu* folder = addSubmenu(file, "mnu_Folder", "&Folder");
    addEntry(folder, "mnu_File_Folder_Change_Source", "Change &source...");
    addEntry(folder, "mnu_File_Folder_Change_Destination", "Change &destination");
    addSeparator(folder, "mnu_Sep1");
    addEntry(folder, "mnu_File_Folder_View_Info", "View &info");
    addSeparator(folder, "mnu_Sep2");
    addEntry(folder, "mnu_File_Folder_Swap", "&Swap", Qt::Key_F8);
    addEntry(file, "mnuDelete", "&Delete", Qt::Key_Delete, disabled);
    addEntry(file, "mnuRename", "&Rename", Qt::Key_F2, disabled);
    addEntry(file, "mnuProperties", "&Properties", {}, disabled);
    addSeparator(file, "Sep6");
    addEntry(file, "mneExit", "E&xit");

    QMenu* edit = addMenu(bar, "mnuEdit", "&Edit");
    bar->addMenu(edit);
    edit->setToolTipsVisible(true); // Undo says why it is not offered
    addEntry(edit, "mnuEditUndo", "&Undo", QKeySequence(Qt::CTRL | Qt::Key_Z), disabled);
    addSeparator(edit, "mnuEditBar1");
    addEntry(edit, "mnuEditCut", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X), disabled);
    addEntry(edit, "mnuEditCopy", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C), disabled);
    addEntry(edit, "mnuEditPaste", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V), disabled);
    // "m": P is Paste's.
    addEntry(edit, "mnuEditDeletePermanently", "Delete Per&manently",
             QKeySequence(Qt::SHIFT | Qt::Key_Delete), disabled);
    addEntry(edit, "mnuEditCopyToRight", "Copy to &Right", QKeySequence(Qt::ALT | Qt::Key_Right));
    addEntry(edit, "mnuEditCopyToLeft", "Copy to &Left", QKeySequence(Qt::ALT | Qt::Key_Left));
    addEntry(edit, "mnuEditSynchronize", "S&ynchronize...",
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    addSeparator(edit, "mnuEditBar2");
    addEntry(edit, "mnuEditDSelectAll", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A));
    addEntry(edit, "mnuEditInvertSelection", "&Invert Selection");
    // "w": N is Next Difference's.
    addEntry(edit, "mnuEditSelectNewer", "Select Ne&wer");
    addSeparator(edit, "mnuEditBar3");
    addEntry(edit, "mnuEditNextDifference", "&Next Difference",
             QKeySequence(Qt::ALT | Qt::Key_Down));
    // "v": P is Paste's.
    addEntry(edit, "mnuEditPreviousDifference", "Pre&vious Difference",
             QKeySequence(Qt::ALT | Qt::Key_Up));

    QMenu* view = addMenu(bar, "mnuView", "&View");
    bar->addMenu(view);
    view->addAction(m.m_ui.mnuRefresh);
    m.m_ui.mnuCompareContents = addEntry(view, "mnuCompareContents", "Compare &Contents",
                                         QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    m.m_ui.mnuCompareContents->setCheckable(true);
    m.m_ui.mnuCompareContents->setChecked(true);
    addEntry(view, "mnuViewOnlyDifferences", "Show Only &Differences",
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D))
        ->setCheckable(true);
    m.m_ui.mnuFlatten = addEntry(view, "mnuFlatten", "&Flatten Subfolders",
                                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    m.m_ui.mnuFlatten->setCheckable(true);
    m.m_ui.mnuShowSubfolders = addEntry(view, "mnuShowSubfolders", "Show &Subfolders");
    m.m_ui.mnuShowSubfolders->setCheckable(true);
    m.m_ui.mnuShowSubfolders->setChecked(true);
    addEntry(view, "mnuUpOneLevel", "&Up One Level", Qt::Key_Backspace);
    addSeparator(view, "Sep10");
    // "t": C is Compare Contents'.
    addEntry(view, "mnuCustomizeToolbar", "Customize &toolbar...");
    addEntry(view, "mnu_View_Options", "&Options...");

    QMenu* help = addMenu(bar, "mnuHelp", "&Help");
    bar->addMenu(help);
    addEntry(help, "mnuHelp_Contents", "&Contents", Qt::Key_F1);
    addSeparator(help, "Sep7");
    QMenu* web = addSubmenu(help, "mnu_Help_OnTheWeb", "Duoscope on the web");
    addEntry(web, "mnu_Help_SendFeedback", "&Send feedback...");
    addEntry(web, "mnuHelp_Products", "&Product updates...");
    addSeparator(web, "Sep8");
    addEntry(web, "mnu_Help_ZelmarWebPage", "&Zelmar Web Page");
    addEntry(web, "mnu_Help_FreeStuff", "&Free stuff...");
    addEntry(web, "mnu_Help_OnTheWeb_ProgrammersCorner", "Programmer's corner");
    addSeparator(help, "Sep5");
    addEntry(help, "mnuHelpAbout", "&About...");

    // Popped up over the panes only, never part of the menu bar.
    m.m_ui.mnuContext = addMenu(&m, "m.mnuContext", "");
    addEntry(m.m_ui.mnuContext, "mnuPopupOpen", "&Open", {}, disabled);
    addEntry(m.m_ui.mnuContext, "mnuPopupCompareFiles", "Compare &Files", {}, disabled);
    addSeparator(m.m_ui.mnuContext, "Sep3");
    addEntry(m.m_ui.mnuContext, "mnuPopupCut", "Cu&t", {}, disabled);
    addEntry(m.m_ui.mnuContext, "mnuPopupCopy", "&Copy", {}, disabled);
    addEntry(m.m_ui.mnuContext, "mnuPopupPaste", "&Paste", {}, disabled);
    addEntry(m.m_ui.mnuContext, "mnuPopupCopyToRight", "Copy to &Right");
    addEntry(m.m_ui.mnuContext, "mnuPopupCopyToLeft", "Copy to &Left");
    addSeparator(m.m_ui.mnuContext, "Sep9");
    addEntry(m.m_ui.mnuContext, "mnuPopupDelete", "&Delete", {}, disabled);
    addEntry(m.m_ui.mnuContext, "mnuPopupRename", "&Rename", {}, disabled);
    addSeparator(m.m_ui.mnuContext, "Sep1");
    addEntry(m.m_ui.mnuContext, "mnuPopupProperties", "&Properties", {}, disabled);

    using Handler = void (Main::*)();
    const std::pair<const char*, Handler> handlers[] = {
        {"mnuOpen", &Main::mnuOpen_Click},
        {"mnuCompareFiles", &Main::mnuCompareFiles_Click},
        {"mnuPopupCompareFiles", &Main::mnuCompareFiles_Click},
        {"mneExit", &Main::mneExit_Click},
        {"mnu_File_Folder_Change_Source", &Main::mnu_File_Folder_Change_Source_Click},
        {"mnu_File_Folder_Change_Destination", &Main::mnu_File_Folder_Change_Destination_Click},
        {"mnu_File_Folder_View_Info", &Main::mnu_File_Folder_View_Info_Click},
        {"mnu_File_Folder_Swap", &Main::mnu_File_Folder_Swap_Click},
        {"mnuProperties", &Main::mnuProperties_Click},
        {"mnuCustomizeToolbar", &Main::mnuCustomizeToolbar_Click},
        {"mnuCompareContents", &Main::mnuCompareContents_Click},
        {"mnuViewOnlyDifferences", &Main::mnuViewOnlyDifferences_Click},
        {"mnuEditNextDifference", &Main::mnuEditNextDifference_Click},
        {"mnuEditPreviousDifference", &Main::mnuEditPreviousDifference_Click},
        {"mnuShowSubfolders", &Main::mnuShowSubfolders_Click},
        {"mnuFlatten", &Main::mnuFlatten_Click},
        {"mnuEditCopyToRight", &Main::mnuEditCopyToRight_Click},
        {"mnuEditCopyToLeft", &Main::mnuEditCopyToLeft_Click},
        {"mnuEditSynchronize", &Main::mnuEditSynchronize_Click},
        {"mnuPopupCopyToRight", &Main::mnuEditCopyToRight_Click},
        {"mnuPopupCopyToLeft", &Main::mnuEditCopyToLeft_Click},
        {"mnuUpOneLevel", &Main::mnuUpOneLevel_Click},
        {"mnuPopupOpen", &Main::mnuPopupOpen_Click},
        {"mnuPopupProperties", &Main::mnuPopupProperties_Click},
        {"mnu_View_Options", &Main::mnu_View_Options_Click},
        {"mnuHelp_Contents", &Main::mnuHelp_Contents_Click},
        {"mnu_Help_SendFeedback", &Main::mnu_Help_SendFeedback_Click},
        {"mnuHelp_Products", &Main::mnuHelp_Products_Click},
        {"mnu_Help_ZelmarWebPage", &Main::mnu_Help_ZelmarWebPage_Click},
        {"mnu_Help_FreeStuff", &Main::mnu_Help_FreeStuff_Click},
        {"mnu_Help_OnTheWeb_ProgrammersCorner", &Main::mnu_Help_OnTheWeb_ProgrammersCorner_Click},
        {"mnuHelpAbout", &Main::mnuHelpAbout_Click},
    };
    for (const auto& [name, handler] : handlers)
        connect(m.menuEntry(QString::fromLatin1(name)), &QAction::triggered, &m, handler);
}

void lookUpToolbarIcons() {
    lookedUpIcons = toolbarIcons();
}

void Main::Parts::buildToolbar(Main& m) {
    QList<QIcon> icons = std::exchange(lookedUpIcons, {});
    if (icons.isEmpty())
        icons = toolbarIcons();
    m.m_ui.tbrMain = m.addToolBar(QStringLiteral("Toolbar"));
    m.m_ui.tbrMain->setObjectName(QStringLiteral("m.tbrMain"));
    m.m_ui.tbrMain->setMovable(false);
    m.m_ui.tbrMain->setFloatable(false);
    qsizetype next = 0;
    for (const ToolbarButton& b : toolbarButtons) {
        if (!b.key)
            continue;
        const QString key = QString::fromLatin1(b.key);
        auto* action = new QAction(icons.value(next++), QString::fromLatin1(b.tooltip), &m);
        action->setObjectName(QStringLiteral("tbr_") + key);
        action->setData(key);
        action->setToolTip(QString::fromLatin1(b.tooltip));
        action->setEnabled(startsEnabled(key));
        // A switch shows whether it is on, as its menu entry does.
        action->setCheckable(key == QLatin1String("OnlyDifferences") ||
                             key == QLatin1String("Flatten"));
        connect(action, &QAction::triggered, &m, [&m, key] { m.tbrMain_ButtonClick(key); });
    }
    Parts::applyToolbarArrangement(m, Parts::defaultToolbarArrangement());
}

QStringList Main::Parts::defaultToolbarArrangement() {
    QStringList keys;
    for (const ToolbarButton& b : toolbarButtons)
        keys << (b.key ? QString::fromLatin1(b.key) : QString());
    return keys;
}

void Main::Parts::applyToolbarArrangement(Main& m, const QStringList& keys) {
    for (QAction* a : m.m_ui.tbrMain->actions()) {
        m.m_ui.tbrMain->removeAction(a);
        if (a->isSeparator())
            delete a;
    }
    for (const QString& key : keys) {
        if (key.isEmpty())
            m.m_ui.tbrMain->addSeparator();
        else if (QAction* button = m.toolbarButton(key))
            m.m_ui.tbrMain->addAction(button);
    }
}

QAction* Main::menuEntry(const QString& name) const {
    return findChild<QAction*>(name);
}

QAction* Main::toolbarButton(const QString& key) const {
    return findChild<QAction*>(QStringLiteral("tbr_") + key, Qt::FindDirectChildrenOnly);
}

QStringList Main::toolbarArrangement() const {
    QStringList keys;
    for (const QAction* a : m_ui.tbrMain->actions())
        keys << (a->isSeparator() ? QString() : a->data().toString());
    return keys;
}

void Main::mnuCustomizeToolbar_Click() {
    QList<ToolbarButtonInfo> available;
    for (const QString& key : Parts::defaultToolbarArrangement()) {
        if (const QAction* button = key.isEmpty() ? nullptr : toolbarButton(key))
            available.append({key, button->toolTip(), button->icon()});
    }
    const std::optional<QStringList> chosen = platform().customizeToolbar(
        this, available, toolbarArrangement(), Parts::defaultToolbarArrangement());
    // Kept until the program ends; the arrangement is never saved.
    if (chosen)
        Parts::applyToolbarArrangement(*this, *chosen);
}
