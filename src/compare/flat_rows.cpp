#include "compare/flat_rows.h"

namespace {

// A row the walk enters that opens into rows of its own: a pair of folders.
bool opens(const FolderRows& rows, qsizetype r) {
    const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
    return walkedBelow(rows, r) && i >= 0 && j >= 0 && rows.source.isFolder(i) &&
           rows.destination.isFolder(j);
}

} // namespace

FlatFeed::FlatFeed() {
    m_open.push_back({});
}

FlatFeed::Batch FlatFeed::take() {
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_batch, {});
}

void FlatFeed::listed(const FolderRows& rows, const QByteArray&) {
    Level& at = m_open.back();
    if (at.lone)
        return;
    // Its rows go at the end of the list now, but for the pairs of folders,
    // whose rows come after, folder by folder. A lone folder is Checking
    // until the walk has tried to enter it.
    at.start = m_count;
    at.before.resize(static_cast<size_t>(rows.count()));
    const std::lock_guard lock(m_mutex);
    for (qsizetype r = 0; r < rows.count(); ++r) {
        at.before[static_cast<size_t>(r)] = at.told;
        if (opens(rows, r))
            continue;
        put(at, rows, r, walkedBelow(rows, r) ? RowStatus::Checking : rows.status(r), m_count);
        ++at.told;
    }
}

void FlatFeed::row(const FolderRows& rows, qsizetype r, const QByteArray&, bool below) {
    if (!below)
        return; // in the list since its level was listed
    const Level& at = m_open.back();
    Level level;
    level.lone = at.lone || !opens(rows, r);
    if (!level.lone) {
        level.pathA =
            at.pathA + rows.source.fileName(rows.entry(r, Side::Source)).toByteArray() + '/';
        level.pathB = at.pathB +
                      rows.destination.fileName(rows.entry(r, Side::Destination)).toByteArray() +
                      '/';
    }
    m_open.push_back(std::move(level));
}

void FlatFeed::settled(const FolderRows& rows, qsizetype r, const QByteArray&) {
    const Level below = std::move(m_open.back());
    m_open.pop_back();
    Level& at = m_open.back();
    if (at.lone)
        return;
    // Pairs that could not be read, put in before this row, moved it on.
    const qsizetype place = at.start + at.before[static_cast<size_t>(r)] + at.inserted;
    const std::lock_guard lock(m_mutex);
    if (below.lone) {
        m_batch.steps.push_back({place, 0, rows.status(r)});
    } else if (below.told == 0 && rows.status(r) == RowStatus::Unreadable) {
        // A pair that could not be read keeps its row: it would vanish,
        // difference and all.
        put(at, rows, r, rows.status(r), place);
        ++at.told;
        ++at.inserted;
    }
}

void FlatFeed::put(const Level& level, const FolderRows& rows, qsizetype r, RowStatus status,
                   qsizetype at) {
    const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
    RowPair pair{-1, -1, status};
    FolderRows& out = m_batch.rows;
    if (i >= 0) {
        pair.source = qint32(out.source.count());
        out.source.add(level.pathA + rows.source.fileName(i).toByteArray(), rows.source.stat(i),
                       rows.source.isLink(i));
    }
    if (j >= 0) {
        pair.destination = qint32(out.destination.count());
        out.destination.add(level.pathB + rows.destination.fileName(j).toByteArray(),
                            rows.destination.stat(j), rows.destination.isLink(j));
    }
    out.addRow(pair);
    ++m_count;
    // Rows put in one after the other are one step.
    std::vector<Step>& steps = m_batch.steps;
    if (!steps.empty() && steps.back().count > 0 && steps.back().at + steps.back().count == at)
        ++steps.back().count;
    else
        steps.push_back({at, 1});
}

void FlatFeed::Batch::apply(const std::function<void(qsizetype, qsizetype, qsizetype)>& insert,
                            const std::function<void(qsizetype, RowStatus)>& status) const {
    qsizetype first = 0;
    for (const Step& step : steps) {
        if (step.count == 0) {
            status(step.at, step.status);
        } else {
            insert(step.at, first, step.count);
            first += step.count;
        }
    }
}

void insertRows(FolderRows& to, qsizetype at, const FolderRows& from, qsizetype first,
                qsizetype count) {
    std::vector<RowPair> pairs;
    pairs.reserve(static_cast<size_t>(count));
    for (qsizetype r = first; r < first + count; ++r) {
        const qint32 i = from.entry(r, Side::Source), j = from.entry(r, Side::Destination);
        RowPair pair{-1, -1, from.status(r)};
        if (i >= 0) {
            pair.source = qint32(to.source.count());
            to.source.add(from.source.fileName(i), from.source.stat(i), from.source.isLink(i));
        }
        if (j >= 0) {
            pair.destination = qint32(to.destination.count());
            to.destination.add(from.destination.fileName(j), from.destination.stat(j),
                               from.destination.isLink(j));
        }
        pairs.push_back(pair);
    }
    to.insertRows(at, pairs);
}

namespace {

std::shared_ptr<FolderRows> flattened(FlatFeed& feed) {
    // Taken once, the rows need only their order: the listings move over
    // whole, so the names are never held twice.
    FlatFeed::Batch batch = feed.take();
    std::vector<RowPair> pairs;
    pairs.reserve(batch.rows.rows.size());
    batch.apply(
        [&](qsizetype at, qsizetype first, qsizetype count) {
            const auto from = batch.rows.rows.begin() + first;
            pairs.insert(pairs.begin() + at, from, from + count);
        },
        [&](qsizetype at, RowStatus status) { pairs[static_cast<size_t>(at)].status = status; });
    // Their order taken, the walk's rows go before the list's are given.
    batch.rows.rows = std::vector<RowPair>();
    batch.steps = std::vector<FlatFeed::Step>();
    auto out = std::make_shared<FolderRows>();
    out->source = std::move(batch.rows.source);
    out->destination = std::move(batch.rows.destination);
    out->takeRows(std::move(pairs));
    return out;
}

} // namespace

std::shared_ptr<FolderRows> flattenTrees(const QByteArray& sourceFolder,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options) {
    FlatFeed feed;
    walkTrees(sourceFolder, destinationFolder, options, feed);
    return flattened(feed);
}

std::shared_ptr<FolderRows> flattenTrees(FolderSide& source, const QByteArray& sourceFolder,
                                         FolderSide& destination,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options) {
    FlatFeed feed;
    walkTrees(source, sourceFolder, destination, destinationFolder, options, feed);
    return flattened(feed);
}

QByteArrayView folderPart(QByteArrayView relativePath) {
    const qsizetype slash = relativePath.lastIndexOf('/');
    return slash < 0 ? QByteArrayView() : relativePath.first(slash);
}

QByteArrayView namePart(QByteArrayView relativePath) {
    return relativePath.sliced(relativePath.lastIndexOf('/') + 1);
}
