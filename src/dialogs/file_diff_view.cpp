#include "dialogs/file_diff_view.h"

#include "core/name_text.h"
#include "mainwindow/status_look.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
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

} // namespace

DiffArea::DiffArea(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    measure();
}

void DiffArea::setDiff(const LineDiff* diff, const QString& message) {
    m_diff = diff;
    m_message = message;
    m_longestLine = 0;
    if (diff) {
        for (const auto* lines : {&diff->leftLines, &diff->rightLines}) {
            for (const LineSpan& s : *lines)
                m_longestLine = std::max(m_longestLine, s.length);
        }
    }
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
    const int rows = m_diff ? int(m_diff->rows.size()) : 0;
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
    if (!m_diff || m_diff->rows.empty()) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(viewport()->rect(), Qt::AlignCenter | Qt::TextWordWrap, m_message);
        return;
    }
    const int first = topRow();
    const int last = std::min(int(m_diff->rows.size()), first + visibleRows() + 1);
    const int half = viewport()->width() / 2;
    paintHalf(p, 0, half - 1, true, first, last);
    paintHalf(p, half + 1, viewport()->width() - half - 1, false, first, last);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(half, 0, half, viewport()->height());
}

void DiffArea::paintHalf(QPainter& p, int x, int width, bool left, int firstRow, int lastRow) {
    const QPalette& pal = palette();
    const QColor base = pal.color(QPalette::Base), text = pal.color(QPalette::Text);
    const QColor highlight = pal.color(QPalette::Highlight);
    const QColor tint = mixedColour(base, highlight, 0.2);
    const QColor mark = mixedColour(base, highlight, 0.5);
    const QBrush blank(mixedColour(base, text, 0.3), Qt::BDiagPattern);
    const QColor numbers = mixedColour(text, base, 0.45);

    const auto& lines = left ? m_diff->leftLines : m_diff->rightLines;
    const int gutter = m_charWidth * (int(QString::number(lines.size()).size()) + 1) + 8;
    const int textX = x + gutter + 4 - horizontalScrollBar()->value();
    p.save();
    p.setClipRect(x, 0, width, viewport()->height());
    p.fillRect(x, 0, gutter, viewport()->height(), pal.alternateBase());

    // The current change's rows: from its first row to the next Same row.
    int currentFrom = -1, currentTo = -1;
    if (m_currentChange >= 0 && size_t(m_currentChange) < m_diff->changes.size()) {
        currentFrom = currentTo = m_diff->changes[size_t(m_currentChange)];
        while (size_t(currentTo) < m_diff->rows.size() &&
               m_diff->rows[size_t(currentTo)].kind != DiffRow::Same)
            ++currentTo;
    }
    QTextOption option;
    option.setTabStopDistance(8.0 * m_charWidth);
    option.setWrapMode(QTextOption::NoWrap);
    for (int r = firstRow; r < lastRow; ++r) {
        const DiffRow& row = m_diff->rows[size_t(r)];
        const int y = (r - firstRow) * m_rowHeight;
        const int line = left ? row.left : row.right;
        const QRect textRect(x + gutter, y, width - gutter, m_rowHeight);
        if (r >= currentFrom && r < currentTo)
            p.fillRect(x, y, 3, m_rowHeight, highlight);
        if (line < 0) {
            p.fillRect(textRect, blank);
            continue;
        }
        if (row.kind != DiffRow::Same)
            p.fillRect(textRect, tint);
        p.setPen(numbers);
        p.drawText(QRect(x, y, gutter - 4, m_rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(line + 1));

        QTextLayout layout(lineText(left ? m_diff->leftLine(line) : m_diff->rightLine(line)),
                           font());
        layout.setTextOption(option);
        QList<QTextLayout::FormatRange> formats;
        if (row.marks >= 0) {
            const auto& marks = m_diff->marks[size_t(row.marks)];
            for (const CharSpan& s : left ? marks.first : marks.second) {
                QTextLayout::FormatRange range{s.start, s.length, {}};
                range.format.setBackground(mark);
                formats << range;
            }
        }
        layout.setFormats(formats);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        p.save();
        p.setClipRect(textRect, Qt::IntersectClip);
        p.setPen(text);
        layout.draw(&p, QPointF(textX, y + 1));
        p.restore();
    }
    p.restore();
}

struct FileDiffView::Job {
    std::atomic<bool> cancel{false};
    FileComparison result;
};

FileDiffView::FileDiffView(const QByteArray& leftPath, const QByteArray& rightPath, QWidget* parent)
    : QWidget(parent, Qt::Window), m_job(std::make_shared<Job>()) {
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
    layout->addLayout(header);
    layout->addWidget(m_area, 1);
    layout->addLayout(statusLine);

    if (const QScreen* screen = parent ? parent->screen() : QWidget::screen()) {
        const QSize room = screen->availableGeometry().size();
        resize(std::min(1100, room.width() * 9 / 10), std::min(760, room.height() * 9 / 10));
    }

    auto job = m_job;
    QThread* worker = QThread::create([job, leftPath, rightPath] {
        job->result = compareFiles(leftPath, rightPath, job->cancel);
    });
    connect(worker, &QThread::finished, this, &FileDiffView::showResult);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

FileDiffView::~FileDiffView() {
    m_job->cancel = true;
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
