#pragma once

#include "text/text_diff.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QString>

// A place in one half's text: a line (count() for the place after the last
// line) and a column of the line's editableText().
struct Caret {
    bool right = false;
    int line = 0;
    int column = 0;
    bool operator==(const Caret&) const = default;
};

// An edit of one half: lines [from, from + count) become `bytes`, the caret
// going to `caret`.
struct TextEdit {
    bool right = false;
    int from = 0;
    int count = 0;
    QByteArray bytes;
    Caret caret;
};

// The rows of a comparison, both files side by side in one area, so the two
// halves always scroll together: line numbers, changed lines tinted from the
// palette's highlight with the differing characters marked more strongly,
// blank space hatched where the other side has lines. Between the halves
// each change has two arrows that take it to the other side. Each half is
// edited in place: the area turns keys, mouse and clipboard into edits for
// its owner to make.
class DiffArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit DiffArea(QWidget* parent = nullptr);

    void setDiff(const LineDiff* diff, const QString& message);
    // The change shown as current (its rows get a bar beside them), -1 for none.
    void setCurrentChange(int change);
    int topRow() const;
    int visibleRows() const;
    int rowHeight() const { return m_rowHeight; }

    const Caret& caret() const { return m_caret; }
    // Moves the caret (and with `select` the end of the selection) there.
    void setCaret(Caret caret, bool select = false);
    // The selected bytes of the caret's half, each line but the last with
    // its own line ending.
    QByteArray selectedBytes() const;
    // Edits the caret's half: the selection (if any) replaced by `text`,
    // each line break in it becoming the caret line's own line ending.
    void insertText(const QString& text);
    // The same with bytes; `ownEnds`: bytes selectedBytes() gave, whose
    // line endings are kept as they are.
    void insertBytes(QByteArray bytes, bool ownEnds = false);
    void selectAll();
    // The x where each half starts and the gap between them.
    int leftEnd() const;
    int rightStart() const;

Q_SIGNALS:
    void editRequested(const TextEdit& edit);
    // An arrow between the halves was clicked: change `change` to the right or left.
    void takeRequested(int change, bool toRight);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Tab types a tab, as in any editor, rather than moving the focus.
    bool focusNextPrevChild(bool) override { return false; }

private:
    void measure();
    void updateScrollBars();
    // What one half of a row shows: its line (-1 for blank space), the
    // number of lines on its side, the text and the characters marked.
    struct Cell {
        bool right;
        int line;
        int lines;
        const QString& text;
        const std::vector<CharSpan>& marks;
        const std::vector<CharSpan>& strong;
    };
    enum class Shade { Same, Ignored, Changed };
    int gutterWidth(int lines) const;
    void paintCell(QPainter& p, const QRect& cell, Shade shade, bool current, const Cell& c);
    void paintArrows(QPainter& p, int change, int y);

    const EditedText& text(bool right) const { return right ? m_diff->right : m_diff->left; }
    // Line `line` without its line ending: a CRLF line's carriage return is
    // part of its ending, never shown.
    QByteArray lineShown(bool right, int line) const;
    QString lineEditable(bool right, int line) const;
    // A column moved back to the start of the character (grapheme) it is in.
    int characterStart(bool right, int line, int column) const;
    int lineLength(bool right, int line) const;
    Caret caretAt(const QPoint& at) const;
    Caret moved(int key, bool control) const;
    void ensureCaretShown();
    std::pair<Caret, Caret> selection() const; // ordered; equal when none
    void deleteChar(bool forward);

    const LineDiff* m_diff = nullptr;
    QString m_message;
    int m_currentChange = -1;
    int m_rowHeight = 1;
    int m_charWidth = 1;
    qsizetype m_longestLine = 0;
    Caret m_caret, m_anchor;
};
