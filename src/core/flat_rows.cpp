#include "core/flat_rows.h"

namespace {

void append(const TreeLevel& level, const QByteArray& pathA, const QByteArray& pathB,
            FolderRows& out) {
    const FolderRows& rows = level.rows;
    std::vector<std::pair<qsizetype, const TreeLevel*>> pairs; // entered after this level's rows
    size_t next = 0;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        const TreeLevel* below = nullptr;
        if (next < level.below.size() && level.below[next].first == r)
            below = level.below[next++].second.get();
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        // A pair that could not be read keeps its row: it would vanish, difference and all.
        if (below && i >= 0 && j >= 0 &&
            !(rows.status(r) == RowStatus::Unreadable && below->rows.count() == 0)) {
            pairs.emplace_back(r, below);
            continue;
        }
        RowPair pair{-1, -1, rows.status(r)};
        if (i >= 0) {
            pair.source = qint32(out.source.count());
            out.source.add(pathA + rows.source.fileName(i).toByteArray(), rows.source.stat(i),
                           rows.source.isLink(i));
        }
        if (j >= 0) {
            pair.destination = qint32(out.destination.count());
            out.destination.add(pathB + rows.destination.fileName(j).toByteArray(),
                                rows.destination.stat(j), rows.destination.isLink(j));
        }
        out.addRow(pair);
    }
    for (const auto& [r, below] : pairs) {
        append(
            *below, pathA + rows.source.fileName(rows.entry(r, Side::Source)).toByteArray() + '/',
            pathB + rows.destination.fileName(rows.entry(r, Side::Destination)).toByteArray() + '/',
            out);
    }
}

} // namespace

std::shared_ptr<FolderRows> flattenTrees(const QByteArray& sourceFolder,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options) {
    const std::unique_ptr<TreeLevel> top = readTrees(sourceFolder, destinationFolder, options);
    auto out = std::make_shared<FolderRows>();
    append(*top, {}, {}, *out);
    return out;
}

QByteArrayView folderPart(QByteArrayView relativePath) {
    const qsizetype slash = relativePath.lastIndexOf('/');
    return slash < 0 ? QByteArrayView() : relativePath.first(slash);
}

QByteArrayView namePart(QByteArrayView relativePath) {
    return relativePath.sliced(relativePath.lastIndexOf('/') + 1);
}
