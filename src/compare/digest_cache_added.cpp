#include "compare/digest_cache_format.h"

#include <algorithm>

using digest_file::before;

const DigestCache::Stored* DigestCache::Added::find(const ContentKey& id) const {
    if (m_slots.empty())
        return nullptr;
    const size_t mask = m_slots.size() - 1;
    for (size_t s = qHash(id) & mask;; s = (s + 1) & mask) {
        const std::uint32_t at = m_slots[s];
        if (at == 0)
            return nullptr;
        if (m_entries[at - 1].id == id)
            return &m_entries[at - 1];
    }
}

void DigestCache::Added::place(std::uint32_t at) {
    const size_t mask = m_slots.size() - 1;
    size_t s = qHash(m_entries[at].id) & mask;
    while (m_slots[s] != 0)
        s = (s + 1) & mask;
    m_slots[s] = at + 1;
}

void DigestCache::Added::put(const Stored& entry, size_t most) {
    if (const Stored* same = find(entry.id)) {
        m_entries[size_t(same - m_entries.data())] = entry;
        return;
    }
    // Reserved whole, but only the pages written are ever touched.
    if (m_entries.capacity() == 0)
        m_entries.reserve(most);
    m_entries.push_back(entry);
    // At most half full, so that a search ends soon at an empty slot.
    if (m_entries.size() * 2 <= m_slots.size()) {
        place(std::uint32_t(m_entries.size() - 1));
        return;
    }
    m_slots.assign(std::max<size_t>(64, m_slots.size() * 2), 0);
    for (size_t at = 0; at < m_entries.size(); ++at)
        place(std::uint32_t(at));
}

std::vector<DigestCache::Stored>& DigestCache::Added::sorted() {
    std::fill(m_slots.begin(), m_slots.end(), 0);
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Stored& x, const Stored& y) { return before(x.id, y.id); });
    return m_entries;
}

void DigestCache::Added::clear() {
    m_entries.clear();
    std::fill(m_slots.begin(), m_slots.end(), 0);
}

void DigestCache::Added::release() {
    std::vector<Stored>().swap(m_entries);
    std::vector<std::uint32_t>().swap(m_slots);
}
