#include "dialogs/options_dialog.h"

#include "mainwindow/duoscope_mod.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

QCheckBox* makeCheck(QWidget* parent, const char* name, const char* caption, const char* tooltip) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setToolTip(QString::fromUtf8(tooltip));
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption,
                        const char* tooltip) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromUtf8(tooltip));
    button->setAutoDefault(false);
    return button;
}

// A switch is on for any value but 0; the box says so with a tick.
void showValue(QCheckBox* box, qint16 value) {
    box->setChecked(value != 0);
}

qint16 valueOf(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

} // namespace

Options::Options(FilterSettings& settings, QString& tag, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_tag(tag) {
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));
    buildControls();
    Form_Load();
}

void Options::buildControls() {
    m_tsOptions = new QTabBar(this);
    m_tsOptions->setObjectName(QStringLiteral("tsOptions"));
    m_tsOptions->setTabData(m_tsOptions->addTab(QStringLiteral("&General")),
                            QStringLiteral("General"));
    m_tsOptions->setTabData(m_tsOptions->addTab(QStringLiteral("&View")), QStringLiteral("View"));
    m_tsOptions->setDrawBase(true);

    m_picGeneral = new QWidget(this);
    m_picGeneral->setObjectName(QStringLiteral("picGeneral"));
    m_chkIcons = makeCheck(m_picGeneral, "chkIcons", "Load icons from files in folders.",
                           "Show icons on the left of files, like in Windows Explorer");
    m_chkTrash = makeCheck(m_picGeneral, "chkTrash", "Move deleted files to the &Trash",
                           "Delete, and a paste that replaces a file, keep the old file in the "
                           "Trash, from where Undo or the desktop can bring it back");
    auto* diffLabel = new QLabel(QStringLiteral("&Diff program:"), m_picGeneral);
    m_txtDiffProgram = new QLineEdit(m_picGeneral);
    m_txtDiffProgram->setObjectName(QStringLiteral("txtDiffProgram"));
    m_txtDiffProgram->setPlaceholderText(QStringLiteral("Empty: Duoscope's own view"));
    m_txtDiffProgram->setToolTip(
        QStringLiteral("The program that Compare Files starts, %1 and %2 standing for the two "
                       "files, e.g. meld %1 %2"));
    // Room for a program and its two arguments.
    m_txtDiffProgram->setMinimumWidth(m_txtDiffProgram->fontMetrics().averageCharWidth() * 40);
    diffLabel->setBuddy(m_txtDiffProgram);
    // "Times within [2] seconds count as equal": the box in the sentence.
    auto* toleranceRow = new QHBoxLayout;
    auto* toleranceLabel = new QLabel(QStringLiteral("Times &within"), m_picGeneral);
    m_spnTolerance = new QSpinBox(m_picGeneral);
    m_spnTolerance->setObjectName(QStringLiteral("spnTolerance"));
    m_spnTolerance->setRange(0, 3600);
    m_spnTolerance->setToolTip(
        QStringLiteral("Two files whose modification times are this close count as equally "
                       "new; a FAT or exFAT disk keeps times to 2 seconds"));
    toleranceLabel->setBuddy(m_spnTolerance);
    toleranceRow->addWidget(toleranceLabel);
    toleranceRow->addWidget(m_spnTolerance);
    toleranceRow->addWidget(new QLabel(QStringLiteral("seconds count as equal"), m_picGeneral));
    toleranceRow->addStretch();
    m_chkHourShift =
        makeCheck(m_picGeneral, "chkHourShift", "Ignore time shifts of exactly one &hour",
                  "Times an hour apart count as equal, as a FAT disk shows them after a "
                  "daylight saving change");
    auto* excludeLabel =
        new QLabel(QStringLiteral("&Leave out folders and files named:"), m_picGeneral);
    m_txtExcludeNames = new QLineEdit(m_picGeneral);
    m_txtExcludeNames->setObjectName(QStringLiteral("txtExcludeNames"));
    m_txtExcludeNames->setToolTip(
        QStringLiteral("Names or patterns separated by \";\" (* and ? as wildcards), never "
                       "compared nor listed; one with a \"/\" names a path below the compared "
                       "folders, e.g. build/out. Empty leaves nothing out"));
    excludeLabel->setBuddy(m_txtExcludeNames);
    auto* general = new QVBoxLayout(m_picGeneral);
    general->addWidget(m_chkIcons);
    general->addWidget(m_chkTrash);
    general->addLayout(toleranceRow);
    general->addWidget(m_chkHourShift);
    general->addWidget(diffLabel);
    general->addWidget(m_txtDiffProgram);
    general->addWidget(excludeLabel);
    general->addWidget(m_txtExcludeNames);
    general->addStretch();

    m_picView = new QWidget(this);
    m_picView->setObjectName(QStringLiteral("picView"));
    m_lblFileType = new QLabel(QStringLiteral("Show files of type:"), m_picView);
    m_lblFileType->setObjectName(QStringLiteral("lblFileType"));
    m_txtFileTypes = new QLineEdit(m_picView);
    m_txtFileTypes->setObjectName(QStringLiteral("txtFileTypes"));
    m_txtFileTypes->setToolTip(QStringLiteral("Enter type of files to list"));
    m_lblFileType->setBuddy(m_txtFileTypes);
    m_frmAttributes = new QGroupBox(QStringLiteral("Show files with attributes"), m_picView);
    m_frmAttributes->setObjectName(QStringLiteral("frmAttributes"));
    m_chkSystem = makeCheck(m_frmAttributes, "chkSystem", "&System",
                            "click to show/hide files with system attribute");
    m_chkHidden = makeCheck(m_frmAttributes, "chkHidden", "&Hidden",
                            "click to show/hide files with hidden attribute");
    // Kept with the settings, but never a filter: a file hidden for its
    // permissions would leave its partner looking alone on the other side.
    m_chkReadOnly = makeCheck(m_frmAttributes, "chkReadOnly", "&Read-only",
                              "Hides nothing: files you may not write (owner write permission "
                              "off) are always listed. Kept with your settings");
    m_chkArchive = makeCheck(m_frmAttributes, "chkArchive", "&Archive",
                             "Hides nothing: Linux files have no archive attribute. Kept with "
                             "your settings");
    auto* attributes = new QGridLayout(m_frmAttributes);
    attributes->addWidget(m_chkSystem, 0, 0);
    attributes->addWidget(m_chkHidden, 0, 1);
    attributes->addWidget(m_chkReadOnly, 1, 0);
    attributes->addWidget(m_chkArchive, 1, 1);
    auto* view = new QVBoxLayout(m_picView);
    view->addWidget(m_lblFileType);
    view->addWidget(m_txtFileTypes);
    view->addWidget(m_frmAttributes);
    view->addStretch();

    m_cmdOK = makeButton(this, "cmdOK", "&OK", "Click to confirm changes");
    m_cmdOK->setDefault(true);
    m_cmdCancel = makeButton(this, "cmdCancel", "&Cancel", "Click to cancel changes");

    // Both pages share one place; the tab strip shows one at a time.
    auto* pages = new QGridLayout;
    pages->addWidget(m_picGeneral, 0, 0);
    pages->addWidget(m_picView, 0, 0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto* form = new QVBoxLayout(this);
    form->addWidget(m_tsOptions);
    form->addLayout(pages, 1);
    form->addLayout(buttons);

    connect(m_tsOptions, &QTabBar::currentChanged, this, &Options::tsOptions_Click);
    connect(m_cmdOK, &QPushButton::clicked, this, &Options::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &Options::cmdCancel_Click);
}

void Options::Form_Load() {
    // Sized for the larger page, so that centring knows the final size.
    adjustSize();
    CenterForm(this);
    m_picView->hide();
    showValue(m_chkIcons, m_settings.loadIcons);
    showValue(m_chkTrash, m_settings.useTrash);
    m_spnTolerance->setValue(m_settings.times.tolerance);
    m_chkHourShift->setChecked(m_settings.times.ignoreHourShift);
    m_txtFileTypes->setText(m_settings.fileTypes);
    m_txtDiffProgram->setText(m_settings.diffProgram);
    m_txtExcludeNames->setText(m_settings.excludeNames);
    showValue(m_chkArchive, m_settings.showArchive);
    showValue(m_chkReadOnly, m_settings.showReadOnly);
    showValue(m_chkHidden, m_settings.showHidden);
    showValue(m_chkSystem, m_settings.showSystem);
    m_picGeneral->show();
}

void Options::tsOptions_Click() {
    m_picGeneral->hide();
    m_picView->hide();
    const QString key = m_tsOptions->tabData(m_tsOptions->currentIndex()).toString();
    if (key == QLatin1String("General")) {
        m_picGeneral->show();
        m_chkIcons->setFocus();
    } else if (key == QLatin1String("View")) {
        m_picView->show();
        m_txtFileTypes->setFocus();
    }
}

void Options::cmdOK_Click() {
    // Copied as they stand: the pattern is neither trimmed nor checked.
    m_settings.loadIcons = valueOf(m_chkIcons);
    m_settings.useTrash = valueOf(m_chkTrash);
    m_settings.times.tolerance = m_spnTolerance->value();
    m_settings.times.ignoreHourShift = m_chkHourShift->isChecked();
    m_settings.fileTypes = m_txtFileTypes->text();
    m_settings.diffProgram = m_txtDiffProgram->text();
    m_settings.excludeNames = m_txtExcludeNames->text();
    m_settings.showArchive = valueOf(m_chkArchive);
    m_settings.showReadOnly = valueOf(m_chkReadOnly);
    m_settings.showHidden = valueOf(m_chkHidden);
    m_settings.showSystem = valueOf(m_chkSystem);
    m_tag = QStringLiteral("Refresh");
    m_cmdCancel->click();
}

void Options::cmdCancel_Click() {
    reject();
}
