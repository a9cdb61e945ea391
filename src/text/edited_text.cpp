#include "text/edited_text.h"

#include "base/name_text.h"
#include "fs/file_mapping.h"
#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

TextLines::TextLines(QByteArray bytes)
    : m_bytes(std::move(bytes)), m_data(m_bytes.constData()), m_size(m_bytes.size()) {
    split();
}

void TextLines::split() {
    const char* end = m_data + m_size;
    // A mapped file is hashed as it is split, before its pages are released,
    // so telling later whether it was rewritten costs no second reading now.
    XXH3_state_t* hash = m_map ? XXH3_createState() : nullptr;
    if (hash)
        XXH3_64bits_reset(hash);
    qint64 released = 0;
    for (const char* p = m_data; p < end;) {
        const auto* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* stop = nl ? nl : end;
        m_starts.push_back(p - m_data);
        m_longest = std::max<qint64>(m_longest, stop - p);
        const bool crlf = nl && nl > p && nl[-1] == '\r';
        if (m_starts.size() == 1)
            m_firstCrlf = crlf;
        else if (nl && crlf != m_firstCrlf)
            m_otherEnds.push_back(int(m_starts.size() - 1));
        p = nl ? nl + 1 : end;
        if (hash && p - m_data - released > releaseEvery) {
            XXH3_64bits_update(hash, m_data + released, size_t(p - m_data - released));
            release();
            released = p - m_data;
        }
    }
    if (hash) {
        XXH3_64bits_update(hash, m_data + released, size_t(m_size - released));
        m_digest = XXH3_64bits_digest(hash);
        XXH3_freeState(hash);
    }
    if (m_starts.size() > size_t(std::numeric_limits<int>::max()) / 2)
        throw FsError(EFBIG, QString(), QStringLiteral("too many lines"));
    m_starts.shrink_to_fit(); // grown by doubling: up to half of it unused
}

void TextLines::countEnds(int from, int count, qint64& crlf, qint64& lf) const {
    const auto first = std::lower_bound(m_otherEnds.begin(), m_otherEnds.end(), from);
    const auto other = std::lower_bound(first, m_otherEnds.end(), from + count) - first;
    // Every line ends in a newline but perhaps the last.
    const bool unended = from + count == this->count() && !key(from + count - 1).ends_with('\n');
    const qint64 same = count - other - unended;
    crlf += m_firstCrlf ? same : other;
    lf += m_firstCrlf ? other : same;
}

std::uint64_t TextLines::digest() const {
    XXH3_state_t* hash = XXH3_createState();
    XXH3_64bits_reset(hash);
    for (qint64 at = 0; at < m_size; at += releaseEvery) {
        XXH3_64bits_update(hash, m_data + at, size_t(std::min(releaseEvery, m_size - at)));
        release(m_data + at, std::min(releaseEvery, m_size - at));
    }
    const std::uint64_t digest = XXH3_64bits_digest(hash);
    XXH3_freeState(hash);
    return digest;
}

bool TextLines::intact() const {
    return !m_map || digest() == m_digest;
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
    release(m_data, m_size);
}

void TextLines::release(const char* from, qint64 size) const {
    if (!m_map)
        return; // held bytes, not a file's pages
    const auto page = quintptr(::sysconf(_SC_PAGESIZE));
    const quintptr start = quintptr(from) & ~(page - 1);
    ::madvise(reinterpret_cast<void*>(start), size_t(quintptr(from) + quintptr(size) - start),
              MADV_DONTNEED);
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
EditedText::EditedText(TextLines text)
    : EditedText(std::make_shared<const TextLines>(std::move(text))) {}

EditedText::EditedText(std::shared_ptr<const TextLines> text) {
    if (text->count() > 0)
        m_pieces.push_back({std::move(text), 0, 0});
    if (!m_pieces.empty())
        m_pieces[0].count = m_pieces[0].text->count();
    renumber();
}

void EditedText::renumber() {
    m_ends.clear();
    int line = 0;
    for (const Piece& p : m_pieces)
        m_ends.push_back(line += p.count);
    m_lines = line;
}

size_t EditedText::pieceOf(int line) const {
    return size_t(std::upper_bound(m_ends.begin(), m_ends.end(), line) - m_ends.begin());
}

QByteArray EditedText::line(int i) const {
    const size_t k = pieceOf(i);
    const Piece& p = m_pieces[k];
    return p.text->line(p.from + i - (m_ends[k] - p.count));
}

std::string_view EditedText::key(int i) const {
    const size_t k = pieceOf(i);
    const Piece& p = m_pieces[k];
    return p.text->key(p.from + i - (m_ends[k] - p.count));
}

qint64 EditedText::longestLine() const {
    qint64 longest = 0;
    for (const Piece& p : m_pieces)
        longest = std::max(longest, p.text->longestLine());
    return longest;
}

void EditedText::release() const {
    for (const Piece& p : m_pieces)
        p.text->release();
}

QByteArray EditedText::lineEnd() const {
    return m_lines > 0 && key(0).ends_with("\r\n") ? QByteArrayLiteral("\r\n")
                                                   : QByteArrayLiteral("\n");
}

LineEnds EditedText::lineEnds() const {
    qint64 crlf = 0, lf = 0;
    for (const Piece& p : m_pieces)
        p.text->countEnds(p.from, p.count, crlf, lf);
    return crlf && lf ? LineEnds::Mixed
           : crlf     ? LineEnds::Crlf
           : lf       ? LineEnds::Lf
                      : LineEnds::None;
}

EditedText EditedText::slice(int from, int count) const {
    EditedText part;
    for (size_t k = pieceOf(from); k < m_pieces.size() && count > 0; ++k) {
        const Piece& p = m_pieces[k];
        const int skip = std::max(0, from - (m_ends[k] - p.count));
        const int take = std::min(p.count - skip, count);
        part.m_pieces.push_back({p.text, p.from + skip, take});
        count -= take;
    }
    part.renumber();
    return part;
}

void EditedText::replace(int from, int count, const EditedText& lines) {
    const QByteArray end = lineEnd();
    const EditedText after = slice(from + count, m_lines - from - count);
    *this = slice(0, from);
    for (const EditedText* part : {&lines, &after}) {
        if (part->m_lines == 0)
            continue;
        // Only the last line of all may go without an ending.
        if (m_lines > 0 && !key(m_lines - 1).ends_with('\n')) {
            const std::string_view last = key(m_lines - 1);
            m_pieces.back().count -= 1;
            m_pieces.push_back({std::make_shared<const TextLines>(
                                    QByteArray(last.data(), qsizetype(last.size())) + end),
                                0, 1});
        }
        m_pieces.insert(m_pieces.end(), part->m_pieces.begin(), part->m_pieces.end());
        std::erase_if(m_pieces, [](const Piece& p) { return p.count == 0; });
        renumber();
    }
}

void EditedText::replace(int from, int count, const QByteArray& bytes) {
    replace(from, count, EditedText(TextLines(bytes)));
}

EditedText EditedText::withLineEnd(const QByteArray& end) const {
    EditedText out;
    QByteArray changed;
    int run = 0; // the first line of the run left as it is
    for (int i = 0; i < m_lines; ++i) {
        const std::string_view k = key(i);
        const bool crlf = k.ends_with("\r\n");
        if (!k.ends_with('\n') || crlf == (end == "\r\n")) {
            if (!changed.isEmpty())
                out.replace(out.count(), 0, std::exchange(changed, {}));
            continue;
        }
        if (run < i && changed.isEmpty())
            out.replace(out.count(), 0, slice(run, i - run));
        changed += QByteArray(k.data(), qsizetype(k.size()) - (crlf ? 2 : 1)) + end;
        run = i + 1;
    }
    if (!changed.isEmpty())
        out.replace(out.count(), 0, changed);
    if (run < m_lines)
        out.replace(out.count(), 0, slice(run, m_lines - run));
    return out;
}

bool EditedText::drawsFrom(const TextLines* text) const {
    return std::any_of(m_pieces.begin(), m_pieces.end(),
                       [text](const Piece& p) { return p.text.get() == text; });
}

QByteArray EditedText::bytes() const {
    QByteArray all;
    for (int i = 0; i < m_lines; ++i) {
        const std::string_view k = key(i);
        all.append(k.data(), qsizetype(k.size()));
    }
    return all;
}

bool EditedText::write(int fd) const {
    for (const Piece& p : m_pieces) {
        // A piece's lines stand together in its text, written a few
        // megabytes at a time, each part's pages let go once written, so a
        // large file saved does not come to stay in the program's memory.
        const char* at = p.text->key(p.from).data();
        const std::string_view last = p.text->key(p.from + p.count - 1);
        const char* end = last.data() + last.size();
        for (const char* part = at; part < end; part += releaseEvery) {
            const auto size = size_t(std::min<qint64>(releaseEvery, end - part));
            if (!writeAll(fd, part, size))
                return false;
            p.text->release(part, qint64(size));
        }
    }
    return true;
}
