#include "text/text_diff.h"

#include "base/name_text.h"
#include "compare/content_check.h"
#include "fs/file_mapping.h"
#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <QLocale>
#include <algorithm>
#include <climits>
#include <cstdlib>
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

// Numbers distinct lines in the order first seen: an open-addressing table
// of line numbers over the text itself, with no copy of any line.
class LineNumbering {
public:
    LineNumbering(const EditedText& left, const EditedText& right) : m_texts{&left, &right} {
        const auto lines = size_t(left.count()) + size_t(right.count());
        size_t capacity = 16;
        while (capacity < lines + lines / 3)
            capacity *= 2;
        m_slots.assign(capacity, -1);
    }
    // Keys of lines as compared under ignore options are not in the text:
    // the table keeps copies of them.
    bool copies = false;

    // The number of `line` of one side, compared as `key`.
    int idOf(std::string_view key, bool rightSide, int line) {
        const std::uint64_t hash = XXH3_64bits(key.data(), key.size());
        const auto tag = std::uint32_t(hash >> 32);
        for (size_t i = size_t(hash) & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const int id = m_slots[i];
            if (id < 0) {
                std::uint32_t at = std::uint32_t(line) | (rightSide ? sideBit : 0);
                if (copies) {
                    at = std::uint32_t(m_copies.size());
                    m_copies.emplace_back(key);
                }
                m_slots[i] = int(m_keys.size());
                m_keys.push_back({at, tag});
                return m_slots[i];
            }
            const Key& k = m_keys[size_t(id)];
            if (k.tag == tag && keyOf(k) == key)
                return id;
        }
    }
    int size() const { return int(m_keys.size()); }

private:
    // A line's place, not its bytes: 8 bytes a distinct line, so numbering
    // the lines of two large files costs less than a tenth of their size.
    struct Key {
        std::uint32_t at;  // a copy's index, or a line with its side in the top bit
        std::uint32_t tag; // the hash's high half, checked before the bytes
    };
    static constexpr std::uint32_t sideBit = 1U << 31; // a text has fewer lines
    std::string_view keyOf(const Key& k) const {
        if (copies)
            return m_copies[k.at];
        return m_texts[k.at >> 31]->key(int(k.at & ~sideBit));
    }
    const EditedText* m_texts[2];
    std::vector<int> m_slots;
    std::vector<Key> m_keys;
    std::deque<std::string> m_copies;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

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
    // Ignoring line endings, a last line without one is no different.
    if (newline && !(ignore & IgnoreLineEnds))
        buffer += '\n';
    return buffer;
}

namespace {

// The hunks of two texts; nothing once `cancel` is set.
std::vector<Hunk> hunksOf(const EditedText& left, const EditedText& right, int ignore,
                          const std::atomic<bool>* cancel) {
    // Each distinct line becomes a number, so the search compares numbers.
    std::vector<int> a(size_t(left.count())), b(size_t(right.count()));
    int distinct = 0;
    {
        LineNumbering ids(left, right);
        ids.copies = ignore != 0;
        std::string buffer;
        qint64 read = 0;
        for (auto [text, out] : {std::pair{&left, &a}, std::pair{&right, &b}}) {
            for (int i = 0; i < text->count(); ++i) {
                const std::string_view key = text->key(i);
                (*out)[size_t(i)] = ids.idOf(comparedText(key, ignore, buffer), text == &right, i);
                read += qint64(key.size());
                if (read > releaseEvery) { // both: lines of either are looked at
                    if (cancel && cancel->load(std::memory_order_relaxed))
                        return {};
                    left.release();
                    right.release();
                    read = 0;
                }
            }
        }
        distinct = ids.size();
    }
    left.release();
    right.release();
    return lineHunks(a, b, distinct);
}

} // namespace

LineDiff diffLines(EditedText left, EditedText right, int ignore, const std::atomic<bool>* cancel) {
    LineDiff d;
    d.left = std::move(left);
    d.right = std::move(right);
    d.ignore = ignore;
    d.hunks = hunksOf(d.left, d.right, ignore, cancel);
    if (cancel && cancel->load())
        return d;
    d.recount();
    return d;
}

void LineDiff::recount() {
    changes.clear();
    linesAdded = linesRemoved = 0;
    int rows = 0, nextLeft = 0;
    for (const Hunk& h : hunks) {
        rows += h.left - nextLeft; // the equal lines before it
        changes.push_back(rows);
        rows += std::max(h.leftCount, h.rightCount);
        nextLeft = h.left + h.leftCount;
        linesRemoved += h.leftCount;
        linesAdded += h.rightCount;
    }
    rowCount = rows + left.count() - nextLeft;
}

int LineDiff::rowOf(bool rightSide, int line) const {
    // The last hunk starting at or before the line on that side.
    const auto after =
        std::upper_bound(hunks.begin(), hunks.end(), line,
                         [&](int l, const Hunk& h) { return l < (rightSide ? h.right : h.left); });
    if (after == hunks.begin())
        return line;
    const auto k = size_t(after - hunks.begin()) - 1;
    const Hunk& h = hunks[k];
    const int start = rightSide ? h.right : h.left, count = rightSide ? h.rightCount : h.leftCount;
    if (line < start + count)
        return changes[k] + line - start;
    return changes[k] + std::max(h.leftCount, h.rightCount) + line - start - count;
}

void LineDiff::edited(bool rightSide, int from, int removed, int added) {
    const auto start = [rightSide](const Hunk& h) { return rightSide ? h.right : h.left; };
    const auto end = [&](const Hunk& h) {
        return start(h) + (rightSide ? h.rightCount : h.leftCount);
    };
    // The hunks that touch the edited lines join them in one block.
    size_t first = 0;
    while (first < hunks.size() && end(hunks[first]) < from)
        ++first;
    size_t last = first;
    while (last < hunks.size() && start(hunks[last]) <= from + removed)
        ++last;
    int shift = 0; // the other side's lines less this side's, before the block
    for (size_t k = 0; k < first; ++k)
        shift += rightSide ? hunks[k].leftCount - hunks[k].rightCount
                           : hunks[k].rightCount - hunks[k].leftCount;
    int begin = from, stop = from + removed, otherExtra = 0;
    if (first < last) {
        begin = std::min(begin, start(hunks[first]));
        stop = std::max(stop, end(hunks[last - 1]));
        for (size_t k = first; k < last; ++k)
            otherExtra += rightSide ? hunks[k].leftCount - hunks[k].rightCount
                                    : hunks[k].rightCount - hunks[k].leftCount;
    }
    const int count = stop - begin + added - removed;
    const int otherCount = stop - begin + otherExtra;
    Hunk block = rightSide ? Hunk{begin + shift, otherCount, begin, count}
                           : Hunk{begin, count, begin + shift, otherCount};
    for (size_t k = last; k < hunks.size(); ++k)
        (rightSide ? hunks[k].right : hunks[k].left) += added - removed;
    std::vector<int> kept;
    for (const int k : pending) {
        if (size_t(k) < first)
            kept.push_back(k);
        else if (size_t(k) >= last)
            kept.push_back(k - int(last - first) + 1);
    }
    hunks.erase(hunks.begin() + qsizetype(first), hunks.begin() + qsizetype(last));
    if (block.leftCount + block.rightCount > 0) {
        hunks.insert(hunks.begin() + qsizetype(first), block);
        kept.push_back(int(first));
    } else { // nothing left to compare: the pending ones after move back
        for (int& k : kept)
            k -= size_t(k) > first ? 1 : 0;
    }
    std::sort(kept.begin(), kept.end());
    pending = std::move(kept);
    recount();
}

std::vector<std::vector<Hunk>> comparePending(const LineDiff& d, const std::atomic<bool>* cancel) {
    std::vector<std::vector<Hunk>> parts;
    for (const int k : d.pending) {
        const Hunk& h = d.hunks[size_t(k)];
        std::vector<Hunk> found = hunksOf(d.left.slice(h.left, h.leftCount),
                                          d.right.slice(h.right, h.rightCount), d.ignore, cancel);
        for (Hunk& part : found) {
            part.left += h.left;
            part.right += h.right;
        }
        parts.push_back(std::move(found));
    }
    return parts;
}

void LineDiff::settle(const std::vector<std::vector<Hunk>>& parts) {
    for (size_t i = pending.size(); i-- > 0;) {
        const auto at = hunks.begin() + pending[i];
        const auto next = hunks.erase(at);
        hunks.insert(next, parts[i].begin(), parts[i].end());
    }
    pending.clear();
    recount();
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

std::pair<std::vector<CharSpan>, std::vector<CharSpan>>
diffChars(const QString& left, const QString& right, int ignore) {
    const auto folded = [ignore](QString s) {
        if (ignore & IgnoreCase) {
            for (QChar& c : s)
                c = c.toCaseFolded();
        }
        return s;
    };
    auto marks = diffChars(folded(left), folded(right));
    // Ignored characters within a mark are no difference.
    const auto drop = [ignore](const QString& text, std::vector<CharSpan>& spans) {
        const bool crShown = ignore & IgnoreLineEnds && text.endsWith(QStringLiteral("\\x0D"));
        std::vector<int> kept;
        for (const CharSpan& s : spans) {
            for (int i = s.start; i < s.start + s.length; ++i) {
                const bool blank = ignore & (IgnoreSpaceChanges | IgnoreAllSpace) &&
                                   (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'));
                if (!blank && !(crShown && i >= text.size() - 4))
                    kept.push_back(i);
            }
        }
        spans = spansOf(kept);
    };
    drop(left, marks.first);
    drop(right, marks.second);
    return marks;
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

// Opens a regular file for reading, and its folder, held from then on; throws
// FsError. A link given is followed once, here: what it leads to now is the
// file read, and the file saved.
ReadFile openRead(const QByteArray& path) {
    char resolved[PATH_MAX];
    ReadFile read;
    if (!::realpath(path.constData(), resolved))
        throw FsError::fromErrno(errno, nameText(path));
    if (FsResult opened = openFolderOf(QByteArray(resolved), read); !opened)
        throw opened.error();
    read.path = path;
    // Non-blocking, so a pipe at the name cannot hang the open.
    read.file = std::make_shared<const UniqueFd>(
        ::openat(read.folder->fd, read.name.constData(),
                 O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY));
    if (read.file->fd < 0)
        throw FsError::fromErrno(errno, nameText(path));
    if (::fstat(read.file->fd, &read.held) != 0 || !S_ISREG(read.held.st_mode))
        throw FsError(EINVAL, nameText(path), QStringLiteral("not a regular file"));
    read.seen = read.held;
    ::fcntl(read.file->fd, F_SETFL, 0);
    return read;
}

bool holdsNul(int fd) {
    char probe[binaryProbe];
    const ssize_t n = ::pread(fd, probe, sizeof probe, 0);
    return n > 0 && std::memchr(probe, 0, size_t(n)) != nullptr;
}

} // namespace

FsResult openFolderOf(const QByteArray& path, ReadFile& file) {
    const FileLocation at = FileLocation::of(path);
    char folder[PATH_MAX];
    if (!::realpath(at.folder.isEmpty() ? "." : at.folder.constData(), folder))
        return FsError::fromErrno(errno, nameText(path));
    file.path = path;
    file.name = at.name;
    file.reached = FileLocation{QByteArray(folder), at.name}.path();
    file.folder =
        std::make_shared<const UniqueFd>(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (file.folder->fd < 0)
        return FsError::fromErrno(errno, nameText(path));
    return {};
}

FileComparison compareFiles(const QByteArray& leftPath, const QByteArray& rightPath,
                            const std::atomic<bool>& cancel, int ignore) {
    FileComparison result;
    try {
        result.leftFile = openRead(leftPath);
        result.rightFile = openRead(rightPath);
        const int left = result.leftFile.file->fd, right = result.rightFile.file->fd;
        result.binary = holdsNul(left) || holdsNul(right);
        if (result.binary) {
            const ContentVerdict verdict =
                compareOpenFiles(left, right, cancel, &result.firstDifference);
            if (verdict == ContentVerdict::Unreadable)
                throw FsError::fromErrno(errno, nameText(leftPath) + QStringLiteral(", ") +
                                                    nameText(rightPath));
            return result;
        }
        result.leftFile.text = std::make_shared<const TextLines>(TextLines::mapped(left, leftPath));
        result.rightFile.text =
            std::make_shared<const TextLines>(TextLines::mapped(right, rightPath));
        if (!cancel.load())
            result.lines = diffLines(EditedText(result.leftFile.text),
                                     EditedText(result.rightFile.text), ignore, &cancel);
    } catch (const FsError& e) {
        result.error = e.description();
    }
    return result;
}
