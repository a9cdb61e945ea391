#include "core/flat_rows.h"

namespace {

// Gathers the walk's rows level by level: a level's own rows first, then the
// levels of its folder pairs, in row order, as the walk tells them depth first.
class FlatRows : public TreeRows {
public:
    FlatRows() { m_open.push_back(newLevel({}, {}, false)); }

    void row(const FolderRows& rows, qsizetype r, const QByteArray&, bool below) override {
        Level& at = m_levels[m_open.back()];
        if (!below) {
            if (!at.lone)
                add(at, rows, r);
            return;
        }
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        // Only a pair of folders opens into rows; a lone folder (or a folder
        // facing a file) stays one row, told once its status is settled.
        const bool pair =
            !at.lone && i >= 0 && j >= 0 && rows.source.isFolder(i) && rows.destination.isFolder(j);
        const size_t level =
            pair ? newLevel(at.pathA + rows.source.fileName(i).toByteArray() + '/',
                            at.pathB + rows.destination.fileName(j).toByteArray() + '/', false)
                 : newLevel({}, {}, true);
        if (pair)
            m_levels[m_open.back()].below.push_back(level);
        m_open.push_back(level);
    }

    void settled(const FolderRows& rows, qsizetype r, const QByteArray&) override {
        const Level& below = m_levels[m_open.back()];
        // A pair that could not be read keeps its row: it would vanish, difference and all.
        const bool keep =
            below.lone || (below.told == 0 && rows.status(r) == RowStatus::Unreadable);
        m_open.pop_back();
        Level& at = m_levels[m_open.back()];
        if (keep && !at.lone)
            add(at, rows, r);
    }

    void unreadable(const QByteArray&, int) override {} // its row says so

    // The rows of every level, in the view's order; levels are kept flat so
    // neither this nor their release recurses as deep as the trees go.
    void moveInto(FolderRows& out) {
        std::vector<size_t> next{0};
        while (!next.empty()) {
            const size_t l = next.back();
            next.pop_back();
            const Level& level = m_levels[l];
            for (const RowPair& p : level.rows) {
                RowPair pair{-1, -1, p.status};
                if (p.source >= 0) {
                    pair.source = qint32(out.source.count());
                    out.source.add(m_staged.source.fileName(p.source),
                                   m_staged.source.stat(p.source),
                                   m_staged.source.isLink(p.source));
                }
                if (p.destination >= 0) {
                    pair.destination = qint32(out.destination.count());
                    out.destination.add(m_staged.destination.fileName(p.destination),
                                        m_staged.destination.stat(p.destination),
                                        m_staged.destination.isLink(p.destination));
                }
                out.addRow(pair);
            }
            next.insert(next.end(), level.below.rbegin(), level.below.rend());
        }
    }

private:
    struct Level {
        QByteArray pathA, pathB; // relative to the tops, "" or ending with "/"
        bool lone = false;       // below a lone folder: nothing of it is a row
        qsizetype told = 0;      // rows the walk told of this level
        std::vector<RowPair> rows;
        std::vector<size_t> below;
    };

    size_t newLevel(QByteArray pathA, QByteArray pathB, bool lone) {
        m_levels.push_back({std::move(pathA), std::move(pathB), lone, 0, {}, {}});
        return m_levels.size() - 1;
    }

    void add(Level& at, const FolderRows& rows, qsizetype r) {
        ++at.told;
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        RowPair pair{-1, -1, rows.status(r)};
        if (i >= 0) {
            pair.source = qint32(m_staged.source.count());
            m_staged.source.add(at.pathA + rows.source.fileName(i).toByteArray(),
                                rows.source.stat(i), rows.source.isLink(i));
        }
        if (j >= 0) {
            pair.destination = qint32(m_staged.destination.count());
            m_staged.destination.add(at.pathB + rows.destination.fileName(j).toByteArray(),
                                     rows.destination.stat(j), rows.destination.isLink(j));
        }
        at.rows.push_back(pair);
    }

    std::vector<Level> m_levels;
    std::vector<size_t> m_open; // the levels the walk is in, the top first
    FolderRows m_staged;        // every row's entries, in the order told
};

} // namespace

std::shared_ptr<FolderRows> flattenTrees(const QByteArray& sourceFolder,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options) {
    FlatRows rows;
    walkTrees(sourceFolder, destinationFolder, options, rows);
    auto out = std::make_shared<FolderRows>();
    rows.moveInto(*out);
    return out;
}

QByteArrayView folderPart(QByteArrayView relativePath) {
    const qsizetype slash = relativePath.lastIndexOf('/');
    return slash < 0 ? QByteArrayView() : relativePath.first(slash);
}

QByteArrayView namePart(QByteArrayView relativePath) {
    return relativePath.sliced(relativePath.lastIndexOf('/') + 1);
}
