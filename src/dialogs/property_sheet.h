#pragma once

#include "fs/file_properties.h"

#include <QDialog>

class FileManagerBus;
class QFormLayout;

// The program's own property sheet of a file or folder, for desktops whose
// file manager does not offer one. Non-modal, and deleted when closed, so any
// number stand open side by side.
class PropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit PropertySheet(const FileProperties& properties, QWidget* parent = nullptr);

private:
    void addRow(QFormLayout* form, const QString& label, const QString& name, const QString& text);
};

// Shows the properties of `path` (the bytes that reach it): through the file
// manager when one answers, else in a new PropertySheet, placed beside the
// sheets already open so that none hides another. Returns false, and shows
// nothing, when there is no file or folder at `path`.
bool showPropertiesOf(FileManagerBus& bus, QWidget* owner, const QByteArray& path);
