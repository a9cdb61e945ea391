#include "dialogs/file_diff_view.h"

#include "core/name_text.h"
#include "mainwindow/status_look.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTextLayout>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// Rows of context kept above a change that F7 brings into view.
constexpr int contextRows = 3;

// A longer line shows its start only: laying out more on every paint would
// stall the window, and nobody reads that far sideways.
constexpr qsizetype shownBytes = 20000;

QString shownText(const QByteArray& line) {
    return line.size() > shownBytes ? lineText(line.left(shownBytes)) + QStringLiteral(" \u2026")
                                    : lineText(line);
}

} // namespace

DiffArea::DiffArea(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    measure();
}

void DiffArea::setDiff(const LineDiff* diff, const QString& message) {
    m_diff = diff;
    m_message = message;
    m_longestLine = diff ? std::min(std::max(diff->left.longestLine(), diff->right.longestLine()),
                                    qint64(shownBytes) + 2)
                         : 0;
    updateScrollBars();
    viewport()->update();
}

void DiffArea::setCurrentChange(int change) {
    m_currentChange = change;
    viewport()->update();
}

int DiffArea::topRow() const {
    return verticalScrollBar()->value();
}

int DiffArea::visibleRows() const {
    return std::max(1, viewport()->height() / m_rowHeight);
}

void DiffArea::measure() {
    const QFontMetrics metrics(font());
    m_rowHeight = metrics.lineSpacing() + 2;
    m_charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
}

void DiffArea::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        measure();
        updateScrollBars();
    }
}

void DiffArea::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void DiffArea::scrollContentsBy(int, int) {
    viewport()->update();
}

void DiffArea::updateScrollBars() {
    const int rows = m_diff ? m_diff->rowCount : 0;
    verticalScrollBar()->setRange(0, std::max(0, rows - visibleRows()));
    verticalScrollBar()->setPageStep(visibleRows());
    // Tabs may widen a line; the longest line in bytes is near enough.
    const int half = viewport()->width() / 2;
    const qsizetype wanted = (m_longestLine + 16) * m_charWidth;
    horizontalScrollBar()->setRange(0, int(std::clamp<qsizetype>(wanted - half, 0, 1 << 28)));
    horizontalScrollBar()->setPageStep(half);
    horizontalScrollBar()->setSingleStep(m_charWidth * 4);
}

void DiffArea::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    p.fillRect(viewport()->rect(), palette().base());
    if (!m_diff || m_diff->rowCount == 0) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextWordWrap, m_message);
        return;
    }
    // The current change's rows.
    int currentFrom = -1, currentTo = -1;
    if (m_currentChange >= 0 && size_t(m_currentChange) < m_diff->changes.size()) {
        const Hunk& h = m_diff->hunks[size_t(m_currentChange)];
        currentFrom = m_diff->changes[size_t(m_currentChange)];
        currentTo = currentFrom + std::max(h.leftCount, h.rightCount);
    }
    const int first = topRow();
    const int last = std::min(m_diff->rowCount, first + visibleRows() + 1);
    const int half = viewport()->width() / 2;
    for (int r = first; r < last; ++r) {
        const DiffRow row = m_diff->row(r);
        const QString left = row.left < 0 ? QString() : shownText(m_diff->left.line(row.left));
        const QString right = row.right < 0 ? QString() : shownText(m_diff->right.line(row.right));
        // Lines equal only under the ignore options differ faintly.
        const Shade shade =
            row.kind != DiffRow::Same ? Shade::Changed
            : m_diff->ignore != 0 && m_diff->left.line(row.left) != m_diff->right.line(row.right)
                ? Shade::Ignored
                : Shade::Same;
        const auto marks = (row.kind == DiffRow::Changed || shade == Shade::Ignored)
                               ? diffChars(left, right)
                               : std::pair<std::vector<CharSpan>, std::vector<CharSpan>>();
        const int y = (r - first) * m_rowHeight;
        const bool current = r >= currentFrom && r < currentTo;
        paintCell(p, {0, y, half - 1, m_rowHeight}, shade, current,
                  {row.left, m_diff->left.count(), left, marks.first});
        paintCell(p, {half + 1, y, viewport()->width() - half - 1, m_rowHeight}, shade, current,
                  {row.right, m_diff->right.count(), right, marks.second});
    }
    const int shown = (last - first) * m_rowHeight;
    if (shown < viewport()->height()) { // below the last row, the gutters go on
        for (const auto& [x, lines] :
             {std::pair{0, m_diff->left.count()}, std::pair{half + 1, m_diff->right.count()}})
            p.fillRect(x, shown, gutterWidth(lines), viewport()->height() - shown,
                       palette().alternateBase());
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(half, 0, half, viewport()->height());
}

int DiffArea::gutterWidth(int lines) const {
    return m_charWidth * (int(QString::number(lines).size()) + 1) + 8;
}

void DiffArea::paintCell(QPainter& p, const QRect& cell, Shade shade, bool current, const Cell& c) {
    const QPalette& pal = palette();
    const QColor base = pal.color(QPalette::Base), text = pal.color(QPalette::Text);
    const QColor highlight = pal.color(QPalette::Highlight);
    const int gutter = gutterWidth(c.lines);
    const QRect textRect = cell.adjusted(gutter, 0, 0, 0);
    p.save();
    p.setClipRect(cell);
    p.fillRect(cell.x(), cell.y(), gutter, cell.height(), pal.alternateBase());
    if (current)
        p.fillRect(cell.x(), cell.y(), 3, cell.height(), highlight);
    if (c.line < 0) {
        p.fillRect(textRect, QBrush(mixedColour(base, text, 0.3), Qt::BDiagPattern));
        p.restore();
        return;
    }
    // Tint and marks: ignored differences at a third of a change's strength.
    const double strength = shade == Shade::Changed ? 1.0 : 1.0 / 3;
    if (shade != Shade::Same)
        p.fillRect(textRect, mixedColour(base, highlight, 0.2 * strength));
    p.setPen(mixedColour(text, base, 0.45));
    p.drawText(QRect(cell.x(), cell.y(), gutter - 4, cell.height()),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(c.line + 1));

    QTextOption option;
    option.setTabStopDistance(8.0 * m_charWidth);
    option.setWrapMode(QTextOption::NoWrap);
    QTextLayout layout(c.text, font());
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const CharSpan& s : c.marks) {
        QTextLayout::FormatRange range{s.start, s.length, {}};
        range.format.setBackground(mixedColour(base, highlight, 0.5 * strength));
        formats << range;
    }
    layout.setFormats(formats);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    p.setClipRect(textRect, Qt::IntersectClip);
    p.setPen(text);
    layout.draw(&p, QPointF(textRect.x() + 4 - horizontalScrollBar()->value(), cell.y() + 1));
    p.restore();
}

struct FileDiffView::Job {
    std::atomic<bool> cancel{false};
    FileComparison result;
};

FileDiffView::FileDiffView(const QByteArray& leftPath, const QByteArray& rightPath, QWidget* parent,
                           int ignore)
    : QWidget(parent, Qt::Window), m_leftPath(leftPath), m_rightPath(rightPath), m_ignore(ignore) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmFileDiff"));
    const QString leftText = nameText(leftPath), rightText = nameText(rightPath);
    setWindowTitle(QStringLiteral("%1 \u2194 %2").arg(leftText, rightText));

    auto* header = new QHBoxLayout;
    for (const QString& path : {leftText, rightText}) {
        auto* label = new QLabel(path, this);
        label->setToolTip(path);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        header->addWidget(label, 1);
    }
    m_area = new DiffArea(this);
    m_status = new QLabel(QStringLiteral("Comparing\u2026"), this);
    m_area->setDiff(nullptr, m_status->text());
    m_position = new QLabel(this);
    auto* statusLine = new QHBoxLayout;
    statusLine->addWidget(m_status, 1);
    statusLine->addWidget(m_position);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(makeMenus());
    layout->addLayout(header);
    layout->addWidget(m_area, 1);
    layout->addLayout(statusLine);

    if (const QScreen* screen = parent ? parent->screen() : QWidget::screen()) {
        const QSize room = screen->availableGeometry().size();
        resize(std::min(1100, room.width() * 9 / 10), std::min(760, room.height() * 9 / 10));
    }

    startComparison();
}

FileDiffView::~FileDiffView() {
    m_job->cancel = true;
}

QMenuBar* FileDiffView::makeMenus() {
    auto* bar = new QMenuBar(this);
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
    startComparison();
}

void FileDiffView::startComparison() {
    if (m_job)
        m_job->cancel = true; // its result is dropped when it comes
    m_job = std::make_shared<Job>();
    auto job = m_job;
    QThread* worker =
        QThread::create([job, left = m_leftPath, right = m_rightPath, ignore = m_ignore] {
            job->result = compareFiles(left, right, job->cancel, ignore);
        });
    connect(worker, &QThread::finished, this, [this, job] {
        if (job == m_job)
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
    QString verdict;
    if (!m_result->error.isEmpty())
        verdict = m_result->error;
    else if (m_result->binary)
        verdict = m_result->binaryText();
    m_area->setDiff(verdict.isEmpty() ? &m_result->lines : nullptr, verdict);
    m_status->setText(verdict.isEmpty() ? diffSummary(m_result->lines) : verdict);
    m_currentChange = -1;
    m_area->setCurrentChange(-1);
    m_position->clear();
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
    return m_currentChange >= 0 && changes[size_t(m_currentChange)] >= top &&
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
