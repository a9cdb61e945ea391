#include "mainwindow/pane_model.h"

PaneModel::PaneModel(QObject* parent) : QAbstractTableModel(parent) {}

int PaneModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int PaneModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PaneModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return index.column() == Name ? row.text : row.subItems[index.column() - 1];
    case Qt::DecorationRole:
        if (index.column() == Name && row.smallIcon > 0 && m_iconSource)
            return m_iconSource(row.smallIcon);
        return {};
    case Qt::ForegroundRole:
    case Qt::FontRole:
    case Qt::ToolTipRole: {
        if (row.status < 0 || row.text.isEmpty())
            return {};
        const auto status = static_cast<RowStatus>(row.status);
        if (role == Qt::ToolTipRole)
            return rowStatusWords(status);
        const StatusLook& look = m_looks[static_cast<size_t>(row.status)];
        // Weight and slant on the name only: the other columns keep the
        // widths that fit their texts, stored widths included.
        if (role == Qt::FontRole)
            return index.column() == Name ? QVariant(look.font) : QVariant();
        return look.foreground;
    }
    case Qt::TextAlignmentRole:
        if (index.column() == Size)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

QVariant PaneModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"Name", "Size", "Type", "Modified"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}

Qt::ItemFlags PaneModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.column() == Name ? base | Qt::ItemIsEditable : base;
}

void PaneModel::clear() {
    if (m_bulk) {
        m_rows.clear(); // the reset in progress covers it
        return;
    }
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int PaneModel::append(const QString& text, const QByteArray& fileName) {
    const int row = static_cast<int>(m_rows.size());
    if (!m_bulk)
        beginInsertRows({}, row, row);
    m_rows.push_back({text, {}, 0, fileName, -1});
    if (!m_bulk)
        endInsertRows();
    return row;
}

const QString& PaneModel::subItem(int row, int column) const {
    return m_rows[static_cast<size_t>(row)].subItems[column - 1];
}

void PaneModel::setSubItem(int row, int column, const QString& text) {
    m_rows[static_cast<size_t>(row)].subItems[column - 1] = text;
    if (!m_bulk) {
        const QModelIndex i = index(row, column);
        Q_EMIT dataChanged(i, i, {Qt::DisplayRole});
    }
}

void PaneModel::setSmallIcon(int row, int position) {
    m_rows[static_cast<size_t>(row)].smallIcon = position;
    if (!m_bulk) {
        const QModelIndex i = index(row, Name);
        Q_EMIT dataChanged(i, i, {Qt::DecorationRole});
    }
}

void PaneModel::beginBulkAdd() {
    if (m_bulk)
        return; // an earlier refresh ended early; its reset is still open
    m_bulk = true;
    beginResetModel();
}

void PaneModel::endBulkAdd() {
    if (!m_bulk)
        return;
    m_bulk = false;
    endResetModel();
}

void PaneModel::setStatus(int row, RowStatus status) {
    m_rows[static_cast<size_t>(row)].status = static_cast<signed char>(status);
    if (!m_bulk)
        Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

std::optional<RowStatus> PaneModel::status(int row) const {
    const signed char s = m_rows[static_cast<size_t>(row)].status;
    return s < 0 ? std::nullopt : std::optional(static_cast<RowStatus>(s));
}

void PaneModel::setStatusLooks(const StatusLooks& looks) {
    m_looks = looks;
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                           {Qt::ForegroundRole, Qt::FontRole});
}
