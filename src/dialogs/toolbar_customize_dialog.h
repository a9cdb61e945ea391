#pragma once

#include "shell/platform.h"

#include <QDialog>
#include <QList>
#include <QStringList>

class QListWidget;
class QListWidgetItem;
class QPushButton;

// Rearranges a toolbar: the buttons not on it (and a separator, always) on the
// left, the toolbar's buttons in order on the right. A button stands on the
// toolbar at most once; a separator any number of times. Arrangements are
// lists of button keys, "" for a separator.
class ToolbarCustomizeDialog : public QDialog {
    Q_OBJECT
public:
    ToolbarCustomizeDialog(const QList<ToolbarButtonInfo>& available, const QStringList& current,
                           const QStringList& defaults, QWidget* parent = nullptr);

    // The toolbar as the dialog now arranges it.
    QStringList arrangement() const;

private:
    void setArrangement(const QStringList& keys);
    void refillAvailable(int selectRow);
    void addSelected();
    void removeSelected();
    void moveSelected(int step);
    void updateButtons();
    QListWidgetItem* makeItem(const QString& key) const;
    const ToolbarButtonInfo* button(const QString& key) const;
    QPushButton* makeButton(const QString& text, const QString& name);

    QList<ToolbarButtonInfo> m_available;
    QStringList m_defaults;
    QListWidget* m_availableList;
    QListWidget* m_currentList;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
};
