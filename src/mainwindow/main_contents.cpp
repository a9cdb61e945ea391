// The content check: pairs of equal size and time compared byte for byte on
// a thread of the checker's own, never holding up the window.
#include "mainwindow/main_window.h"

#include "core/content_check.h"
#include "core/text_formats.h"
#include "mainwindow/list_pane.h"

#include <QAction>
#include <QLabel>

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
    if (!m_mnuCompareContents->isChecked())
        return;
    // Every pair of the same size and time, shown or hidden: one found to
    // differ comes into view when only differences are shown.
    std::vector<ContentChecker::Pair> pairs;
    if (const std::shared_ptr<FolderRows>& rows = m_visibleRows->folderRows()) {
        for (qsizetype row = 0; row < rows->count(); ++row) {
            if (rows->status(row) != RowStatus::Same)
                continue;
            const QByteArrayView s = rows->source.fileName(rows->entry(row, Side::Source));
            const QByteArrayView d =
                rows->destination.fileName(rows->entry(row, Side::Destination));
            pairs.push_back({row, sourceFolder + s.toByteArray(), destFolder + d.toByteArray()});
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
        std::move(pairs), [this, run](qsizetype row, ContentVerdict verdict, qsizetype done) {
            const bool differs = verdict == ContentVerdict::Differ;
            QMetaObject::invokeMethod(
                this, [=, this] { contentChecked(run, row, differs, done); }, Qt::QueuedConnection);
        });
}

void Main::contentChecked(quint64 run, qsizetype row, bool differs, qsizetype done) {
    if (run != m_contentRun)
        return; // from a check that a refresh has cancelled
    if (differs) {
        // One row of the rows both panes share: its count changes once, and
        // it comes into view in both panes at once.
        m_visibleRows->setStatus(row, RowStatus::Differs);
    }
    m_contentPending = m_contentPairs - done;
    showStatusSummary();
}

void Main::showStatusSummary() {
    const TextFormats formats;
    const std::shared_ptr<FolderRows>& rows = m_visibleRows->folderRows();
    QString text = rows ? rows->counts().summary(formats) : QString();
    if (m_contentPending > 0)
        text = QStringLiteral("Comparing contents: %1 of %2 \u00b7 %3")
                   .arg(formats.countText(m_contentPairs - m_contentPending),
                        formats.countText(m_contentPairs), text);
    m_statusSummary->setText(text);
}
