#include "core/text_diff.h"

#include "core/content_check.h"
#include "core/file_system.h"
#include "core/name_text.h"
#include "core/unique_fd.h"

#include <QLocale>
#include <algorithm>
#include <cstring>
#include <dtl/dtl.hpp>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace {

// The edit script of two sequences, as dtl finds it: each step's type and
// its 0-based index on each side (-1 on the side it is not on).
struct Edit {
    dtl::edit_t type;
    qsizetype a, b;
};

template <typename T>
std::vector<Edit> editScript(const std::vector<T>& a, const std::vector<T>& b) {
    std::vector<Edit> edits;
    if (a.empty() || b.empty()) { // all of one side, nothing for dtl to find
        for (size_t i = 0; i < a.size(); ++i)
            edits.push_back({dtl::SES_DELETE, qsizetype(i), -1});
        for (size_t i = 0; i < b.size(); ++i)
            edits.push_back({dtl::SES_ADD, -1, qsizetype(i)});
        return edits;
    }
    dtl::Diff<T, std::vector<T>> diff(a, b);
    diff.compose();
    for (const auto& [elem, info] : diff.getSes().getSequence())
        edits.push_back({info.type, qsizetype(info.beforeIdx) - 1, qsizetype(info.afterIdx) - 1});
    return edits;
}

// Runs of neighbouring positions, as spans.
std::vector<CharSpan> spansOf(const std::vector<int>& positions) {
    std::vector<CharSpan> spans;
    for (const int p : positions) {
        if (!spans.empty() && spans.back().start + spans.back().length == p)
            ++spans.back().length;
        else
            spans.push_back({p, 1});
    }
    return spans;
}

// Middles whose lengths multiply to more than this are marked whole: the
// character script of two long lines unlike each other costs up to their
// product in time and memory.
constexpr qint64 largestCharDiff = 1000 * 1000;

constexpr qsizetype binaryProbe = 8192;

// Numbers distinct lines in the order first seen: an open-addressing table
// of line numbers, with no allocation per line.
class LineNumbering {
public:
    explicit LineNumbering(size_t lines) {
        size_t capacity = 16;
        while (capacity < 2 * lines)
            capacity *= 2;
        m_slots.assign(capacity, -1);
    }
    int idOf(std::string_view line) {
        const size_t hash = std::hash<std::string_view>()(line);
        for (size_t i = hash & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const int id = m_slots[i];
            if (id < 0) {
                m_slots[i] = int(m_keys.size());
                m_keys.push_back({line, hash});
                return m_slots[i];
            }
            if (m_keys[size_t(id)].hash == hash && m_keys[size_t(id)].line == line)
                return id;
        }
    }
    size_t size() const { return m_keys.size(); }

private:
    struct Key {
        std::string_view line;
        size_t hash;
    };
    std::vector<int> m_slots;
    std::vector<Key> m_keys;
};

} // namespace

QByteArray LineDiff::leftLine(int line) const {
    const LineSpan& s = leftLines[size_t(line)];
    return QByteArray::fromRawData(leftData.constData() + s.start, s.length);
}

QByteArray LineDiff::rightLine(int line) const {
    const LineSpan& s = rightLines[size_t(line)];
    return QByteArray::fromRawData(rightData.constData() + s.start, s.length);
}

std::vector<LineSpan> splitLines(const QByteArray& data) {
    std::vector<LineSpan> lines;
    const char* begin = data.constData();
    const char* end = begin + data.size();
    for (const char* p = begin; p < end;) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        lines.push_back({p - begin, stop - p});
        p = nl ? nl + 1 : end;
    }
    return lines;
}

LineDiff diffLines(QByteArray left, QByteArray right) {
    LineDiff d;
    d.leftData = std::move(left);
    d.rightData = std::move(right);
    d.leftLines = splitLines(d.leftData);
    d.rightLines = splitLines(d.rightData);

    // Each distinct line becomes a number, so the script compares numbers.
    // The newline is part of the key: a last line without one differs.
    LineNumbering ids(d.leftLines.size() + d.rightLines.size());
    auto numbered = [&ids](const QByteArray& data, const std::vector<LineSpan>& lines) {
        std::vector<int> out;
        out.reserve(lines.size());
        for (const LineSpan& s : lines) {
            const bool newline = s.start + s.length < data.size();
            out.push_back(ids.idOf({data.constData() + s.start, size_t(s.length + newline)}));
        }
        return out;
    };
    const std::vector<int> a = numbered(d.leftData, d.leftLines);
    const std::vector<int> b = numbered(d.rightData, d.rightLines);

    // A line found on one side only can never face an equal line, so the
    // script sees only the lines that occur on both sides: the same longest
    // common lines at a fraction of the cost when many lines changed.
    std::vector<int> countA(ids.size()), countB(ids.size());
    for (const int id : a)
        ++countA[size_t(id)];
    for (const int id : b)
        ++countB[size_t(id)];
    std::vector<int> keptA, keptB, whereA, whereB; // the lines kept, and their places
    for (size_t i = 0; i < a.size(); ++i) {
        if (countB[size_t(a[i])] > 0) {
            keptA.push_back(a[i]);
            whereA.push_back(int(i));
        }
    }
    for (size_t j = 0; j < b.size(); ++j) {
        if (countA[size_t(b[j])] > 0) {
            keptB.push_back(b[j]);
            whereB.push_back(int(j));
        }
    }

    // Between two common lines, the left side's lines were removed and the
    // right side's added; they face each other in order.
    d.rows.reserve(std::max(a.size(), b.size()));
    int nextA = 0, nextB = 0;
    auto commonLine = [&](int i, int j) {
        if (i > nextA || j > nextB)
            d.changes.push_back(int(d.rows.size()));
        d.linesRemoved += i - nextA;
        d.linesAdded += j - nextB;
        for (int k = 0; k < std::max(i - nextA, j - nextB); ++k) {
            DiffRow row;
            row.left = nextA + k < i ? nextA + k : -1;
            row.right = nextB + k < j ? nextB + k : -1;
            row.kind = row.left < 0    ? DiffRow::Added
                       : row.right < 0 ? DiffRow::Removed
                                       : DiffRow::Changed;
            if (row.kind == DiffRow::Changed) {
                row.marks = int(d.marks.size());
                d.marks.push_back(
                    diffChars(lineText(d.leftLine(row.left)), lineText(d.rightLine(row.right))));
            }
            d.rows.push_back(row);
        }
        if (i < int(a.size()))
            d.rows.push_back({i, j});
        nextA = i + 1;
        nextB = j + 1;
    };
    for (const Edit& e : editScript(keptA, keptB)) {
        if (e.type == dtl::SES_COMMON)
            commonLine(whereA[size_t(e.a)], whereB[size_t(e.b)]);
    }
    commonLine(int(a.size()), int(b.size())); // the changes after the last common line
    return d;
}

std::pair<std::vector<CharSpan>, std::vector<CharSpan>> diffChars(const QString& left,
                                                                  const QString& right) {
    const int n = int(left.size()), m = int(right.size());
    int head = 0;
    while (head < n && head < m && left[head] == right[head])
        ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head && left[n - 1 - tail] == right[m - 1 - tail])
        ++tail;
    const int midA = n - head - tail, midB = m - head - tail;
    if (midA == 0 || midB == 0 || qint64(midA) * midB > largestCharDiff) {
        auto whole = [](int from, int length) {
            return length > 0 ? std::vector<CharSpan>{{from, length}} : std::vector<CharSpan>{};
        };
        return {whole(head, midA), whole(head, midB)};
    }
    const std::vector<char16_t> a(left.utf16() + head, left.utf16() + head + midA);
    const std::vector<char16_t> b(right.utf16() + head, right.utf16() + head + midB);
    std::vector<int> removed, added;
    for (const Edit& e : editScript(a, b)) {
        if (e.type == dtl::SES_DELETE)
            removed.push_back(head + int(e.a));
        else if (e.type == dtl::SES_ADD)
            added.push_back(head + int(e.b));
    }
    return {spansOf(removed), spansOf(added)};
}

QString diffSummary(const LineDiff& diff) {
    if (diff.changes.empty())
        return QStringLiteral("The files are identical");
    const QLocale locale;
    const auto changes = qsizetype(diff.changes.size());
    return QStringLiteral("%1 %2 · %3 %4 added · %5 removed")
        .arg(locale.toString(changes),
             changes == 1 ? QStringLiteral("change") : QStringLiteral("changes"))
        .arg(locale.toString(diff.linesAdded),
             diff.linesAdded == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
        .arg(locale.toString(diff.linesRemoved));
}

QString FileComparison::binaryText() const {
    if (firstDifference < 0)
        return QStringLiteral("Binary files are identical");
    return QStringLiteral("Binary files differ at byte %1")
        .arg(QLocale().toString(firstDifference));
}

namespace {

// Opens a regular file for reading; throws FsError.
int openRegular(const QByteArray& path) {
    // Non-blocking, so a pipe at the name cannot hang the open.
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw FsError::fromErrno(errno, nameText(path));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FsError(EINVAL, nameText(path), QStringLiteral("not a regular file"));
    }
    ::fcntl(fd, F_SETFL, 0);
    return fd;
}

// The whole file from its start; throws FsError.
QByteArray readAll(int fd, const QByteArray& path, const std::atomic<bool>& cancel) {
    struct stat st {};
    ::fstat(fd, &st);
    QByteArray data;
    data.resize(qsizetype(st.st_size) + 1); // one more: the file may have grown
    qsizetype got = 0;
    for (;;) {
        if (got == data.size())
            data.resize(data.size() * 2);
        const ssize_t n = readBlock(fd, data.data() + got, size_t(data.size() - got));
        if (n < 0)
            throw FsError::fromErrno(errno, nameText(path));
        got += n;
        if (got < data.size() || cancel.load(std::memory_order_relaxed))
            break;
    }
    data.truncate(got);
    return data;
}

bool holdsNul(int fd) {
    char probe[binaryProbe];
    const ssize_t n = ::pread(fd, probe, sizeof probe, 0);
    return n > 0 && std::memchr(probe, 0, size_t(n)) != nullptr;
}

} // namespace

FileComparison compareFiles(const QByteArray& leftPath, const QByteArray& rightPath,
                            const std::atomic<bool>& cancel) {
    FileComparison result;
    try {
        const UniqueFd left(openRegular(leftPath));
        const UniqueFd right(openRegular(rightPath));
        result.binary = holdsNul(left.fd) || holdsNul(right.fd);
        if (result.binary) {
            const ContentVerdict verdict =
                compareOpenFiles(left.fd, right.fd, cancel, &result.firstDifference);
            if (verdict == ContentVerdict::Unreadable)
                throw FsError::fromErrno(errno, nameText(leftPath) + QStringLiteral(", ") +
                                                    nameText(rightPath));
            return result;
        }
        QByteArray leftData = readAll(left.fd, leftPath, cancel);
        QByteArray rightData = readAll(right.fd, rightPath, cancel);
        if (!cancel.load())
            result.lines = diffLines(std::move(leftData), std::move(rightData));
    } catch (const FsError& e) {
        result.error = e.description();
    }
    return result;
}
