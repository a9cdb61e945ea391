#include "dialogs/about_box.h"

#include "mainwindow/duoscope_mod.h"
#include "shell/build_identity.h"
#include "shell/system_info.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* makeLabel(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QFrame* makeLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

frmAbout::frmAbout(Platform& platform, QWidget* owner) : QDialog(owner), m_platform(platform) {
    setObjectName(QStringLiteral("frmAbout"));
    buildControls();
    Form_Load();
}

void frmAbout::buildControls() {
    m_picIcon = new QLabel(this);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    m_picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_lblTitle = makeLabel(this, "lblTitle");
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setPointSizeF(font().pointSizeF() * 1.6);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_lblVersion = makeLabel(this, "lblVersion");
    m_lblDescription = makeLabel(this, "lblDescription");
    m_lblDisclaimer = makeLabel(this, "lblDisclaimer");

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdSysInfo->setAutoDefault(false);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_lblTitle);
    texts->addWidget(m_lblVersion);
    texts->addSpacing(8);
    texts->addWidget(m_lblDescription);
    auto* top = new QHBoxLayout;
    top->addWidget(m_picIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_lblDisclaimer, 1);
    bottom->addSpacing(12);
    bottom->addLayout(buttons);
    auto* form = new QVBoxLayout(this);
    form->addLayout(top);
    form->addWidget(makeLine(this));
    form->addWidget(makeLine(this));
    form->addLayout(bottom);
    form->setSizeConstraint(QLayout::SetFixedSize);

    // OK is also the box's Esc button: QDialog rejects on Esc.
    connect(m_cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::Form_Load() {
    const QString title = QString::fromUtf8(BuildIdentity::title);
    setWindowTitle(QStringLiteral("About ") + title);
    const int side = 48;
    const QWidget* owner = parentWidget();
    const QIcon icon = owner ? owner->windowIcon() : windowIcon();
    m_picIcon->setPixmap(icon.pixmap(QSize(side, side), devicePixelRatioF()));
    m_lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                              .arg(BuildIdentity::versionMajor)
                              .arg(BuildIdentity::versionMinor)
                              .arg(BuildIdentity::versionRevision));
    m_lblTitle->setText(title);
    m_lblDescription->setText(
        QStringLiteral("Developed by ") + QString::fromUtf8(BuildIdentity::company) +
        QStringLiteral("\r\n\r\n") + QString::fromUtf8(BuildIdentity::comments));
    m_lblDisclaimer->setText(QString::fromUtf8(BuildIdentity::trademarks));
    setMinimumWidth(420);
    adjustSize();
    CenterForm(this);
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::cmdSysInfo_Click() {
    StartSystemInfo(m_platform, this);
}
