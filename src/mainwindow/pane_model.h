#pragma once

#include "compare/row_matching.h"
#include "comparison/visible_rows.h"
#include "mainwindow/status_look.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class TextFormats;

// The rows of one pane: one side of the rows both panes show (VisibleRows).
// A row is a file row (name, size, type, modified and an icon position) or a
// placeholder row (empty text, nothing else), and keeps the bytes that reach
// its file on disk. Texts, types and icons are made when a row is first
// asked for (as it is painted), never for every row at once, and kept for
// the rows shown last.
class PaneModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Folder, the relative folder of a flattened view's row, is shown left of
    // Name, and only there.
    enum Column { Name = 0, Size = 1, Type = 2, Modified = 3, Folder = 4, ColumnCount = 5 };

    // A file row's type text and 1-based image position.
    struct Look {
        QString type;
        int icon = 0;
    };
    using LookSource = std::function<Look(const FolderRows& rows, qsizetype row, Side side)>;
    using IconSource = std::function<QVariant(int position)>;

    PaneModel(VisibleRows& rows, QObject* parent = nullptr);
    ~PaneModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Type-ahead on the Name column finds rows by the whole relative path.
    QModelIndexList match(const QModelIndex& start, int role, const QVariant& value, int hits,
                          Qt::MatchFlags flags) const override;
    // Names can be edited in place (the pane's label edit), never written.
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Which side of the shared rows the pane shows.
    void setSide(Side side);
    // No rows, in both panes.
    void clear() { m_visible.setFolderRows(nullptr); }
    const std::shared_ptr<FolderRows>& folderRows() const { return m_visible.folderRows(); }
    VisibleRows& visibleRows() const { return m_visible; }

    bool isFile(int row) const { return entry(row) >= 0; }
    // A row whose entry is a folder (only listed with subfolders shown).
    bool isFolder(int row) const;
    // The identity the listing kept of a row's file (a host's keep it), or none.
    std::optional<FileIdentity> identity(int row) const {
        const qint32 i = entry(row);
        return i < 0 ? std::nullopt : m_visible.folderRows()->listing(m_side).stat(i).identity;
    }
    // The name a row shows; its folder relative to the pane's folder ("" but
    // in the flattened view); both together, as type-ahead finds a row.
    QString text(int row) const;
    QString folderText(int row) const;
    QString pathText(int row) const;
    QString subItem(int row, int column) const;
    // The 1-based position of the row's image; 0 for none.
    int smallIcon(int row) const;
    QByteArray fileName(int row) const;
    // The first row whose file has these bytes as its name, or -1.
    int findFile(QByteArrayView fileName) const;

    // How the row's files compare (nothing for a placeholder); a file row
    // shows it in its colour, font and tooltip, with the looks given.
    std::optional<RowStatus> status(int row) const;
    void setStatusLooks(const StatusLooks& looks);

    // Where the type and image of a file row, and the images, come from.
    void setLookSource(LookSource source) { m_lookSource = std::move(source); }
    void setIconSource(IconSource source) { m_iconSource = std::move(source); }

private:
    struct Texts {
        QString size, type, modified;
        int icon = 0;
    };
    qint32 entry(int row) const {
        return row >= 0 && row < m_visible.count()
                   ? m_visible.folderRows()->entry(m_visible.sharedRow(row), m_side)
                   : -1;
    }
    // The texts of a file row but its name, made on first use.
    const Texts& texts(int row) const;

    VisibleRows& m_visible;
    // The shared rows the texts were made for; kept by the row's entry on
    // this side, which neither showing or hiding rows nor rows put in
    // between others move, so that none is made again.
    const FolderRows* m_textsFor = nullptr;
    Side m_side = Side::Source;
    StatusLooks m_looks{};
    LookSource m_lookSource;
    IconSource m_iconSource;
    std::unique_ptr<TextFormats> m_formats;
    mutable QHash<qsizetype, Texts> m_texts;
};
