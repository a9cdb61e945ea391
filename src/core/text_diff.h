#pragma once

#include "core/line_script.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
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
};

// The largest file the view maps and compares: its lines' lengths and
// counts fit the view's numbers. Larger files go to the user's diff program.
constexpr qint64 largestComparedFile = (1LL << 32) - 1;

// A file's text and where each of its lines starts. The bytes are held, or
// mapped from the file so that a large file costs its line starts only.
class TextLines {
public:
    TextLines() = default;
    // Splits at "\n"; a final line without a newline counts, an empty text has none.
    explicit TextLines(QByteArray bytes);
    // Maps an open regular file; throws FsError, also when it has more lines
    // than the view counts.
    static TextLines mapped(int fd, const QByteArray& path);

    int count() const { return int(m_starts.size()); }
    // Line i without its newline, pointing into the text: valid while this lives.
    QByteArray line(int i) const;
    // Line i with its newline, if it has one: a last line without differs.
    std::string_view key(int i) const;
    qint64 longestLine() const { return m_longest; }
    // Lets the system drop the pages read so far (they are read again when
    // shown), so a mapped file does not stay in the program's memory.
    void release() const;

private:
    void split();

    QByteArray m_bytes;
    std::shared_ptr<const char> m_map; // unmapped with the last copy
    const char* m_data = nullptr;
    qint64 m_size = 0;
    std::vector<qint64> m_starts;
    qint64 m_longest = 0;
};

// Differences a comparison may leave out. Lines equal but for them count as
// equal: the view shows them faintly and F7 does not stop at them.
enum Ignore : int {
    IgnoreSpaceChanges = 1, // runs of blanks compare as one, blanks at the end as none
    IgnoreAllSpace = 2,
    IgnoreLineEnds = 4, // a carriage return before the newline
    IgnoreCase = 8,
};

// A line as it is compared under `ignore` (Ignore flags): the line itself
// when nothing is ignored, else a changed copy in `buffer`.
std::string_view comparedText(std::string_view line, int ignore, std::string& buffer);

struct LineDiff {
    TextLines left, right;
    int ignore = 0;
    std::vector<Hunk> hunks;
    // The first row of each hunk, which F7 steps through.
    std::vector<int> changes;
    int rowCount = 0;
    qsizetype linesAdded = 0;
    qsizetype linesRemoved = 0;

    // Row r: equal lines face each other, and within a hunk the removed
    // lines face the added ones in order, the extra lines of the longer side
    // facing blank space.
    DiffRow row(int r) const;
};

// The rows of two texts, hunks as `diff` finds them. Lines compare as bytes.
// Once `cancel` is set the result is of no use.
LineDiff diffLines(TextLines left, TextLines right, int ignore = 0,
                   const std::atomic<bool>* cancel = nullptr);

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
                            const std::atomic<bool>& cancel, int ignore = 0);
