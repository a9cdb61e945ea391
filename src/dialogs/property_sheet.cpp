#include "dialogs/property_sheet.h"

#include "core/text_formats.h"
#include "shell/file_manager_bus.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
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

bool showPropertiesOf(FileManagerBus& bus, QWidget* owner, const QString& path) {
    const std::optional<FileProperties> properties = readFileProperties(path);
    if (!properties)
        return false;
    if (bus.available() &&
        bus.showItemProperties({localFileUrl(path).toString(QUrl::FullyEncoded)}, QString()))
        return true;
    auto* sheet = new PropertySheet(*properties, owner);
    sheet->show();
    return true;
}
