#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

// Two files compared line by line for the side-by-side view, or byte by byte
// when either is not text.

// A run of characters (UTF-16 positions of the shown line text).
struct CharSpan {
    int start = 0;
    int length = 0;
    bool operator==(const CharSpan&) const = default;
};

// One row of the view: the line shown on each side, -1 for blank space.
struct DiffRow {
    enum Kind : std::uint8_t { Same, Changed, Removed, Added };
    int left = -1;
    int right = -1;
    Kind kind = Same;
    int marks = -1; // index into LineDiff::marks for a Changed row
};

// A line of a file: where it starts and how long it is, without its newline.
struct LineSpan {
    qsizetype start = 0;
    qsizetype length = 0;
};

struct LineDiff {
    QByteArray leftData, rightData;
    std::vector<LineSpan> leftLines, rightLines;
    std::vector<DiffRow> rows;
    // The characters that differ within each Changed row, left then right.
    std::vector<std::pair<std::vector<CharSpan>, std::vector<CharSpan>>> marks;
    // The first row of each block of rows that are not Same.
    std::vector<int> changes;
    qsizetype linesAdded = 0;
    qsizetype linesRemoved = 0;

    QByteArray leftLine(int line) const;
    QByteArray rightLine(int line) const;
};

// Splits at "\n"; a final line without a newline counts, an empty file has none.
std::vector<LineSpan> splitLines(const QByteArray& data);

// The rows of two texts: equal lines face each other, and within a block of
// differing lines the removed lines face the added ones in order, the extra
// lines of the longer side facing blank space. Lines compare as bytes.
LineDiff diffLines(QByteArray left, QByteArray right);

// The characters that differ between two lines of text, each side's marks in
// its own positions.
std::pair<std::vector<CharSpan>, std::vector<CharSpan>> diffChars(const QString& left,
                                                                  const QString& right);

// The status line's counts: "12 changes · 40 lines added · 31 removed".
QString diffSummary(const LineDiff& diff);

// Two files compared, as the view shows them.
struct FileComparison {
    QString error;               // not empty when either file could not be read
    bool binary = false;         // a NUL in the first 8 KB of either file
    qint64 firstDifference = -1; // binary: offset of the first differing byte, -1 if identical
    LineDiff lines;              // text

    // The binary verdict: "Binary files differ at byte N" or "are identical".
    QString binaryText() const;
};

// Reads and compares two regular files; `cancel` stops the reading early
// (the result is then of no use).
FileComparison compareFiles(const QByteArray& leftPath, const QByteArray& rightPath,
                            const std::atomic<bool>& cancel);
