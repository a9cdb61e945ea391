#include "dialogs/diff_area.h"

#include "base/name_text.h"
#include "mainwindow/status_look.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>

namespace {

// A longer line shows its start only: laying out more on every paint would
// stall the window, and nobody reads that far sideways. Nor is it edited.
constexpr qsizetype shownBytes = 20000;

QString shownText(const QByteArray& line) {
    return line.size() > shownBytes ? lineText(line.left(shownBytes)) + QStringLiteral(" \u2026")
                                    : lineText(line);
}

// A tint `share` of the way from the base to the highlight, but never so
// faint that it cannot be told from the base (a dark palette's highlight
// can lie close to its base).
QColor tint(const QColor& base, const QColor& highlight, double share) {
    const double least = 1.0 + share * 0.75;
    QColor c = mixedColour(base, highlight, share);
    for (double s = share; contrastRatio(c, base) < least && s < 0.6; s += 0.01)
        c = mixedColour(base, highlight, s);
    return c;
}

bool isNavigation(int key) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return true;
    default:
        return false;
    }
}

bool before(const Caret& a, const Caret& b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}

QByteArray endingOf(std::string_view key) {
    return key.ends_with("\r\n") ? QByteArrayLiteral("\r\n")
           : key.ends_with('\n') ? QByteArrayLiteral("\n")
                                 : QByteArray();
}

} // namespace

DiffArea::DiffArea(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
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

int DiffArea::leftEnd() const {
    return viewport()->width() / 2 - m_rowHeight;
}

int DiffArea::rightStart() const {
    return viewport()->width() / 2 + m_rowHeight;
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
    const int half = leftEnd();
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
    p.fillRect(leftEnd(), 0, rightStart() - leftEnd(), viewport()->height(), palette().window());
    auto change = std::lower_bound(m_diff->changes.begin(), m_diff->changes.end(), first);
    for (int r = first; r < last; ++r) {
        const DiffRow row = m_diff->row(r);
        const QByteArray leftLine = row.left < 0 ? QByteArray() : m_diff->left.line(row.left);
        const QByteArray rightLine = row.right < 0 ? QByteArray() : m_diff->right.line(row.right);
        const QString left = row.left < 0 ? QString() : shownText(lineShown(false, row.left));
        const QString right = row.right < 0 ? QString() : shownText(lineShown(true, row.right));
        // Lines equal only under the ignore options differ faintly.
        const Shade shade = row.kind != DiffRow::Same                      ? Shade::Changed
                            : m_diff->ignore != 0 && leftLine != rightLine ? Shade::Ignored
                                                                           : Shade::Same;
        std::pair<std::vector<CharSpan>, std::vector<CharSpan>> marks, strong;
        if (row.kind == DiffRow::Changed || shade == Shade::Ignored) {
            marks = diffChars(left, right);
            strong = m_diff->ignore == 0 ? marks : diffChars(left, right, m_diff->ignore);
        }
        const int y = (r - first) * m_rowHeight;
        const bool current = r >= currentFrom && r < currentTo;
        paintCell(p, {0, y, leftEnd(), m_rowHeight}, shade, current,
                  {false, row.left, m_diff->left.count(), left, marks.first, strong.first});
        paintCell(p, {rightStart(), y, viewport()->width() - rightStart(), m_rowHeight}, shade,
                  current,
                  {true, row.right, m_diff->right.count(), right, marks.second, strong.second});
        if (change != m_diff->changes.end() && *change == r) {
            paintArrows(p, int(change - m_diff->changes.begin()), y);
            ++change;
        }
    }
    const int shown = (last - first) * m_rowHeight;
    if (shown < viewport()->height()) { // below the last row, the gutters go on
        for (const auto& [x, lines] :
             {std::pair{0, m_diff->left.count()}, std::pair{rightStart(), m_diff->right.count()}})
            p.fillRect(x, shown, gutterWidth(lines), viewport()->height() - shown,
                       palette().alternateBase());
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(leftEnd(), 0, leftEnd(), viewport()->height());
    p.drawLine(rightStart() - 1, 0, rightStart() - 1, viewport()->height());
}

void DiffArea::paintArrows(QPainter& p, int change, int y) {
    // Two small triangles: the left one takes the change right, the other left.
    const int mid = viewport()->width() / 2, size = m_rowHeight / 2 - 1;
    const QColor colour =
        palette().color(change == m_currentChange ? QPalette::Highlight : QPalette::WindowText);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    const int cy = y + m_rowHeight / 2;
    for (const int dir : {1, -1}) { // pointing right left of the middle, and left right of it
        const int tip = mid - dir * 2;
        const int back = tip - dir * size * 2;
        QPainterPath path;
        path.moveTo(tip, cy);
        path.lineTo(back, cy - size);
        path.lineTo(back, cy + size);
        path.closeSubpath();
        p.drawPath(path);
    }
    p.restore();
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
    const double faint = 1.0 / 3;
    const double strength = shade == Shade::Changed ? 1.0 : faint;
    if (shade != Shade::Same)
        p.fillRect(textRect, tint(base, highlight, 0.2 * strength));
    p.setPen(mixedColour(text, base, 0.45));
    p.drawText(QRect(cell.x(), cell.y(), gutter - 4, cell.height()),
               Qt::AlignRight | Qt::AlignVCenter, QString::number(c.line + 1));

    QTextOption option;
    option.setTabStopDistance(8.0 * m_charWidth);
    option.setWrapMode(QTextOption::NoWrap);
    QTextLayout layout(c.text, font());
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    const auto mark = [&](const std::vector<CharSpan>& spans, double share) {
        for (const CharSpan& s : spans) {
            QTextLayout::FormatRange range{s.start, s.length, {}};
            range.format.setBackground(tint(base, highlight, share));
            formats << range;
        }
    };
    mark(c.marks, 0.5 * faint);
    if (shade == Shade::Changed)
        mark(c.strong, 0.5);
    // The selection, in shown columns.
    const auto [from, to] = selection();
    const bool hasCaret = m_caret.right == c.right && m_caret.line == c.line && hasFocus();
    QString editable;
    bool edited = false; // `editable` made
    if (from != to && from.right == c.right && c.line >= from.line && c.line <= to.line) {
        editable = lineEditable(c.right, c.line);
        edited = true;
        const qsizetype a = c.line == from.line ? shownColumn(editable, from.column) : 0;
        const qsizetype b =
            c.line == to.line ? shownColumn(editable, to.column) : c.text.size() + 1;
        QTextLayout::FormatRange range{int(a), int(b - a), {}};
        range.format.setBackground(pal.color(QPalette::Highlight));
        range.format.setForeground(pal.color(QPalette::HighlightedText));
        formats << range;
    }
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    p.setClipRect(textRect, Qt::IntersectClip);
    p.setPen(text);
    const QPointF origin(textRect.x() + 4 - horizontalScrollBar()->value(), cell.y() + 1);
    layout.draw(&p, origin);
    if (hasCaret) {
        if (!edited)
            editable = lineEditable(c.right, c.line);
        const qreal x = origin.x() + line.cursorToX(int(shownColumn(editable, m_caret.column)));
        p.fillRect(QRectF(x, cell.y() + 1, 2, cell.height() - 2), text);
    }
    p.restore();
}

QByteArray DiffArea::lineShown(bool right, int line) const {
    const EditedText& t = text(right);
    if (line < 0 || line >= t.count())
        return {};
    QByteArray bytes = t.line(line);
    if (t.key(line).ends_with("\r\n"))
        bytes.chop(1);
    return bytes;
}

QString DiffArea::lineEditable(bool right, int line) const {
    const QByteArray bytes = lineShown(right, line);
    return editableText(bytes.size() > shownBytes ? bytes.left(shownBytes) : bytes);
}

int DiffArea::characterStart(bool right, int line, int column) const {
    const QString editable = lineEditable(right, line);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, editable);
    graphemes.setPosition(std::clamp(column, 0, int(editable.size())));
    if (!graphemes.isAtBoundary())
        graphemes.toPreviousBoundary();
    return int(std::max<qsizetype>(0, graphemes.position()));
}

int DiffArea::lineLength(bool right, int line) const {
    return int(lineEditable(right, line).size());
}

void DiffArea::setCaret(Caret caret, bool select) {
    m_caret = caret;
    if (!select)
        m_anchor = caret;
    ensureCaretShown();
    viewport()->update();
}

std::pair<Caret, Caret> DiffArea::selection() const {
    if (m_anchor.right != m_caret.right)
        return {m_caret, m_caret};
    return before(m_anchor, m_caret) ? std::pair{m_anchor, m_caret} : std::pair{m_caret, m_anchor};
}

void DiffArea::ensureCaretShown() {
    if (!m_diff)
        return;
    const int row = m_caret.line < text(m_caret.right).count()
                        ? m_diff->rowOf(m_caret.right, m_caret.line)
                        : m_diff->rowCount;
    QScrollBar* rows = verticalScrollBar();
    if (row < rows->value())
        rows->setValue(row);
    else if (row >= rows->value() + visibleRows())
        rows->setValue(row - visibleRows() + 1);
    const int x =
        int(shownColumn(lineEditable(m_caret.right, m_caret.line), m_caret.column)) * m_charWidth;
    const int width = leftEnd() - gutterWidth(text(m_caret.right).count()) - 8;
    QScrollBar* across = horizontalScrollBar();
    if (x < across->value())
        across->setValue(x);
    else if (x > across->value() + width)
        across->setValue(x - width);
}

Caret DiffArea::moved(int key, bool control) const {
    const EditedText& t = text(m_caret.right);
    // After a last line that ends in a newline comes an empty place to type.
    const int lastLine =
        t.count() == 0 || t.key(t.count() - 1).ends_with('\n') ? t.count() : t.count() - 1;
    Caret c = m_caret;
    const auto toLine = [&](int line) {
        c.line = std::clamp(line, 0, lastLine);
        c.column = characterStart(c.right, c.line, c.column);
    };
    // A step is a whole character: an emoji's two UTF-16 units, a letter
    // with its combining marks.
    const auto step = [&](bool forward) {
        const QString editable = lineEditable(c.right, c.line);
        QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, editable);
        graphemes.setPosition(c.column);
        return int(forward ? graphemes.toNextBoundary() : graphemes.toPreviousBoundary());
    };
    switch (key) {
    case Qt::Key_Left:
        if (c.column > 0)
            c.column = std::max(0, step(false));
        else if (c.line > 0)
            c = {c.right, c.line - 1, lineLength(c.right, c.line - 1)};
        break;
    case Qt::Key_Right:
        if (c.column < lineLength(c.right, c.line))
            c.column = step(true);
        else if (c.line < lastLine)
            c = {c.right, c.line + 1, 0};
        break;
    case Qt::Key_Up:
        toLine(c.line - 1);
        break;
    case Qt::Key_Down:
        toLine(c.line + 1);
        break;
    case Qt::Key_PageUp:
        toLine(c.line - visibleRows());
        break;
    case Qt::Key_PageDown:
        toLine(c.line + visibleRows());
        break;
    case Qt::Key_Home:
        c = {c.right, control ? 0 : c.line, 0};
        break;
    case Qt::Key_End:
        c.line = control ? lastLine : c.line;
        c.column = lineLength(c.right, c.line);
        break;
    default:
        break;
    }
    return c;
}

Caret DiffArea::caretAt(const QPoint& at) const {
    const bool right = at.x() >= rightStart();
    const EditedText& t = text(right);
    if (m_diff->rowCount == 0)
        return {right, 0, 0};
    const int r = std::clamp(topRow() + at.y() / m_rowHeight, 0, m_diff->rowCount - 1);
    const DiffRow row = m_diff->row(r);
    int line = right ? row.right : row.left;
    if (line < 0) { // blank space: the place before the side's next line
        const auto k = size_t(std::upper_bound(m_diff->changes.begin(), m_diff->changes.end(), r) -
                              m_diff->changes.begin()) -
                       1;
        const Hunk& h = m_diff->hunks[k];
        return {right, right ? h.right + h.rightCount : h.left + h.leftCount, 0};
    }
    const QString editable = lineEditable(right, line);
    QTextOption option;
    option.setTabStopDistance(8.0 * m_charWidth);
    option.setWrapMode(QTextOption::NoWrap);
    QTextLayout layout(shownText(lineShown(right, line)), font());
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    layout.endLayout();
    const int x0 = (right ? rightStart() : 0) + gutterWidth(t.count()) + 4;
    const int shown = textLine.xToCursor(at.x() - x0 + horizontalScrollBar()->value());
    return {right, line,
            characterStart(right, line,
                           int(std::min(editableColumn(editable, shown), editable.size())))};
}

void DiffArea::mousePressEvent(QMouseEvent* event) {
    if (!m_diff || event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    const QPoint at = event->position().toPoint();
    if (at.x() > leftEnd() && at.x() < rightStart()) { // an arrow's row?
        const int r = topRow() + at.y() / m_rowHeight;
        const auto k = std::lower_bound(m_diff->changes.begin(), m_diff->changes.end(), r);
        if (k != m_diff->changes.end() && *k == r)
            Q_EMIT takeRequested(int(k - m_diff->changes.begin()),
                                 at.x() < viewport()->width() / 2);
        return;
    }
    setCaret(caretAt(at), event->modifiers() & Qt::ShiftModifier);
}

void DiffArea::mouseMoveEvent(QMouseEvent* event) {
    if (!m_diff || !(event->buttons() & Qt::LeftButton))
        return;
    Caret c = caretAt(event->position().toPoint());
    if (c.right == m_anchor.right)
        setCaret(c, true);
}

void DiffArea::keyPressEvent(QKeyEvent* event) {
    if (!m_diff)
        return QAbstractScrollArea::keyPressEvent(event);
    const auto mods = event->modifiers();
    const bool control = mods & Qt::ControlModifier;
    if (isNavigation(event->key()) && !(mods & Qt::AltModifier)) {
        setCaret(moved(event->key(), control), mods & Qt::ShiftModifier);
        return;
    }
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return deleteChar(event->key() == Qt::Key_Delete);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        return insertText(QStringLiteral("\n"));
    const QString typed = event->text();
    if (!control && !(mods & Qt::AltModifier) && !typed.isEmpty() &&
        (typed[0].isPrint() || typed[0] == QLatin1Char('\t')))
        return insertText(typed);
    QAbstractScrollArea::keyPressEvent(event); // F7, Esc and the like go to the window
}

void DiffArea::deleteChar(bool forward) {
    const auto [from, to] = selection();
    if (from == to) {
        const Caret next = moved(forward ? Qt::Key_Right : Qt::Key_Left, false);
        if (next == m_caret)
            return;
        m_anchor = next;
    }
    insertText(QString());
}

void DiffArea::insertText(const QString& typed) {
    insertBytes(editedBytes(typed));
}

void DiffArea::insertBytes(QByteArray added, bool ownEnds) {
    if (!m_diff)
        return;
    const auto [a, b] = selection();
    const EditedText& t = text(a.right);
    for (int line = a.line; line <= b.line && line < t.count(); ++line) {
        if (t.line(line).size() > shownBytes)
            return; // shown cut, so not edited
    }
    if (!ownEnds)
        added.replace("\r\n", "\n");
    // Bytes, not text, on either side of the caret: whatever the line
    // holds that is not UTF-8 stays as it was.
    const QByteArray head = editedBytes(QStringView(lineEditable(a.right, a.line)).left(a.column));
    const QByteArray tail = editedBytes(QStringView(lineEditable(b.right, b.line)).mid(b.column));
    const QByteArray lineEnd =
        a.line < t.count() && t.key(a.line).ends_with('\n') ? endingOf(t.key(a.line)) : t.lineEnd();
    const QByteArray end = b.line < t.count() ? endingOf(t.key(b.line)) : QByteArray();
    QByteArrayList parts = (head + added).split('\n');
    QByteArray bytes;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        QByteArray& part = parts[i];
        const bool crlf = ownEnds && part.endsWith('\r');
        bytes += part.left(part.size() - crlf) + (!ownEnds ? lineEnd
                                                  : crlf   ? QByteArray("\r\n")
                                                           : QByteArray("\n"));
    }
    const int column = int(editableText(parts.last()).size());
    bytes += parts.last() + tail + end;
    TextEdit edit{a.right,
                  a.line,
                  std::max(0, std::min(b.line + 1, t.count()) - a.line),
                  bytes,
                  {a.right, a.line + int(parts.size()) - 1, column}};
    Q_EMIT editRequested(edit);
}

QByteArray DiffArea::selectedBytes() const {
    const auto [a, b] = selection();
    if (!m_diff || a == b)
        return {};
    const EditedText& t = text(a.right);
    QByteArray bytes;
    for (int line = a.line; line <= b.line; ++line) {
        const QString editable = lineEditable(a.right, line);
        const int from = line == a.line ? a.column : 0;
        const int to = line == b.line ? b.column : int(editable.size());
        bytes += editedBytes(QStringView(editable).mid(from, to - from));
        if (line < b.line)
            bytes += line < t.count() ? endingOf(t.key(line)) : QByteArray("\n");
    }
    return bytes;
}

void DiffArea::selectAll() {
    if (!m_diff)
        return;
    m_anchor = {m_caret.right, 0, 0};
    m_caret = {m_caret.right, text(m_caret.right).count(), 0};
    m_caret = moved(Qt::Key_End, true);
    viewport()->update();
}
