#include "dialogs/file_diff_view.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "fileops/text_save.h"
#include "shell/platform.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStringDecoder>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Rows of context kept above a change that F7 brings into view.
constexpr int contextRows = 3;

// The clipboard's copy of the bytes selected: pasted in the view, they are
// the same bytes; other programs get them as text.
constexpr char bytesFormat[] = "application/x-duoscope-bytes";

// Bytes as text for other programs: UTF-8 when they are, else each byte
// one Latin-1 character (what a file not UTF-8 most often holds).
QString bestText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

void copySelection(const DiffArea& area) {
    const QByteArray bytes = area.selectedBytes();
    auto* data = new QMimeData;
    data->setText(bestText(bytes));
    data->setData(QLatin1String(bytesFormat), bytes);
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace

struct FileDiffView::Job {
    std::atomic<bool> cancel{false};
    FileComparison result;
};

FileDiffView::FileDiffView(const QByteArray& leftPath, const QByteArray& rightPath,
                           Platform& platform, QWidget* parent, int ignore)
    : QWidget(parent, Qt::Window), m_leftPath(leftPath), m_rightPath(rightPath),
      m_platform(platform), m_ignore(ignore) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmFileDiff"));

    auto* header = new QHBoxLayout;
    for (QLabel*& label : m_headers) {
        label = new QLabel(this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        header->addWidget(label, 1);
    }
    m_area = new DiffArea(this);
    connect(m_area, &DiffArea::editRequested, this, &FileDiffView::edit);
    connect(m_area, &DiffArea::takeRequested, this, &FileDiffView::takeChange);
    m_status = new QLabel(QStringLiteral("Comparing\u2026"), this);
    m_area->setDiff(nullptr, m_status->text());
    m_position = new QLabel(this);
    m_lineEnds = new QLabel(this);
    auto* statusLine = new QHBoxLayout;
    statusLine->addWidget(m_status, 1);
    statusLine->addWidget(m_position);
    statusLine->addSpacing(16);
    statusLine->addWidget(m_lineEnds);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(makeMenus());
    layout->addLayout(header);
    layout->addWidget(m_area, 1);
    layout->addLayout(statusLine);
    updateTitle();

    if (const QScreen* screen = parent ? parent->screen() : QWidget::screen()) {
        const QSize room = screen->availableGeometry().size();
        resize(std::min(1100, room.width() * 9 / 10), std::min(760, room.height() * 9 / 10));
    }

    startComparison();
}

FileDiffView::~FileDiffView() {
    m_job->cancel = true;
    if (m_settling)
        m_settling->cancel = true;
}

QMenuBar* FileDiffView::makeMenus() {
    auto* bar = new QMenuBar(this);
    const auto add = [this](QMenu* menu, const char* name, const char* text,
                            QList<QKeySequence> keys, auto slot) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    add(file, "mnuSave", "&Save", {QKeySequence::Save}, [this] { saveCurrent(); });
    add(file, "mnuSaveLeft", "Save &Left", {}, [this] { save(false); });
    add(file, "mnuSaveRight", "Save &Right", {}, [this] { save(true); });
    add(file, "mnuSaveAs", "Save &As\u2026", {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
        [this] { saveAs(m_area->caret().right); });

    QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
    add(edit, "mnuUndo", "&Undo", {QKeySequence::Undo}, [this] { undo(); });
    add(edit, "mnuRedo", "&Redo",
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)},
        [this] { redo(); });
    edit->addSeparator();
    add(edit, "mnuCut", "Cu&t", {QKeySequence::Cut}, [this] {
        copySelection(*m_area);
        m_area->insertText(QString());
    });
    add(edit, "mnuCopy", "&Copy", {QKeySequence::Copy}, [this] { copySelection(*m_area); });
    add(edit, "mnuPaste", "&Paste", {QKeySequence::Paste}, [this] {
        const QMimeData* held = QGuiApplication::clipboard()->mimeData();
        if (held && held->hasFormat(QLatin1String(bytesFormat)))
            m_area->insertBytes(held->data(QLatin1String(bytesFormat)), true);
        else if (held)
            m_area->insertText(held->text());
    });
    add(edit, "mnuSelectAll", "Select &All", {QKeySequence::SelectAll},
        [this] { m_area->selectAll(); });

    QMenu* merge = bar->addMenu(QStringLiteral("&Merge"));
    add(merge, "mnuTakeRight", "Copy Change to &Right", {QKeySequence(Qt::ALT | Qt::Key_Right)},
        [this] { takeChange(m_currentChange, true); });
    add(merge, "mnuTakeLeft", "Copy Change to &Left", {QKeySequence(Qt::ALT | Qt::Key_Left)},
        [this] { takeChange(m_currentChange, false); });
    merge->addSeparator();
    add(merge, "mnuTakeAllRight", "Copy All Changes to Ri&ght", {}, [this] { takeAll(true); });
    add(merge, "mnuTakeAllLeft", "Copy All Changes to Le&ft", {}, [this] { takeAll(false); });

    QMenu* view = bar->addMenu(QStringLiteral("&View"));
    const struct {
        const char* name;
        const char* text;
        int flag;
    } options[] = {
        {"mnuIgnoreSpaceChanges", "Ignore White Space &Changes", IgnoreSpaceChanges},
        {"mnuIgnoreAllSpace", "Ignore &All White Space", IgnoreAllSpace},
        {"mnuIgnoreLineEnds", "Ignore &Line Endings", IgnoreLineEnds},
        {"mnuIgnoreCase", "Ignore C&ase", IgnoreCase},
    };
    for (const auto& o : options) {
        QAction* action = view->addAction(QString::fromLatin1(o.text));
        action->setObjectName(QLatin1String(o.name));
        action->setCheckable(true);
        action->setChecked(m_ignore & o.flag);
        connect(action, &QAction::toggled, this, [this, flag = o.flag](bool on) {
            setIgnore(on ? m_ignore | flag : m_ignore & ~flag);
        });
    }
    return bar;
}

void FileDiffView::setIgnore(int ignore) {
    if (ignore == m_ignore)
        return;
    m_ignore = ignore;
    Q_EMIT ignoreChanged(ignore);
    if (!m_result || m_result->binary || !m_result->error.isEmpty() ||
        (!modified(false) && !modified(true)))
        return startComparison();
    // The texts as edited compared again, not the files.
    LineDiff& d = m_result->lines;
    d.ignore = ignore;
    d.hunks = {{0, d.left.count(), 0, d.right.count()}};
    d.pending = {0};
    d.recount();
    showEdited();
    settle();
}

void FileDiffView::startComparison() {
    if (m_job)
        m_job->cancel = true; // its result is dropped when it comes
    m_job = std::make_shared<Job>();
    m_comparing = true;
    updateActions();
    auto job = m_job;
    QThread* worker =
        QThread::create([job, left = m_leftPath, right = m_rightPath, ignore = m_ignore] {
            job->result = compareFiles(left, right, job->cancel, ignore);
        });
    connect(worker, &QThread::finished, this, [this, job] {
        if (job != m_job)
            return;
        m_comparing = false;
        showResult();
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void FileDiffView::keyPressEvent(QKeyEvent* event) {
    // Keys the area leaves alone come here, whichever of the window's
    // widgets has the focus.
    if (event->key() == Qt::Key_F7 && event->modifiers() == Qt::NoModifier)
        nextChange();
    else if (event->key() == Qt::Key_F7 && event->modifiers() == Qt::ShiftModifier)
        previousChange();
    else if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close))
        close();
    else
        QWidget::keyPressEvent(event);
}

QString FileDiffView::statusText() const {
    return m_status->text();
}

void FileDiffView::showResult() {
    m_result = std::make_unique<FileComparison>(std::move(m_job->result));
    m_settling.reset();
    m_undo.clear();
    m_redo.clear();
    m_versions = m_saved = {};
    QString verdict;
    if (!m_result->error.isEmpty())
        verdict = m_result->error;
    else if (m_result->binary)
        verdict = m_result->binaryText();
    m_area->setDiff(verdict.isEmpty() ? &m_result->lines : nullptr, verdict);
    m_area->setCaret({});
    m_status->setText(verdict.isEmpty() ? diffSummary(m_result->lines) : verdict);
    m_currentChange = -1;
    m_area->setCurrentChange(-1);
    m_position->clear();
    updateTitle();
    if (verdict.isEmpty() && !m_result->lines.changes.empty())
        goToChange(0);
    Q_EMIT compared();
}

void FileDiffView::goToChange(int change) {
    const std::vector<int>& changes = m_result->lines.changes;
    m_currentChange = change;
    m_area->verticalScrollBar()->setValue(std::max(0, changes[size_t(change)] - contextRows));
    m_area->setCurrentChange(change);
    m_position->setText(QStringLiteral("Change %1 of %2").arg(change + 1).arg(changes.size()));
}

bool FileDiffView::currentChangeShown() const {
    const std::vector<int>& changes = m_result->lines.changes;
    const int top = m_area->topRow();
    return m_currentChange >= 0 && size_t(m_currentChange) < changes.size() &&
           changes[size_t(m_currentChange)] >= top &&
           changes[size_t(m_currentChange)] < top + m_area->visibleRows();
}

void FileDiffView::nextChange() {
    if (!m_result || m_result->lines.changes.empty())
        return;
    // From the current change while it is on screen, else from the top row.
    const std::vector<int>& changes = m_result->lines.changes;
    const int next = currentChangeShown()
                         ? m_currentChange + 1
                         : int(std::lower_bound(changes.begin(), changes.end(), m_area->topRow()) -
                               changes.begin());
    if (size_t(next) < changes.size())
        goToChange(next);
}

void FileDiffView::previousChange() {
    if (!m_result || m_result->lines.changes.empty())
        return;
    const std::vector<int>& changes = m_result->lines.changes;
    const int previous =
        currentChangeShown()
            ? m_currentChange - 1
            : int(std::lower_bound(changes.begin(), changes.end(), m_area->topRow()) -
                  changes.begin()) -
                  1;
    if (previous >= 0)
        goToChange(previous);
}
