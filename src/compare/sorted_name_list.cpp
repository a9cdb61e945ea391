#include "compare/sorted_name_list.h"

#include "base/name_text.h"

#include <QString>
#include <algorithm>

namespace {

// The key by which names are ordered and grouped, appended to `out`: the
// shown name folded to one letter case, so names equal apart from case have
// equal keys. Its bytes compare as the folded text's UTF-16 code units do
// (each unit in UTF-8's form, surrogates apart), and a printable ASCII name's
// key is the name in lower case.
void appendCaseKey(std::string& out, QByteArrayView fileName) {
    // Most names are printable ASCII: their shown text is their bytes, and
    // folding is lowering A to Z.
    const size_t start = out.size();
    for (const char c : fileName) {
        const auto u = static_cast<uchar>(c);
        if (u < 0x20 || u > 0x7e || u == '\\') {
            out.resize(start);
            const QString folded =
                nameText(QByteArray::fromRawData(fileName.data(), fileName.size())).toCaseFolded();
            for (const QChar ch : folded) {
                const char16_t unit = ch.unicode();
                if (unit < 0x80) {
                    out += char(unit);
                } else if (unit < 0x800) {
                    out += char(0xc0 | (unit >> 6));
                    out += char(0x80 | (unit & 0x3f));
                } else {
                    out += char(0xe0 | (unit >> 12));
                    out += char(0x80 | ((unit >> 6) & 0x3f));
                    out += char(0x80 | (unit & 0x3f));
                }
            }
            return;
        }
        out += char(u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u);
    }
}

} // namespace

SortedNames::SortedNames(const FolderListing& listing) {
    const qsizetype n = listing.count();
    m_order.reserve(size_t(n));
    for (qsizetype i = 0; i < n; ++i) {
        const size_t at = m_keys.size();
        m_keys += listing.isFolder(i) ? '\x01' : '\x02'; // no name's key holds a control byte
        appendCaseKey(m_keys, listing.fileName(i));
        m_order.push_back({qint32(i), quint32(at), quint32(m_keys.size() - at)});
    }
    const char* keys = m_keys.data();
    std::sort(m_order.begin(), m_order.end(), [&](const Entry& a, const Entry& b) {
        const int c =
            std::memcmp(keys + a.keyAt, keys + b.keyAt, std::min(a.keyLength, b.keyLength));
        if (c != 0 || a.keyLength != b.keyLength)
            return c != 0 ? c < 0 : a.keyLength < b.keyLength;
        return compareBytes(listing.fileName(a.index), listing.fileName(b.index)) < 0;
    });
}
