#pragma once

#include "mainwindow/status_look.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// The rows of one pane. A row is a file row (name, size, type, modified and
// an icon position) or a placeholder row (empty text, nothing else), and
// keeps the bytes that reach its file on disk.
class PaneModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name = 0, Size = 1, Type = 2, Modified = 3, ColumnCount = 4 };

    using IconSource = std::function<QVariant(int position)>;

    explicit PaneModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Names can be edited in place (the pane's label edit), never written.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void clear();
    // Appends a row; returns its 0-based position.
    int append(const QString& text, const QByteArray& fileName);
    void setSubItem(int row, int column, const QString& text);
    // `position` is the 1-based position of the row's image; 0 for none.
    void setSmallIcon(int row, int position);
    int smallIcon(int row) const { return m_rows[static_cast<size_t>(row)].smallIcon; }
    const QString& text(int row) const { return m_rows[static_cast<size_t>(row)].text; }
    const QString& subItem(int row, int column) const;
    const QByteArray& fileName(int row) const { return m_rows[static_cast<size_t>(row)].fileName; }

    // While a bulk add is open, appends reach views only at its end, at once.
    void beginBulkAdd();
    void endBulkAdd();
    bool inBulkAdd() const { return m_bulk; }

    // How the row's files compare; a file row shows it in its colour, font
    // and tooltip, with the looks given.
    void setStatus(int row, RowStatus status);
    std::optional<RowStatus> status(int row) const;
    void setStatusLooks(const StatusLooks& looks);

    // Where the images of the Name column come from.
    void setIconSource(IconSource source) { m_iconSource = std::move(source); }

private:
    struct Row {
        QString text;
        QString subItems[3];
        int smallIcon = 0;
        QByteArray fileName;
        signed char status = -1; // a RowStatus, or none
    };
    std::vector<Row> m_rows;
    StatusLooks m_looks{};
    bool m_bulk = false;
    IconSource m_iconSource;
};
