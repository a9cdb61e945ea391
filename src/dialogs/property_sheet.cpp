#include "dialogs/property_sheet.h"

#include "base/text_formats.h"
#include "shell/file_manager_bus.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QString contentsText(const FileProperties& p) {
    if (p.itemCount < 0)
        return PropertySheet::tr("Cannot be read");
    return p.itemCount == 1 ? PropertySheet::tr("1 item")
                            : PropertySheet::tr("%1 items").arg(QLocale().toString(p.itemCount));
}

} // namespace

PropertySheet::PropertySheet(const FileProperties& properties, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PropertySheet"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(tr("%1 Properties").arg(properties.name));

    const TextFormats formats;
    auto* form = new QFormLayout;
    addRow(form, tr("Name:"), QStringLiteral("lblName"), properties.name);
    addRow(form, tr("Folder:"), QStringLiteral("lblFolder"), properties.folder);
    addRow(form, tr("Type:"), QStringLiteral("lblType"), properties.typeName);
    if (properties.isFolder)
        addRow(form, tr("Contains:"), QStringLiteral("lblSize"), contentsText(properties));
    else
        addRow(form, tr("Size:"), QStringLiteral("lblSize"), formats.sizeText(properties.size));
    addRow(form, tr("Modified:"), QStringLiteral("lblModified"),
           formats.longDateTimeText(properties.modified));
    addRow(form, tr("Permissions:"), QStringLiteral("lblPermissions"),
           QStringLiteral("%1 (%2)").arg(permissionsText(properties.mode),
                                         permissionsOctal(properties.mode)));
    addRow(form, tr("Owner:"), QStringLiteral("lblOwner"),
           tr("%1, group %2").arg(properties.owner, properties.group));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void PropertySheet::addRow(QFormLayout* form, const QString& label, const QString& name,
                           const QString& text) {
    auto* value = new QLabel(text, this);
    value->setObjectName(name);
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, value);
}

namespace {

// Right of the newest open sheet, else left of it; when neither side has
// room but the two fit side by side, the open one moves over to make it;
// else a step down and to the right. Always within the available area.
void placeBesideOpenSheets(PropertySheet* sheet) {
    PropertySheet* last = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* other = qobject_cast<PropertySheet*>(w);
            other && other != sheet && other->isVisible())
            last = other;
    }
    if (!last)
        return; // the first stands where the window system puts it
    sheet->adjustSize();
    const QRect area = last->screen()->availableGeometry();
    QRect beside = last->frameGeometry();
    // The new sheet's frame is not known before it is shown; take the other's.
    const QSize outer = sheet->size() + beside.size() - last->size();
    constexpr int gap = 8;
    const bool roomRight = beside.right() + gap + outer.width() <= area.right();
    const bool roomLeft = beside.left() - gap - outer.width() >= area.left();
    const int pair = beside.width() + gap + outer.width();
    if (!roomRight && !roomLeft && pair <= area.width()) {
        last->move(last->pos() +
                   QPoint(area.left() + (area.width() - pair) / 2 - beside.left(), 0));
        beside = last->frameGeometry();
    }
    QPoint at(beside.right() + 1 + gap, beside.top());
    if (at.x() + outer.width() > area.right() + 1)
        at.setX(beside.left() - gap - outer.width());
    if (at.x() < area.left())
        at = beside.topLeft() + QPoint(4 * gap, 4 * gap);
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height())));
    sheet->move(at);
}

} // namespace

bool showPropertiesOf(FileManagerBus& bus, QWidget* owner, const QByteArray& path) {
    const std::optional<FileProperties> properties = readFileProperties(path);
    if (!properties)
        return false;
    if (bus.available() &&
        bus.showItemProperties({localFileUrl(path).toString(QUrl::FullyEncoded)}, QString()))
        return true;
    auto* sheet = new PropertySheet(*properties, owner);
    placeBesideOpenSheets(sheet);
    sheet->show();
    return true;
}
