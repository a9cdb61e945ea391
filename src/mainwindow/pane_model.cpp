#include "mainwindow/pane_model.h"

#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/flat_rows.h"

namespace {

// Texts kept for about this many rows: several screens of both panes.
constexpr qsizetype keptTexts = 4096;

} // namespace

PaneModel::PaneModel(VisibleRows& rows, QObject* parent)
    : QAbstractTableModel(parent), m_visible(rows), m_formats(std::make_unique<TextFormats>()) {
    // Both panes' models hear each change of the shared rows before and after it.
    connect(&m_visible, &VisibleRows::aboutToReset, this, &PaneModel::beginResetModel);
    connect(&m_visible, &VisibleRows::reset, this, [this] {
        if (m_textsFor != m_visible.folderRows().get()) {
            m_textsFor = m_visible.folderRows().get();
            m_texts = {};
            m_formats = std::make_unique<TextFormats>(); // the locale as it is now
        }
        endResetModel();
    });
    connect(&m_visible, &VisibleRows::aboutToInsert, this,
            [this](int row, int count) { beginInsertRows({}, row, row + count - 1); });
    connect(&m_visible, &VisibleRows::inserted, this, &PaneModel::endInsertRows);
    connect(&m_visible, &VisibleRows::aboutToRemove, this,
            [this](int row) { beginRemoveRows({}, row, row); });
    connect(&m_visible, &VisibleRows::removed, this, &PaneModel::endRemoveRows);
    connect(&m_visible, &VisibleRows::changed, this,
            [this](int row) { Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1)); });
}

PaneModel::~PaneModel() = default;

int PaneModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_visible.count();
}

int PaneModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

const PaneModel::Texts& PaneModel::texts(int row) const {
    static const Texts none;
    const qint32 i = entry(row);
    if (i < 0)
        return none;
    auto it = m_texts.constFind(i);
    if (it != m_texts.constEnd())
        return *it;
    if (m_texts.size() >= keptTexts)
        m_texts.clear();
    Texts t;
    const FolderRows& rows = *m_visible.folderRows();
    const FileStat st = rows.listing(m_side).stat(i);
    // A folder's size says nothing about what it holds: left empty.
    if (!st.folder)
        t.size = m_formats->sizeText(st.size);
    t.modified = m_formats->modifiedText(st.modified);
    if (m_lookSource) {
        Look look = m_lookSource(rows, m_visible.sharedRow(row), m_side);
        t.type = std::move(look.type);
        t.icon = look.icon;
    }
    return *m_texts.insert(i, std::move(t));
}

bool PaneModel::isFolder(int row) const {
    const qint32 i = entry(row);
    return i >= 0 && m_visible.folderRows()->listing(m_side).stat(i).folder;
}

QVariant PaneModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_visible.count())
        return {};
    const int row = index.row();
    const bool file = isFile(row);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        // The name alone is cheap: a type-ahead search reads it row after row.
        return file ? subItem(row, index.column()) : QString();
    case Qt::DecorationRole:
        if (index.column() == Name && file && m_iconSource) {
            if (const int icon = texts(row).icon; icon > 0)
                return m_iconSource(icon);
        }
        return {};
    case Qt::ForegroundRole:
    case Qt::FontRole:
    case Qt::ToolTipRole: {
        if (!file)
            return {};
        const RowStatus status = m_visible.status(row);
        if (role == Qt::ToolTipRole) {
            const qsizetype shared = m_visible.sharedRow(row);
            return m_visible.folderRows()->checking(shared) && status != RowStatus::Checking
                       ? rowStatusWords(status) + QStringLiteral(" \u00b7 checking contents\u2026")
                       : rowStatusWords(status);
        }
        const StatusLook& look = m_looks[static_cast<size_t>(status)];
        if (look.modifiedOnly && index.column() != Modified)
            return {};
        // Weight and slant on the name only: the other columns keep the
        // widths that fit their texts, stored widths included.
        if (role == Qt::FontRole)
            return index.column() == Name ? look.font : QVariant();
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
    static const char* const titles[] = {"Name", "Size", "Type", "Modified", "Folder"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section])
                                                 : QVariant();
}

Qt::ItemFlags PaneModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags base = QAbstractTableModel::flags(index);
    return index.column() == Name ? base | Qt::ItemIsEditable : base;
}

void PaneModel::setSide(Side side) {
    beginResetModel();
    m_side = side;
    m_texts = {};
    endResetModel();
}

QString PaneModel::text(int row) const {
    const qint32 i = entry(row);
    if (i < 0)
        return {};
    const FolderListing& listing = m_visible.folderRows()->listing(m_side);
    const QByteArrayView path = listing.fileName(i);
    return path.contains('/') ? nameText(namePart(path).toByteArray()) : listing.name(i);
}

QString PaneModel::folderText(int row) const {
    const qint32 i = entry(row);
    return i >= 0
               ? nameText(
                     folderPart(m_visible.folderRows()->listing(m_side).fileName(i)).toByteArray())
               : QString();
}

QString PaneModel::pathText(int row) const {
    const qint32 i = entry(row);
    return i >= 0 ? m_visible.folderRows()->listing(m_side).name(i) : QString();
}

QModelIndexList PaneModel::match(const QModelIndex& start, int role, const QVariant& value,
                                 int hits, Qt::MatchFlags flags) const {
    const int n = rowCount();
    if (start.column() != Name || role != Qt::DisplayRole || n == 0 ||
        (flags & Qt::MatchTypeMask) != Qt::MatchStartsWith)
        return QAbstractTableModel::match(start, role, value, hits, flags);
    // What the user types is the start of a name, or of a relative path.
    const QString typed = value.toString();
    QModelIndexList found;
    const int rows = flags & Qt::MatchWrap ? n : n - start.row();
    for (int k = 0; k < rows && (hits < 0 || found.size() < hits); ++k) {
        const int row = (start.row() + k) % n;
        if (isFile(row) && (pathText(row).startsWith(typed, Qt::CaseInsensitive) ||
                            text(row).startsWith(typed, Qt::CaseInsensitive)))
            found << index(row, Name);
    }
    return found;
}

QString PaneModel::subItem(int row, int column) const {
    if (!isFile(row))
        return {};
    if (column == Name)
        return text(row);
    if (column == Folder)
        return folderText(row);
    const Texts& t = texts(row);
    switch (column) {
    case Size:
        return t.size;
    case Type:
        return t.type;
    case Modified:
        return t.modified;
    default:
        return {};
    }
}

int PaneModel::smallIcon(int row) const {
    return isFile(row) ? texts(row).icon : 0;
}

QByteArray PaneModel::fileName(int row) const {
    const qint32 i = entry(row);
    return i >= 0 ? m_visible.folderRows()->listing(m_side).fileName(i).toByteArray()
                  : QByteArray();
}

int PaneModel::findFile(QByteArrayView fileName) const {
    if (!m_visible.folderRows() || fileName.isEmpty())
        return -1;
    const FolderListing& listing = m_visible.folderRows()->listing(m_side);
    for (int row = 0; row < m_visible.count(); ++row) {
        const qint32 i = entry(row);
        if (i >= 0 && listing.fileName(i) == fileName)
            return row;
    }
    return -1;
}

std::optional<RowStatus> PaneModel::status(int row) const {
    return isFile(row) ? std::optional(m_visible.status(row)) : std::nullopt;
}

void PaneModel::setStatusLooks(const StatusLooks& looks) {
    m_looks = looks;
    if (const int n = m_visible.count(); n > 0)
        Q_EMIT dataChanged(index(0, 0), index(n - 1, ColumnCount - 1),
                           {Qt::ForegroundRole, Qt::FontRole});
}
