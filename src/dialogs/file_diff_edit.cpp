// The file view's edits: changes taken across, typing, Undo within the view,
// and saving a side over its file.
#include "core/message_style.h"
#include "core/name_text.h"
#include "dialogs/file_diff_view.h"
#include "fileops/text_save.h"
#include "shell/platform.h"

#include <QCloseEvent>
#include <QLabel>
#include <QThread>

bool FileDiffView::modified(bool right) const {
    return m_versions[right] != m_saved[right];
}

bool FileDiffView::settling() const {
    return m_settling != nullptr;
}

FileDiffView::State FileDiffView::state() const {
    return {m_result->lines, m_area->caret(), m_versions};
}

void FileDiffView::edit(const TextEdit& e) {
    if (!m_result || m_result->binary || !m_result->error.isEmpty())
        return;
    // Characters typed one after another on a line are undone together.
    const Caret before = m_area->caret();
    if (!(before == m_typedUpTo && e.count == 1 && e.caret.line == before.line &&
          e.caret.column == before.column + 1)) {
        m_undo.push_back(state());
    }
    m_redo.clear();
    LineDiff& d = m_result->lines;
    EditedText& text = e.right ? d.right : d.left;
    const EditedText lines{TextLines(e.bytes)};
    // Lines after a last line without an ending give it one: it is edited too.
    const bool ended = e.from == 0 || e.from < text.count() || text.key(e.from - 1).ends_with('\n');
    text.replace(e.from, e.count, lines);
    d.edited(e.right, e.from - !ended, e.count + !ended, lines.count() + !ended);
    m_versions[e.right] = m_nextVersion++;
    m_typedUpTo = e.count == 1 && e.caret.line == e.from ? e.caret : Caret{false, -1, -1};
    showEdited();
    m_area->setCaret(e.caret);
    settle();
}

void FileDiffView::takeChange(int change, bool toRight) {
    if (!m_result || change < 0 || size_t(change) >= m_result->lines.hunks.size())
        return;
    m_undo.push_back(state());
    m_redo.clear();
    take(change, toRight);
    showEdited();
    settle();
}

void FileDiffView::takeAll(bool toRight) {
    if (!m_result || m_result->lines.hunks.empty())
        return;
    m_undo.push_back(state()); // one step for all
    m_redo.clear();
    for (int k = int(m_result->lines.hunks.size()) - 1; k >= 0; --k)
        take(k, toRight);
    showEdited();
    settle();
}

void FileDiffView::take(int change, bool toRight) {
    LineDiff& d = m_result->lines;
    const Hunk h = d.hunks[size_t(change)];
    const EditedText& from = toRight ? d.left : d.right;
    EditedText& to = toRight ? d.right : d.left;
    EditedText lines =
        toRight ? from.slice(h.left, h.leftCount) : from.slice(h.right, h.rightCount);
    // A file keeps its own line endings.
    if (from.lineEnd() != to.lineEnd())
        lines = lines.withLineEnd(to.lineEnd());
    const int at = toRight ? h.right : h.left, count = toRight ? h.rightCount : h.leftCount;
    to.replace(at, count, lines);
    d.edited(toRight, at, count, lines.count());
    m_versions[toRight] = m_nextVersion++;
    m_typedUpTo = {false, -1, -1};
    m_currentChange = change;
    m_followChange = true;
}

void FileDiffView::undo() {
    stepBack(m_undo, m_redo);
}

void FileDiffView::redo() {
    stepBack(m_redo, m_undo);
}

void FileDiffView::stepBack(std::vector<State>& from, std::vector<State>& to) {
    if (from.empty() || !m_result)
        return;
    to.push_back(state());
    const State s = std::move(from.back());
    from.pop_back();
    m_result->lines = s.lines;
    m_versions = s.versions;
    m_typedUpTo = {false, -1, -1};
    m_settling.reset();
    showEdited();
    m_area->setCaret(s.caret);
    settle();
}

void FileDiffView::showEdited() {
    const LineDiff& d = m_result->lines;
    m_area->setDiff(&d, QString());
    m_status->setText(diffSummary(d));
    const int changes = int(d.changes.size());
    m_currentChange = std::min(m_currentChange, changes - 1);
    m_area->setCurrentChange(m_currentChange);
    m_position->setText(
        m_currentChange < 0
            ? QString()
            : QStringLiteral("Change %1 of %2").arg(m_currentChange + 1).arg(changes));
    updateTitle();
}

void FileDiffView::settle() {
    if (m_settling)
        m_settling->cancel = true;
    m_settling.reset();
    if (m_result->lines.pending.empty())
        return;
    auto job = std::make_shared<Settling>();
    job->lines = m_result->lines;
    m_settling = job;
    QThread* worker =
        QThread::create([job] { job->parts = comparePending(job->lines, &job->cancel); });
    connect(worker, &QThread::finished, this, [this, job] {
        if (job != m_settling)
            return; // edited again since: a later one settles
        m_settling.reset();
        m_result->lines.settle(job->parts);
        showEdited();
        if (std::exchange(m_followChange, false) && m_currentChange < 0 &&
            !m_result->lines.changes.empty())
            m_currentChange = 0;
        if (m_currentChange >= 0)
            goToChange(m_currentChange);
        Q_EMIT compared();
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void FileDiffView::updateTitle() {
    QStringList names;
    for (const bool right : {false, true}) {
        const QString path = nameText(right ? m_rightPath : m_leftPath);
        const QString shown = modified(right) ? QStringLiteral("*") + path : path;
        m_headers[right]->setText(shown);
        m_headers[right]->setToolTip(path);
        names << shown;
    }
    setWindowTitle(names.join(QStringLiteral(" \u2194 ")));
}

bool FileDiffView::save(bool right) {
    if (!m_result || m_result->binary || !m_result->error.isEmpty())
        return false;
    const QByteArray& path = right ? m_rightPath : m_leftPath;
    FileIdentity& known = right ? m_result->rightFile : m_result->leftFile;
    if (const auto now = reachedFile(path); !now || !(*now == known)) {
        // Lines not edited are read from the file as mapped: rewritten in
        // place, it no longer holds them, and only reading it again is safe.
        const bool inPlace = now && now->device == known.device && now->inode == known.inode;
        const QString text =
            inPlace ? QStringLiteral("%1 has been rewritten on disk since it was read, so the "
                                     "lines not edited here are gone from it.\r\n\r\n"
                                     "Read the files again, dropping the edits?")
                    : QStringLiteral("%1 has changed on disk since it was read.\r\n\r\n"
                                     "Yes reads the files again, dropping the edits; No saves "
                                     "over it anyway; Cancel does neither.");
        const int answer = m_platform.messageBox(this, text.arg(nameText(path)),
                                                 inPlace ? MsgStyle::QuestionYesNo
                                                         : MsgStyle::QuestionYesNoCancel);
        if (answer == Answer::Yes)
            startComparison();
        if (answer != Answer::No || inPlace)
            return false;
    }
    UndoStep step;
    if (FsResult done = saveText(right ? m_result->lines.right : m_result->lines.left, path, step);
        !done) {
        m_platform.messageBox(this,
                              QStringLiteral("%1 could not be saved:\r\n%2")
                                  .arg(nameText(path), done.error().description()),
                              MsgStyle::Critical);
        return false;
    }
    if (const auto now = reachedFile(path))
        known = *now;
    m_saved[right] = m_versions[right];
    updateTitle();
    Q_EMIT saved(step);
    return true;
}

void FileDiffView::closeEvent(QCloseEvent* event) {
    for (const bool right : {false, true}) {
        if (!m_result || !modified(right))
            continue;
        const int answer =
            m_platform.messageBox(this,
                                  QStringLiteral("Save the changes to %1?")
                                      .arg(nameText(right ? m_rightPath : m_leftPath)),
                                  MsgStyle::QuestionYesNoCancel);
        if (answer == Answer::Cancel || (answer == Answer::Yes && !save(right)))
            return event->ignore();
    }
    event->accept();
}
