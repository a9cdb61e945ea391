#include "dialogs/sync_mode_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

struct ModeText {
    const char* key; // the command line's name
    const char* caption;
    const char* line;
};

// In the order of SyncMode.
const ModeText modeTexts[] = {
    {"update", "Update &Destination",
     "Copies to Destination what is newer or only in Source; deletes nothing."},
    {"update-source", "Update &Source",
     "Copies to Source what is newer or only in Destination; deletes nothing."},
    {"both", "Update &Both", "The newer side wins; what is on one side only is copied across."},
    {"mirror", "&Mirror to Destination",
     "Destination becomes exactly Source, times too: its extra files go to the Trash, and what "
     "the filters hide stays. A run that would delete everything in Destination asks first."},
    {"two-way", "&Two-way",
     "Like Update Both, but a file deleted on one side since the last synchronisation goes on "
     "the other too, and one changed on both sides is a conflict for you to settle. Every "
     "run of any mode remembers what it left the same."},
};

} // namespace

SyncModeDialog::SyncModeDialog(QWidget* owner, SyncMode chosen) : QDialog(owner) {
    setObjectName(QStringLiteral("frmSyncMode"));
    setWindowTitle(QStringLiteral("Synchronize"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Make the two folder trees agree:"), this));
    for (const ModeText& mode : modeTexts) {
        auto* button = new QRadioButton(QString::fromUtf8(mode.caption), this);
        button->setObjectName(QStringLiteral("optSync_") + QLatin1String(mode.key));
        auto* line = new QLabel(QString::fromUtf8(mode.line), this);
        line->setWordWrap(true);
        // Dimmer than the choice it explains, yet easy to read.
        QPalette dim = line->palette();
        QColor text = dim.color(QPalette::WindowText);
        text.setAlphaF(0.7f);
        dim.setColor(QPalette::WindowText, text);
        line->setPalette(dim);
        line->setContentsMargins(button->sizeHint().height(), 0, 0, 4);
        layout->addWidget(button);
        layout->addWidget(line);
        m_buttons << button;
    }
    button(chosen)->setChecked(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Preview"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

SyncMode SyncModeDialog::chosen() const {
    for (qsizetype i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i]->isChecked())
            return *syncModeFromKey(QString::fromLatin1(modeTexts[i].key));
    }
    return SyncMode::UpdateDestination;
}

QRadioButton* SyncModeDialog::button(SyncMode mode) const {
    return m_buttons[qsizetype(mode)];
}

QString SyncModeDialog::key(SyncMode mode) {
    return QLatin1String(modeTexts[int(mode)].key);
}
