#include "core/text_diff.h"

#include "core/content_check.h"
#include "core/file_mapping.h"
#include "core/file_system.h"
#include "core/name_text.h"
#include "core/unique_fd.h"

#include <QLocale>
#include <algorithm>
#include <cstring>
#include <deque>
#include <dtl/dtl.hpp>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <xxhash.h>

namespace {

// The character script of two sequences, as dtl finds it: each step's type
// and its 0-based index on each side (-1 on the side it is not on).
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

// Bytes read between two releases of a mapped file's pages.
constexpr qint64 releaseEvery = 4LL * 1024 * 1024;

// Numbers distinct lines in the order first seen: an open-addressing table
// of line numbers over the text itself, with no copy of any line.
class LineNumbering {
public:
    explicit LineNumbering(size_t lines) {
        size_t capacity = 16;
        while (capacity < lines + lines / 3)
            capacity *= 2;
        m_slots.assign(capacity, -1);
    }
    // Keys of lines as compared under ignore options are not in the text:
    // the table keeps copies of them.
    bool copies = false;

    int idOf(std::string_view line) {
        const std::uint64_t hash = XXH3_64bits(line.data(), line.size());
        const auto tag = std::uint32_t(hash >> 32);
        for (size_t i = size_t(hash) & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const int id = m_slots[i];
            if (id < 0) {
                if (copies)
                    line = m_copies.emplace_back(line);
                m_slots[i] = int(m_keys.size());
                m_keys.push_back({line.data(), std::uint32_t(line.size()), tag});
                return m_slots[i];
            }
            const Key& k = m_keys[size_t(id)];
            if (k.tag == tag && k.length == line.size() &&
                std::memcmp(k.data, line.data(), line.size()) == 0)
                return id;
        }
    }
    int size() const { return int(m_keys.size()); }

private:
    struct Key {
        const char* data;
        std::uint32_t length; // a mapped file is below 4 GB
        std::uint32_t tag;    // the hash's high half, checked before the bytes
    };
    std::vector<int> m_slots;
    std::vector<Key> m_keys;
    std::deque<std::string> m_copies;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

TextLines::TextLines(QByteArray bytes)
    : m_bytes(std::move(bytes)), m_data(m_bytes.constData()), m_size(m_bytes.size()) {
    split();
}

void TextLines::split() {
    const char* end = m_data + m_size;
    qint64 released = 0;
    for (const char* p = m_data; p < end;) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        m_starts.push_back(p - m_data);
        m_longest = std::max<qint64>(m_longest, stop - p);
        p = nl ? nl + 1 : end;
        if (m_map && p - m_data - released > releaseEvery) {
            release();
            released = p - m_data;
        }
    }
    if (m_starts.size() > size_t(std::numeric_limits<int>::max()) / 2)
        throw FsError(EFBIG, QString(), QStringLiteral("too many lines"));
}

TextLines TextLines::mapped(int fd, const QByteArray& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw FsError::fromErrno(errno, nameText(path));
    TextLines text;
    if (st.st_size > largestComparedFile)
        throw FsError(EFBIG, nameText(path), QStringLiteral("too large to compare here"));
    if (st.st_size == 0)
        return text;
    const auto size = size_t(st.st_size);
    const char* at = mapFile(fd, size);
    if (!at)
        throw FsError::fromErrno(errno, nameText(path));
    text.m_map = std::shared_ptr<const char>(at, [size](const char* p) { unmapFile(p, size); });
    ::madvise(const_cast<char*>(at), size, MADV_SEQUENTIAL);
    text.m_data = text.m_map.get();
    text.m_size = qint64(size);
    try {
        text.split();
    } catch (const FsError&) {
        throw FsError(EFBIG, nameText(path), QStringLiteral("too many lines to compare here"));
    }
    ::madvise(const_cast<char*>(at), size, MADV_NORMAL);
    return text;
}

void TextLines::release() const {
    if (m_map)
        ::madvise(const_cast<char*>(m_data), size_t(m_size), MADV_DONTNEED);
}

QByteArray TextLines::line(int i) const {
    const qint64 start = m_starts[size_t(i)];
    qint64 end = size_t(i) + 1 < m_starts.size() ? m_starts[size_t(i) + 1] - 1 : m_size;
    if (end == m_size && m_size > 0 && m_data[m_size - 1] == '\n')
        --end;
    return QByteArray::fromRawData(m_data + start, end - start);
}

std::string_view TextLines::key(int i) const {
    const qint64 start = m_starts[size_t(i)];
    const qint64 end = size_t(i) + 1 < m_starts.size() ? m_starts[size_t(i) + 1] : m_size;
    return {m_data + start, size_t(end - start)};
}

DiffRow LineDiff::row(int r) const {
    // The last hunk starting at or before r, and the equal lines after it.
    const auto after = std::upper_bound(changes.begin(), changes.end(), r);
    if (after == changes.begin())
        return {r, r, DiffRow::Same};
    const size_t k = size_t(after - changes.begin()) - 1;
    const Hunk& h = hunks[k];
    const int offset = r - changes[k];
    if (offset < std::max(h.leftCount, h.rightCount)) {
        DiffRow row{offset < h.leftCount ? h.left + offset : -1,
                    offset < h.rightCount ? h.right + offset : -1, DiffRow::Changed};
        row.kind = row.left < 0 ? DiffRow::Added : row.right < 0 ? DiffRow::Removed : row.kind;
        return row;
    }
    const int past = offset - std::max(h.leftCount, h.rightCount);
    return {h.left + h.leftCount + past, h.right + h.rightCount + past, DiffRow::Same};
}

std::string_view comparedText(std::string_view line, int ignore, std::string& buffer) {
    if (ignore == 0)
        return line;
    buffer.clear();
    const bool newline = !line.empty() && line.back() == '\n';
    line.remove_suffix(newline);
    if (ignore & IgnoreLineEnds && !line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    bool inBlanks = false;
    for (const char c : line) {
        if (ignore & (IgnoreAllSpace | IgnoreSpaceChanges) && isBlank(c)) {
            inBlanks = true;
            continue;
        }
        if (inBlanks && !(ignore & IgnoreAllSpace))
            buffer += ' ';
        inBlanks = false;
        buffer += c;
    }
    if (ignore & IgnoreCase) {
        const QByteArray bytes = QByteArray::fromRawData(buffer.data(), qsizetype(buffer.size()));
        const QString text = QString::fromUtf8(bytes);
        if (text.toUtf8() == bytes) { // text: folded as Unicode says
            const QByteArray folded = text.toCaseFolded().toUtf8();
            buffer.assign(folded.constData(), size_t(folded.size()));
        } else { // stray bytes: only the ASCII letters
            for (char& c : buffer)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        }
    }
    if (newline)
        buffer += '\n';
    return buffer;
}

LineDiff diffLines(TextLines left, TextLines right, int ignore, const std::atomic<bool>* cancel) {
    LineDiff d;
    d.left = std::move(left);
    d.right = std::move(right);
    d.ignore = ignore;

    // Each distinct line becomes a number, so the search compares numbers.
    std::vector<int> a(size_t(d.left.count())), b(size_t(d.right.count()));
    int distinct = 0;
    {
        LineNumbering ids(a.size() + b.size());
        ids.copies = ignore != 0;
        std::string buffer;
        qint64 read = 0;
        for (auto [text, out] : {std::pair{&d.left, &a}, std::pair{&d.right, &b}}) {
            for (int i = 0; i < text->count(); ++i) {
                const std::string_view key = text->key(i);
                (*out)[size_t(i)] = ids.idOf(comparedText(key, ignore, buffer));
                read += qint64(key.size());
                if (read > releaseEvery) { // both: lines of either are looked at
                    if (cancel && cancel->load(std::memory_order_relaxed))
                        return d;
                    d.left.release();
                    d.right.release();
                    read = 0;
                }
            }
        }
        distinct = ids.size();
    }
    d.left.release();
    d.right.release();
    d.hunks = lineHunks(a, b, distinct);

    int rows = 0, nextLeft = 0;
    for (const Hunk& h : d.hunks) {
        rows += h.left - nextLeft; // the equal lines before it
        d.changes.push_back(rows);
        rows += std::max(h.leftCount, h.rightCount);
        nextLeft = h.left + h.leftCount;
        d.linesRemoved += h.leftCount;
        d.linesAdded += h.rightCount;
    }
    d.rowCount = rows + d.left.count() - nextLeft;
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

bool holdsNul(int fd) {
    char probe[binaryProbe];
    const ssize_t n = ::pread(fd, probe, sizeof probe, 0);
    return n > 0 && std::memchr(probe, 0, size_t(n)) != nullptr;
}

} // namespace

FileComparison compareFiles(const QByteArray& leftPath, const QByteArray& rightPath,
                            const std::atomic<bool>& cancel, int ignore) {
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
        TextLines leftText = TextLines::mapped(left.fd, leftPath);
        TextLines rightText = TextLines::mapped(right.fd, rightPath);
        if (!cancel.load())
            result.lines = diffLines(std::move(leftText), std::move(rightText), ignore, &cancel);
    } catch (const FsError& e) {
        result.error = e.description();
    }
    return result;
}
