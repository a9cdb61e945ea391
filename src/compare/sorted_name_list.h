#pragma once

#include "fs/folder_scan.h"

#include <QByteArrayView>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

enum class Side { Source = 0, Destination = 1 };

// Byte order, as memcmp gives it: a shorter name first when it is a prefix.
inline int compareBytes(QByteArrayView a, QByteArrayView b) {
    const int c = std::memcmp(a.data(), b.data(), size_t(std::min(a.size(), b.size())));
    return c != 0 ? c : a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// A folder's names in the order the panes show them: ascending by key, and
// names with equal keys in the order of their bytes, which pairing relies on.
// A key starts with a byte that puts folders before files and keeps a
// folder's key apart from a file's of the same name, so the two never pair.
class SortedNames {
public:
    explicit SortedNames(const FolderListing& listing = {});
    qsizetype count() const { return static_cast<qsizetype>(m_order.size()); }
    // The listing index of the name at `position`, and its key.
    qint32 at(qsizetype position) const { return m_order[size_t(position)].index; }
    std::string_view key(qsizetype position) const {
        const Entry& e = m_order[size_t(position)];
        return {m_keys.data() + e.keyAt, e.keyLength};
    }

private:
    struct Entry {
        qint32 index;
        quint32 keyAt;
        quint32 keyLength;
    };
    std::vector<Entry> m_order;
    std::string m_keys;
};
