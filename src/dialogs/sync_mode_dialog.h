#pragma once

#include "sync/sync_plan.h"

#include <QDialog>
#include <QList>

class QRadioButton;

// Edit > Synchronize's first step: which way the two trees are made to
// agree. One choice per mode, each with a line saying what it does.
class SyncModeDialog : public QDialog {
    Q_OBJECT
public:
    // `chosen`: the mode offered first (the one chosen last time).
    SyncModeDialog(QWidget* owner, SyncMode chosen);

    SyncMode chosen() const;
    // The button of a mode, for a user's (or a test's) click.
    QRadioButton* button(SyncMode mode) const;
    // The mode's name as the command line and the settings spell it ("two-way").
    static QString key(SyncMode mode);

private:
    QList<QRadioButton*> m_buttons; // in the order of SyncMode
};
