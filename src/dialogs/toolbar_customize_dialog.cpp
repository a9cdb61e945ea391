#include "dialogs/toolbar_customize_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int KeyRole = Qt::UserRole;

QString keyOf(const QListWidgetItem* item) {
    return item->data(KeyRole).toString();
}

QListWidget* makeList(QWidget* parent, const QString& name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setIconSize(QSize(16, 16));
    return list;
}

QVBoxLayout* labelled(const QString& caption, QListWidget* list) {
    auto* column = new QVBoxLayout;
    auto* label = new QLabel(caption);
    label->setBuddy(list);
    column->addWidget(label);
    column->addWidget(list);
    return column;
}

} // namespace

ToolbarCustomizeDialog::ToolbarCustomizeDialog(const QList<ToolbarButtonInfo>& available,
                                               const QStringList& current,
                                               const QStringList& defaults, QWidget* parent)
    : QDialog(parent), m_available(available), m_defaults(defaults),
      m_availableList(makeList(this, QStringLiteral("lstAvailable"))),
      m_currentList(makeList(this, QStringLiteral("lstCurrent"))) {
    setObjectName(QStringLiteral("ToolbarCustomizeDialog"));
    setWindowTitle(tr("Customize Toolbar"));

    m_add = makeButton(tr("&Add ->"), QStringLiteral("cmdAdd"));
    m_remove = makeButton(tr("<- &Remove"), QStringLiteral("cmdRemove"));
    m_up = makeButton(tr("Move &Up"), QStringLiteral("cmdMoveUp"));
    m_down = makeButton(tr("Move &Down"), QStringLiteral("cmdMoveDown"));
    QPushButton* reset = makeButton(tr("R&eset"), QStringLiteral("cmdReset"));
    QPushButton* ok = makeButton(tr("OK"), QStringLiteral("cmdOK"));
    QPushButton* cancel = makeButton(tr("Cancel"), QStringLiteral("cmdCancel"));
    ok->setDefault(true);

    connect(m_add, &QPushButton::clicked, this, &ToolbarCustomizeDialog::addSelected);
    connect(m_remove, &QPushButton::clicked, this, &ToolbarCustomizeDialog::removeSelected);
    connect(m_up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(reset, &QPushButton::clicked, this, [this] { setArrangement(m_defaults); });
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_availableList, &QListWidget::itemDoubleClicked, this,
            &ToolbarCustomizeDialog::addSelected);
    connect(m_currentList, &QListWidget::itemDoubleClicked, this,
            &ToolbarCustomizeDialog::removeSelected);
    connect(m_availableList, &QListWidget::currentRowChanged, this,
            &ToolbarCustomizeDialog::updateButtons);
    connect(m_currentList, &QListWidget::currentRowChanged, this,
            &ToolbarCustomizeDialog::updateButtons);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(m_add);
    middle->addWidget(m_remove);
    middle->addStretch();
    auto* side = new QVBoxLayout;
    for (QPushButton* b : {ok, cancel, reset, m_up, m_down})
        side->addWidget(b);
    side->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(labelled(tr("A&vailable buttons:"), m_availableList));
    layout->addLayout(middle);
    layout->addLayout(labelled(tr("&Toolbar buttons:"), m_currentList));
    layout->addLayout(side);

    setArrangement(current);
}

QStringList ToolbarCustomizeDialog::arrangement() const {
    QStringList keys;
    for (int i = 0; i < m_currentList->count(); ++i)
        keys << keyOf(m_currentList->item(i));
    return keys;
}

void ToolbarCustomizeDialog::setArrangement(const QStringList& keys) {
    m_currentList->clear();
    QStringList placed;
    for (const QString& key : keys) {
        if (!key.isEmpty() && placed.contains(key))
            continue; // a button stands on the toolbar once
        placed << key;
        m_currentList->addItem(makeItem(key));
    }
    refillAvailable(0);
}

// The separator first, then every known button that is not on the toolbar.
void ToolbarCustomizeDialog::refillAvailable(int selectRow) {
    const QStringList onToolbar = arrangement();
    m_availableList->clear();
    m_availableList->addItem(makeItem(QString()));
    for (const ToolbarButtonInfo& b : m_available) {
        if (!onToolbar.contains(b.key))
            m_availableList->addItem(makeItem(b.key));
    }
    m_availableList->setCurrentRow(qBound(0, selectRow, m_availableList->count() - 1));
    updateButtons();
}

void ToolbarCustomizeDialog::addSelected() {
    const int from = m_availableList->currentRow();
    if (from < 0)
        return;
    const QString key = keyOf(m_availableList->item(from));
    // After the toolbar's selected button, so that successive additions keep
    // their order; at the end when none is selected.
    const int selected = m_currentList->currentRow();
    const int at = selected < 0 ? m_currentList->count() : selected + 1;
    m_currentList->insertItem(at, makeItem(key));
    m_currentList->setCurrentRow(at);
    refillAvailable(from);
}

void ToolbarCustomizeDialog::removeSelected() {
    const int row = m_currentList->currentRow();
    if (row < 0)
        return;
    delete m_currentList->takeItem(row);
    m_currentList->setCurrentRow(qMin(row, m_currentList->count() - 1));
    refillAvailable(m_availableList->currentRow());
}

void ToolbarCustomizeDialog::moveSelected(int step) {
    const int row = m_currentList->currentRow();
    const int to = row + step;
    if (row < 0 || to < 0 || to >= m_currentList->count())
        return;
    m_currentList->insertItem(to, m_currentList->takeItem(row));
    m_currentList->setCurrentRow(to);
}

void ToolbarCustomizeDialog::updateButtons() {
    const int row = m_currentList->currentRow();
    m_add->setEnabled(m_availableList->currentRow() >= 0);
    m_remove->setEnabled(row >= 0);
    m_up->setEnabled(row > 0);
    m_down->setEnabled(row >= 0 && row < m_currentList->count() - 1);
}

QListWidgetItem* ToolbarCustomizeDialog::makeItem(const QString& key) const {
    auto* item = new QListWidgetItem;
    item->setData(KeyRole, key);
    if (key.isEmpty()) {
        item->setText(tr("Separator"));
    } else if (const ToolbarButtonInfo* b = button(key)) {
        item->setText(b->tooltip.isEmpty() ? b->key : b->tooltip);
        item->setIcon(b->icon);
        item->setToolTip(b->tooltip);
    } else {
        item->setText(key); // not offered: kept as it is until removed
    }
    return item;
}

const ToolbarButtonInfo* ToolbarCustomizeDialog::button(const QString& key) const {
    for (const ToolbarButtonInfo& b : m_available) {
        if (b.key == key)
            return &b;
    }
    return nullptr;
}

QPushButton* ToolbarCustomizeDialog::makeButton(const QString& text, const QString& name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
