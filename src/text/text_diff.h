#pragma once

#include "fs/trash.h"
#include "fs/unique_fd.h"
#include "text/edited_text.h"
#include "text/line_script.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <sys/stat.h>
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
    EditedText left, right;
    int ignore = 0;
    std::vector<Hunk> hunks;
    // The first row of each hunk, which F7 steps through.
    std::vector<int> changes;
    int rowCount = 0;
    qsizetype linesAdded = 0;
    qsizetype linesRemoved = 0;

    // Hunks made of edited lines and the hunks they touched, to be compared
    // again (comparePending); indexes into `hunks`, in order.
    std::vector<int> pending;

    // Row r: equal lines face each other, and within a hunk the removed
    // lines face the added ones in order, the extra lines of the longer side
    // facing blank space.
    DiffRow row(int r) const;
    // The row of a line of one side.
    int rowOf(bool rightSide, int line) const;
    // The rows and counts again, from the hunks.
    void recount();
    // Lines [from, from + removed) of one side have become `added` lines (the
    // text already holds them): they and the hunks they touch are one
    // pending hunk, the equal lines around it still facing each other.
    void edited(bool rightSide, int from, int removed, int added);
    // The pending hunks replaced by what comparePending found in them.
    void settle(const std::vector<std::vector<Hunk>>& parts);
};

// The rows of two texts, hunks as `diff` finds them. Lines compare as bytes.
// Once `cancel` is set the result is of no use.
LineDiff diffLines(EditedText left, EditedText right, int ignore = 0,
                   const std::atomic<bool>* cancel = nullptr);

// Each pending hunk of `d` compared within its own lines, as diffLines
// would: the hunks found in it, in the order of `d.pending`. Only reads `d`,
// so it runs on a copy off the window's thread.
std::vector<std::vector<Hunk>> comparePending(const LineDiff& d,
                                              const std::atomic<bool>* cancel = nullptr);

// The characters that differ between two lines of text, each side's marks in
// its own positions.
std::pair<std::vector<CharSpan>, std::vector<CharSpan>> diffChars(const QString& left,
                                                                  const QString& right);

// The characters that differ other than in what `ignore` leaves out
// (Ignore flags): the marks that show at full strength.
std::pair<std::vector<CharSpan>, std::vector<CharSpan>> diffChars(const QString& left,
                                                                  const QString& right, int ignore);

// The status line's counts: "12 changes · 40 lines added · 31 removed".
QString diffSummary(const LineDiff& diff);

// A file as the view read it. Its folder stays open, so a save reaches the
// folder the file was read from whatever is renamed above it; the file read
// stays open (and mapped, for its text), its bytes checked against those
// split whenever its change time has moved.
struct ReadFile {
    QByteArray path; // as given, for messages
    std::shared_ptr<const UniqueFd> folder;
    QByteArray name;     // in `folder`
    QByteArray reached;  // the folder's path when it was opened, and the name
    struct stat seen {}; // what stands at the name: as read, or as saved last
    std::shared_ptr<const UniqueFd> file;
    struct stat held {}; // the file read, when its bytes were last known as read
    std::shared_ptr<const TextLines> text;
};

// Holds open the folder of `path` (its own links followed) as `file`'s folder,
// the last name of `path` its name.
FsResult openFolderOf(const QByteArray& path, ReadFile& file);

// Two files compared, as the view shows them.
struct FileComparison {
    QString error;                // not empty when either file could not be read
    bool binary = false;          // a NUL in the first 8 KB of either file
    qint64 firstDifference = -1;  // binary: offset of the first differing byte, -1 if identical
    LineDiff lines;               // text
    ReadFile leftFile, rightFile; // the files as they were read

    // The binary verdict: "Binary files differ at byte N" or "are identical".
    QString binaryText() const;
};

// Reads and compares two regular files; `cancel` stops the reading early
// (the result is then of no use).
FileComparison compareFiles(const QByteArray& leftPath, const QByteArray& rightPath,
                            const std::atomic<bool>& cancel, int ignore = 0);
