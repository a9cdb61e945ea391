// The content check: pairs of equal size compared by contents on a thread
// of the checker's own, never holding up the window.
#include "mainwindow/main_window.h"

#include "base/text_formats.h"
#include "compare/content_check.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QLabel>
#include <QTimer>

void Main::mnuCompareContents_Click() {
    // The panes show the check's findings only from a refresh that ran it.
    mnuRefresh_Click();
}

void Main::stopContentCheck() {
    ++m_contentRun;
    m_contentPending = 0;
    if (m_contentChecker)
        m_contentChecker->cancel();
}

void Main::startContentCheck(const QByteArray& sourceFolder, const QByteArray& destFolder) {
    const bool contents = m_mnuCompareContents->isChecked();
    // Every folder pair, whose tree is walked to know its status, and with
    // Compare Contents every pair of files of the same size, shown or
    // hidden: one found to differ comes into view when only differences are
    // shown, one found the same goes.
    std::vector<ContentChecker::Pair> pairs;
    if (const std::shared_ptr<FolderRows>& rows = m_visibleRows->folderRows()) {
        for (qsizetype row = 0; row < rows->count(); ++row) {
            const bool folders = rows->status(row) == RowStatus::Checking;
            if (!folders && !(contents && decidedByContents(*rows, row)))
                continue;
            rows->setChecking(row, true);
            const QByteArrayView s = rows->source.fileName(rows->entry(row, Side::Source));
            const QByteArrayView d =
                rows->destination.fileName(rows->entry(row, Side::Destination));
            pairs.push_back({row, sourceFolder + s.toByteArray(), destFolder + d.toByteArray(),
                             folders, contents});
        }
    }
    if (pairs.empty())
        return;
    if (!m_contentChecker)
        m_contentChecker = std::make_unique<ContentChecker>();
    m_contentPairs = m_contentPending = static_cast<qsizetype>(pairs.size());
    showStatusSummary();
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
                showStatusSummary();
            else
                m_walkTick->stop();
        });
    }
    m_walkTick->start();
}

void Main::contentChecked(quint64 run, qsizetype row, ContentVerdict verdict, qsizetype done) {
    if (run != m_contentRun)
        return; // from a check that a refresh has cancelled
    // One row of the rows both panes share: its count changes once, and it
    // comes into view, or goes, in both panes at once.
    FolderRows& rows = *m_visibleRows->folderRows();
    rows.setChecking(row, false);
    if (rows.status(row) == RowStatus::Checking) {
        if (const std::optional<RowStatus> status = treeStatus(verdict))
            m_visibleRows->setStatus(row, *status);
    } else if (verdict == ContentVerdict::Equal || verdict == ContentVerdict::Differ) {
        const FileStat s = rows.source.stat(rows.entry(row, Side::Source));
        const FileStat d = rows.destination.stat(rows.entry(row, Side::Destination));
        m_visibleRows->setStatus(
            row, contentStatus(s, d, verdict == ContentVerdict::Equal, m_settings.times));
    }
    m_contentPending = m_contentPairs - done;
    showStatusSummary();
}

void Main::showStatusSummary() {
    const TextFormats formats;
    const std::shared_ptr<FolderRows>& rows = m_visibleRows->folderRows();
    QString text = rows ? rows->counts().summary(formats) : QString();
    if (m_contentPending > 0) {
        const qint64 walked = m_contentChecker->foldersWalked();
        text = QStringLiteral("%1: %2 of %3%4 \u00b7 %5")
                   .arg(m_mnuCompareContents->isChecked() ? QStringLiteral("Comparing contents")
                                                          : QStringLiteral("Checking folders"),
                        formats.countText(m_contentPairs - m_contentPending),
                        formats.countText(m_contentPairs),
                        walked > 0
                            ? QStringLiteral(", %1 folders walked").arg(formats.countText(walked))
                            : QString(),
                        text);
    }
    m_statusSummary->setText(text);
}
