#include "comparison/comparison.h"

#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/flat_rows.h"
#include "comparison/background_run.h"
#include "fileops/sync_sides.h"
#include "fs/local_side.h"
#include "remote/remote_side.h"
#include "remote/side_for.h"

#include <QScopeGuard>
#include <QTimer>
#include <cerrno>
#include <sys/stat.h>

namespace {

// A pane's side made from its text: ssh asks its questions through the
// program (not batch), and a host not reached is told in its pane.
void reach(Comparison::PaneFolder& f) {
    if (f.side || !f.unreached.isEmpty())
        return;
    try {
        ChosenSide chosen = sideFor(f.given, false);
        f.remote = chosen.remote;
        f.path = !chosen.remote ? f.given : folderPath(chosen.path);
        f.side = std::move(chosen.side);
    } catch (const FsError& e) {
        // Named as its box shows it: no trailing "/" but a host's root's.
        const bool chop = f.given.endsWith('/') && !f.given.endsWith(":/") && f.given.size() > 1;
        f.remote = true;
        f.unreached =
            nameText(chop ? f.given.chopped(1) : f.given) + QStringLiteral(": ") + e.reason();
    }
}

// A folder on another host that listed nothing may not be there.
void noteMissing(Comparison::PaneFolder (&folders)[2], const FolderRows& rows) {
    for (const Side side : {Side::Source, Side::Destination}) {
        Comparison::PaneFolder& f = folders[int(side)];
        struct stat st {};
        f.missing = f.remote && f.side && rows.listing(side).count() == 0 &&
                    !f.side->stat(f.side->root(), f.path.constData(), st, true);
    }
}

// A side of the content checker's own, which runs on a thread of its own: a
// host's over the same connection; null on this machine.
std::unique_ptr<FolderSide> checkerSide(const Comparison::PaneFolder& f) {
    if (const auto* host = dynamic_cast<const RemoteSide*>(f.side.get()))
        return std::make_unique<RemoteSide>(host->link());
    return nullptr;
}

} // namespace

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
    // Another folder, or a host not reached before, is reached again.
    for (const Side side : {Side::Source, Side::Destination}) {
        PaneFolder& f = m_folders[int(side)];
        const QByteArray& given = side == Side::Source ? sourceFolder : destFolder;
        if (f.given != given || !f.unreached.isEmpty()) {
            f = {given, nullptr, {}, false, {}, false};
            m_sidesMade = true;
        }
    }
    m_visible->setFolderRows(nullptr);
    stopContentCheck();
    return kept;
}

std::optional<SyncPreview::Folder> Comparison::syncFolder(Side side) const {
    const PaneFolder& f = m_folders[int(side)];
    if (!f.remote)
        return SyncPreview::Folder{f.side ? f.side : localSide(), f.given, {}};
    if (!f.side)
        return std::nullopt;
    return SyncPreview::Folder{f.side, f.path, hostOfAddress(f.given)};
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
    // The panes' folders as the reader's thread reaches them, kept when it ends.
    PaneFolder reached[2] = {m_folders[0], m_folders[1]};
    const auto keepFolders = qScopeGuard([&] {
        for (int i : {0, 1})
            m_folders[i] = std::move(reached[i]);
    });
    try {
        read = m_runner(
            m_readCancel,
            [&] {
                try {
                    reach(reached[0]);
                    reach(reached[1]);
                    // A host's listings keep each entry's identity for the
                    // commands on its rows, which cannot look here.
                    walk.identities = options.identities = reached[0].remote || reached[1].remote;
                    rows = flat
                               ? readFlatRows(walk, feed, reached)
                               : compareFolders(reached[0].path, reached[1].path, settings, options,
                                                reached[0].side.get(), reached[1].side.get());
                    if (rows)
                        noteMissing(reached, *rows);
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

std::shared_ptr<FolderRows> Comparison::readFlatRows(const TreeOptions& options, FlatFeed& feed,
                                                     const PaneFolder (&folders)[2]) {
    // Files of equal size are left to the content check, as in the usual view.
    try {
        LocalSide nowhere; // a host not reached: its folder is not there
        FolderSide& source = folders[0].side ? *folders[0].side : nowhere;
        FolderSide& destination = folders[1].side ? *folders[1].side : nowhere;
        walkTrees(source, folders[0].path, destination, folders[1].path, options, feed);
        return nullptr;
    } catch (const FsError& e) {
        // A folder that is not there lists nothing, as it does unflattened.
        if (e.number() != ENOENT && e.number() != ENOTDIR)
            throw;
    }
    ScanOptions scan;
    scan.cancel = options.cancel;
    return compareFolders(folders[0].path, folders[1].path, options.filters, scan,
                          folders[0].side.get(), folders[1].side.get());
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
            pairs.push_back({row, folder(Side::Source).path + s.toByteArray(),
                             folder(Side::Destination).path + d.toByteArray(), folders,
                             m_contents});
        }
    }
    if (pairs.empty())
        return;
    if (!m_contentChecker || std::exchange(m_sidesMade, false))
        m_contentChecker = std::make_unique<ContentChecker>(
            nullptr, checkerSide(folder(Side::Source)), checkerSide(folder(Side::Destination)));
    m_contentPairs = m_contentPending = static_cast<qsizetype>(pairs.size());
    Q_EMIT summaryChanged();
    const quint64 run = m_contentRun;
    // Handed over in batches: a call on this thread takes every verdict
    // given since the last, and the summary is told once for them all.
    auto verdicts = std::make_shared<Verdicts>();
    m_contentChecker->start(
        std::move(pairs),
        [this, run, verdicts](qsizetype row, ContentVerdict verdict, qsizetype done) {
            const std::lock_guard lock(verdicts->mutex);
            verdicts->rows.emplace_back(row, verdict);
            verdicts->done = done;
            if (verdicts->rows.size() == 1)
                QMetaObject::invokeMethod(
                    this, [this, run, verdicts] { contentChecked(run, *verdicts); },
                    Qt::QueuedConnection);
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

void Comparison::contentChecked(quint64 run, Verdicts& verdicts) {
    if (run != m_contentRun)
        return; // from a check that a refresh has cancelled
    std::vector<std::pair<qsizetype, ContentVerdict>> taken;
    qsizetype done = 0;
    {
        const std::lock_guard lock(verdicts.mutex);
        taken.swap(verdicts.rows);
        done = verdicts.done;
    }
    // Each a row of the rows both panes share: its count changes once, and
    // it comes into view, or goes, in both panes at once.
    FolderRows& rows = *this->rows();
    for (const auto& [row, verdict] : taken) {
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

std::optional<Comparison::HostFile> Comparison::hostFile(const QByteArray& path) const {
    for (const Side side : {Side::Source, Side::Destination}) {
        const Comparison::PaneFolder& f = folder(side);
        const auto* host = dynamic_cast<const RemoteSide*>(f.side.get());
        if (host && path.startsWith(f.given) && !path.mid(f.given.size()).contains('/'))
            return HostFile{
                {f.path, path.mid(f.given.size()), {}, {}}, host->link(), nameText(path)};
    }
    return std::nullopt;
}
