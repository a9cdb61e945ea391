#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// The largest file the view maps and compares: its lines' lengths and
// counts fit the view's numbers. Larger files go to the user's diff program.
constexpr qint64 largestComparedFile = (1LL << 32) - 1;

// Bytes of a mapped file read between two releases of its pages.
constexpr qint64 releaseEvery = 4LL * 1024 * 1024;

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
    // The same for the pages of `size` bytes from `from`, within the text.
    void release(const char* from, qint64 size) const;
    // Whether the bytes still are those split: a mapped file rewritten in
    // place by another program shows its new bytes through the mapping.
    bool intact() const;
    // How many of lines [from, from + count) end in "\r\n", and in a bare "\n".
    void countEnds(int from, int count, qint64& crlf, qint64& lf) const;

private:
    void split();
    std::uint64_t digest() const;

    QByteArray m_bytes;
    std::shared_ptr<const char> m_map; // unmapped with the last copy
    const char* m_data = nullptr;
    qint64 m_size = 0;
    std::vector<qint64> m_starts;
    qint64 m_longest = 0;
    // The lines ending otherwise than the first (CRLF or LF), in order: none
    // in a file of one kind, so telling any run of lines' endings is cheap.
    std::vector<int> m_otherEnds;
    bool m_firstCrlf = false;
    std::uint64_t m_digest = 0;
};

// The line endings of a text: "LF", "CRLF" or "mixed" (empty for none).
enum class LineEnds { None, Lf, Crlf, Mixed };

// A text as the file view edits it: runs of lines taken from texts that
// never change (the file as mapped, the other file, lines typed), so an edit
// of a mapped file copies only the lines it touches and every line left
// alone keeps its bytes exactly.
class EditedText {
public:
    EditedText() = default;
    EditedText(TextLines text); // NOLINT: a text unedited
    explicit EditedText(std::shared_ptr<const TextLines> text);

    int count() const { return m_lines; }
    // Line i without its line ending's "\n"; `key` with it, as TextLines.
    QByteArray line(int i) const;
    std::string_view key(int i) const;
    // The longest line of the texts drawn from: an upper bound.
    qint64 longestLine() const;
    void release() const;

    // "\r\n" when the text's first line ends so, else "\n".
    QByteArray lineEnd() const;
    LineEnds lineEnds() const;
    // Lines [from, from + count) become `lines`, each with its line ending
    // but perhaps the last; a last line without one that comes to stand
    // before other lines gets this text's ending.
    void replace(int from, int count, const EditedText& lines);
    // Lines [from, from + count) become the lines of `bytes`.
    void replace(int from, int count, const QByteArray& bytes);
    // Lines [from, from + count), sharing the texts drawn from.
    EditedText slice(int from, int count) const;
    // The same lines ending in `end` ("\n" or "\r\n"): copies of the lines
    // that end otherwise, the others shared.
    EditedText withLineEnd(const QByteArray& end) const;
    // Whether any of its lines are read from `text`.
    bool drawsFrom(const TextLines* text) const;
    QByteArray bytes() const; // the whole text (small texts)
    // Writes the whole text to `fd`; false with errno on failure.
    bool write(int fd) const;

private:
    struct Piece {
        std::shared_ptr<const TextLines> text;
        int from = 0;
        int count = 0;
    };
    size_t pieceOf(int line) const;
    void renumber();

    std::vector<Piece> m_pieces;
    std::vector<int> m_ends; // the line after each piece
    int m_lines = 0;
};
