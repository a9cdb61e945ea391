// The file view's edits: changes taken across, typing, Undo within the view,
// and saving a side over its file.
#include "base/message_style.h"
#include "base/name_text.h"
#include "dialogs/file_diff_view.h"
#include "fileops/text_save.h"
#include "shell/platform.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QThread>
#include <fcntl.h>

bool FileDiffView::modified(bool right) const {
    return m_versions[right] != m_saved[right];
}

bool FileDiffView::settling() const {
    return m_settling != nullptr;
}

bool FileDiffView::comparing() const {
    return m_comparing || settling() || !m_result;
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
    // A change of rows still being compared is not what the screen will show.
    if (comparing() || change < 0 || size_t(change) >= m_result->lines.hunks.size())
        return;
    m_undo.push_back(state());
    m_redo.clear();
    take(change, toRight);
    showEdited();
    settle();
}

void FileDiffView::takeAll(bool toRight) {
    if (comparing() || m_result->lines.hunks.empty())
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
    updateActions();
}

void FileDiffView::updateTitle() {
    QStringList names;
    for (const bool right : {false, true}) {
        const QString path = m_shownNames[right].isEmpty()
                                 ? nameText(right ? m_rightPath : m_leftPath)
                                 : m_shownNames[right];
        const QString shown = modified(right) ? QStringLiteral("*") + path : path;
        m_headers[right]->setText(shown);
        m_headers[right]->setToolTip(path);
        names << shown;
    }
    setWindowTitle(names.join(QStringLiteral(" \u2194 ")));
    updateActions();
}

void FileDiffView::updateActions() {
    const auto enable = [this](const char* name, bool on) {
        if (auto* action = findChild<QAction*>(QLatin1String(name)))
            action->setEnabled(on);
    };
    // An unedited side is never written again.
    enable("mnuSave", modified(false) || modified(true));
    enable("mnuSaveLeft", modified(false));
    enable("mnuSaveRight", modified(true));
    const bool text = m_result && !m_result->binary && m_result->error.isEmpty();
    enable("mnuSaveAs", text);
    for (const char* take : {"mnuTakeRight", "mnuTakeLeft", "mnuTakeAllRight", "mnuTakeAllLeft"})
        enable(take, text && !comparing());
    m_lineEnds->setText(lineEndsText());
}

QString FileDiffView::lineEndsText() const {
    if (!m_result || m_result->binary || !m_result->error.isEmpty())
        return {};
    const auto name = [](LineEnds ends) {
        switch (ends) {
        case LineEnds::Lf:
            return QStringLiteral("LF");
        case LineEnds::Crlf:
            return QStringLiteral("CRLF");
        case LineEnds::Mixed:
            return QStringLiteral("mixed");
        case LineEnds::None:
            break;
        }
        return QStringLiteral("no line ends");
    };
    return name(m_result->lines.left.lineEnds()) + QStringLiteral(" \u00b7 ") +
           name(m_result->lines.right.lineEnds());
}

void FileDiffView::saveCurrent() {
    const bool caret = m_area->caret().right;
    if (modified(caret))
        save(caret);
    else if (modified(!caret))
        save(!caret);
}

bool FileDiffView::save(bool right) {
    if (!m_result || m_result->binary || !m_result->error.isEmpty() || !modified(right))
        return false;
    ReadFile& file = right ? m_result->rightFile : m_result->leftFile;
    ReadFile& other = right ? m_result->leftFile : m_result->rightFile;
    const QString name = nameText(file.path);
    const auto readAgain = [&](const QString& text, int style) {
        const int answer = m_platform.messageBox(this, text, style);
        if (answer == Answer::Yes)
            startComparison();
        return answer;
    };
    const QString rewritten =
        QStringLiteral("%1 has been rewritten since it was read, so the lines not edited here "
                       "no longer hold what was read, and the text cannot be saved.\r\n\r\n"
                       "Read the files again, dropping the edits?");
    // Lines taken across come from the other file.
    const EditedText& text = right ? m_result->lines.right : m_result->lines.left;
    if (text.drawsFrom(other.text.get()) && !heldIntact(other)) {
        readAgain(rewritten.arg(nameText(other.path)), MsgStyle::QuestionYesNo);
        return false;
    }
    struct stat now {};
    const struct stat* expected = &now;
    switch (lookAtName(file, now)) {
    case NameNow::Same:
        break;
    case NameNow::Changed:
        if (readAgain(
                QStringLiteral("%1 has been %2 since it was read.\r\n\r\n"
                               "Yes reads it again, dropping the edits; No saves over it; "
                               "Cancel does neither (Save As writes the text elsewhere).")
                    .arg(name,
                         now.st_ino != file.seen.st_ino || now.st_dev != file.seen.st_dev
                             ? QStringLiteral("replaced by another file")
                             : QStringLiteral("changed in place (its size, times or attributes)")),
                MsgStyle::QuestionYesNoCancel) != Answer::No)
            return false;
        break;
    case NameNow::Rewritten:
        readAgain(rewritten.arg(name), MsgStyle::QuestionYesNo);
        return false;
    case NameNow::Gone:
        if (m_platform.messageBox(this,
                                  QStringLiteral("%1 has been deleted since it was read.\r\n\r\n"
                                                 "Save it again under its name?")
                                      .arg(name),
                                  MsgStyle::QuestionYesNo) != Answer::Yes)
            return false;
        expected = nullptr;
        break;
    case NameNow::NotAFile:
        m_platform.messageBox(
            this,
            QStringLiteral("%1 was not saved: since it was read, a link or something else "
                           "that is not a file has been put at its name, and it is not "
                           "written through nor replaced. Save As writes the text elsewhere.")
                .arg(name),
            MsgStyle::Critical);
        return false;
    case NameNow::Unreachable:
        m_platform.messageBox(this,
                              QStringLiteral("%1 could not be saved:\r\n%2")
                                  .arg(name, FsError::fromErrno(errno, name).description()),
                              MsgStyle::Critical);
        return false;
    }
    return saveTo(right, file, expected);
}

bool FileDiffView::saveTo(bool right, ReadFile& target, const struct stat* expected) {
    const QString name = nameText(target.path);
    // A copy of a file elsewhere is written, then sent back over that file.
    const bool elsewhere =
        &target == &(right ? m_result->rightFile : m_result->leftFile) && m_sendBack[right];
    SaveWay way;
    way.toTrash = m_keepInTrash && !elsewhere;
    const EditedText& text = right ? m_result->lines.right : m_result->lines.left;
    for (const ReadFile* file : {&m_result->leftFile, &m_result->rightFile}) {
        if (text.drawsFrom(file->text.get()))
            way.sources.push_back(file);
    }
    way.replaceForGood = [&](const QString& why) {
        return elsewhere ||
               m_platform.messageBox(
                   this,
                   QStringLiteral("%1 cannot be kept in the Trash (%2): replace it anyway?\r\n\r\n"
                                  "The old version will be gone for good.")
                       .arg(name, why),
                   MsgStyle::QuestionYesNoNoDefault) == Answer::Yes;
    };
    UndoStep step;
    OldFile old = OldFile::None;
    if (FsResult done = saveText(text, target, expected, way, step, old); !done) {
        if (done.error().number() != ECANCELED)
            m_platform.messageBox(this,
                                  QStringLiteral("%1 could not be saved:\r\n%2")
                                      .arg(name, done.error().description()),
                                  MsgStyle::Critical);
        return false;
    }
    if (elsewhere) {
        const bool sent = m_sendBack[right]();
        // Sending may give the copy a second name for a while: it is still the one written.
        if (::fstatat(target.folder->fd, target.name.constData(), &target.seen,
                      AT_SYMLINK_NOFOLLOW) != 0)
            target.seen = {};
        if (!sent)
            return false;
    }
    m_saved[right] = m_versions[right];
    updateTitle();
    if (elsewhere) // the copy's old version is nothing to keep or undo
        return true;
    if (old == OldFile::Gone)
        Q_EMIT replacedForGood(
            QStringLiteral("The old version of %1 was replaced for good when it was saved.")
                .arg(name));
    else
        Q_EMIT saved(step);
    return true;
}

void FileDiffView::setElsewhere(bool right, const QString& shownName,
                                std::function<bool()> sendBack) {
    m_shownNames[right] = shownName;
    m_sendBack[right] = std::move(sendBack);
    updateTitle();
}

bool FileDiffView::saveAs(bool right) {
    if (!m_result || m_result->binary || !m_result->error.isEmpty())
        return false;
    ReadFile& file = right ? m_result->rightFile : m_result->leftFile;
    const QByteArray path = m_platform.saveFileName(
        this, file.path, right ? QStringLiteral("Save Right As") : QStringLiteral("Save Left As"));
    if (path.isEmpty())
        return false;
    ReadFile target = file; // the text's own file stays the one read
    FsResult opened = openFolderOf(path, target);
    struct stat now {};
    const bool taken = opened && ::fstatat(target.folder->fd, target.name.constData(), &now,
                                           AT_SYMLINK_NOFOLLOW) == 0;
    if (opened && taken && !S_ISREG(now.st_mode))
        opened = FsError(EEXIST, nameText(path), QStringLiteral("not a file"));
    if (!opened) {
        m_platform.messageBox(this,
                              QStringLiteral("%1 could not be saved:\r\n%2")
                                  .arg(nameText(path), opened.error().description()),
                              MsgStyle::Critical);
        return false;
    }
    if (!saveTo(right, target, taken ? &now : nullptr))
        return false;
    file = std::move(target);
    (right ? m_rightPath : m_leftPath) = path;
    m_shownNames[right].clear();
    m_sendBack[right] = nullptr;
    updateTitle();
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
