#include "comparison/comparison.h"

#include "base/text_formats.h"
#include "compare/flat_rows.h"
#include "comparison/background_run.h"

#include <QTimer>
#include <cerrno>

Comparison::Comparison(QObject* parent)
    : QObject(parent), m_runner(runInBackground), m_visible(new VisibleRows(this)) {}

Comparison::~Comparison() {
    // No result may arrive for a comparison that is going.
    stopContentCheck();
}

std::shared_ptr<FolderRows> Comparison::beginRead(const QByteArray& sourceFolder,
                                                  const QByteArray& destFolder) {
    const std::shared_ptr<FolderRows> kept = rowsShownAgain(sourceFolder, destFolder);
    m_source = sourceFolder;
    m_destination = destFolder;
    m_visible->setFolderRows(nullptr);
    stopContentCheck();
    return kept;
}

std::shared_ptr<FolderRows> Comparison::rowsShownAgain(const QByteArray& sourceFolder,
                                                       const QByteArray& destFolder) {
    // Anything read anew makes both stale: a file command, F5, another folder.
    ReadRows shown = std::exchange(m_shownRead, {});
    const ReadRows kept = std::exchange(m_keptRead, {});
    if (!std::exchange(m_flatToggled, false))
        return nullptr;
    // Rows whose checks have all ended are kept for toggling back.
    if (shown.rows && shown.rows == rows() && m_contentPending == 0)
        m_keptRead = std::move(shown);
    const bool same =
        kept.flat == m_flat && kept.source == sourceFolder && kept.destination == destFolder;
    return same ? kept.rows : nullptr;
}

std::shared_ptr<FolderRows> Comparison::read() {
    // The flattened view fills as the trees are walked, from no rows.
    if (m_flat)
        m_visible->setFolderRows(std::make_shared<FolderRows>());
    std::atomic<qint64> progress{0};
    ScanOptions options = scanOptions;
    options.cancel = &m_readCancel;
    options.progress = &progress;
    const FilterSettings settings = m_settings;
    const bool flat = m_flat;
    std::atomic<qint64> folders{0};
    TreeOptions walk = treeOptions;
    walk.filters = settings;
    walk.cancel = &m_readCancel;
    walk.foldersWalked = &folders;
    walk.entriesRead = &progress;
    FlatFeed feed;
    std::shared_ptr<FolderRows> rows;
    bool read = false;
    try {
        read = m_runner(
            m_readCancel,
            [&] {
                try {
                    rows = flat ? readFlatRows(walk, feed)
                                : compareFolders(m_source, m_destination, settings, options);
                } catch (const ScanCancelled&) {
                }
            },
            // At the pace of the eye, not once per file.
            [&] {
                Q_EMIT reading(folders.load(std::memory_order_relaxed),
                               progress.load(std::memory_order_relaxed));
                if (flat)
                    showFlatRows(feed);
            });
    } catch (...) {
        m_visible->setFolderRows(nullptr);
        throw;
    }
    if (!read) {
        // Stopped: no rows, whatever the walk had shown.
        m_visible->setFolderRows(nullptr);
        return nullptr;
    }
    if (flat && !rows) {
        showFlatRows(feed);
        rows = this->rows();
    }
    return rows;
}

std::shared_ptr<FolderRows> Comparison::readFlatRows(const TreeOptions& options, FlatFeed& feed) {
    // Files of equal size are left to the content check, as in the usual view.
    try {
        walkTrees(m_source, m_destination, options, feed);
        return nullptr;
    } catch (const FsError& e) {
        // A folder that is not there lists nothing, as it does unflattened.
        if (e.number() != ENOENT && e.number() != ENOTDIR)
            throw;
    }
    ScanOptions scan;
    scan.cancel = options.cancel;
    return compareFolders(m_source, m_destination, options.filters, scan);
}

void Comparison::showFlatRows(FlatFeed& feed) {
    const FlatFeed::Batch batch = feed.take();
    batch.apply([&](qsizetype at, qsizetype first,
                    qsizetype count) { m_visible->insertRows(at, batch.rows, first, count); },
                [&](qsizetype at, RowStatus status) { m_visible->setStatus(at, status); });
}

void Comparison::showRows(const std::shared_ptr<FolderRows>& rows) {
    if (rows != this->rows())
        m_visible->setFolderRows(rows);
}

void Comparison::readShown(bool kept) {
    m_shownRead = {rows(), m_source, m_destination, m_flat};
    if (!kept) // kept rows were checked to the end
        startContentCheck();
}

void Comparison::stopContentCheck() {
    ++m_contentRun;
    m_contentPending = 0;
    if (m_contentChecker)
        m_contentChecker->cancel();
}

void Comparison::startContentCheck() {
    m_checkContents = m_contents;
    // Every folder pair, whose tree is walked to know its status, and with
    // contents compared every pair of files of the same size, shown or
    // hidden: one found to differ comes into view when only differences are
    // shown, one found the same goes.
    std::vector<ContentChecker::Pair> pairs;
    if (const std::shared_ptr<FolderRows>& rows = this->rows()) {
        for (qsizetype row = 0; row < rows->count(); ++row) {
            const bool folders = rows->status(row) == RowStatus::Checking;
            if (!folders && !(m_contents && decidedByContents(*rows, row)))
                continue;
            rows->setChecking(row, true);
            const QByteArrayView s = rows->source.fileName(rows->entry(row, Side::Source));
            const QByteArrayView d =
                rows->destination.fileName(rows->entry(row, Side::Destination));
            pairs.push_back({row, m_source + s.toByteArray(), m_destination + d.toByteArray(),
                             folders, m_contents});
        }
    }
    if (pairs.empty())
        return;
    if (!m_contentChecker)
        m_contentChecker = std::make_unique<ContentChecker>();
    m_contentPairs = m_contentPending = static_cast<qsizetype>(pairs.size());
    Q_EMIT summaryChanged();
    const quint64 run = m_contentRun;
    m_contentChecker->start(
        std::move(pairs),
        [this, run](qsizetype row, ContentVerdict verdict, qsizetype done) {
            QMetaObject::invokeMethod(
                this, [=, this] { contentChecked(run, row, verdict, done); }, Qt::QueuedConnection);
        },
        m_settings);
    // A deep tree can take a while: the count of folders walked moves
    // meanwhile, and stops with the check.
    if (!m_walkTick) {
        m_walkTick = new QTimer(this);
        m_walkTick->setInterval(250);
        connect(m_walkTick, &QTimer::timeout, this, [this] {
            if (m_contentPending > 0)
                Q_EMIT summaryChanged();
            else
                m_walkTick->stop();
        });
    }
    m_walkTick->start();
}

void Comparison::contentChecked(quint64 run, qsizetype row, ContentVerdict verdict,
                                qsizetype done) {
    if (run != m_contentRun)
        return; // from a check that a refresh has cancelled
    // One row of the rows both panes share: its count changes once, and it
    // comes into view, or goes, in both panes at once.
    FolderRows& rows = *this->rows();
    rows.setChecking(row, false);
    if (rows.status(row) == RowStatus::Checking) {
        if (const std::optional<RowStatus> status = treeStatus(verdict))
            m_visible->setStatus(row, *status);
    } else if (verdict == ContentVerdict::Equal || verdict == ContentVerdict::Differ) {
        const FileStat s = rows.source.stat(rows.entry(row, Side::Source));
        const FileStat d = rows.destination.stat(rows.entry(row, Side::Destination));
        m_visible->setStatus(
            row, contentStatus(s, d, verdict == ContentVerdict::Equal, m_settings.times));
    }
    m_contentPending = m_contentPairs - done;
    Q_EMIT summaryChanged();
}

QString Comparison::summary() const {
    const TextFormats formats;
    const std::shared_ptr<FolderRows>& rows = this->rows();
    QString text = rows ? rows->counts().summary(formats) : QString();
    if (m_contentPending > 0) {
        const qint64 walked = m_contentChecker->foldersWalked();
        text = QStringLiteral("%1: %2 of %3%4 \u00b7 %5")
                   .arg(m_checkContents ? QStringLiteral("Comparing contents")
                                        : QStringLiteral("Checking folders"),
                        formats.countText(m_contentPairs - m_contentPending),
                        formats.countText(m_contentPairs),
                        walked > 0
                            ? QStringLiteral(", %1 folders walked").arg(formats.countText(walked))
                            : QString(),
                        text);
    }
    return text;
}
