#include "core/sorted_name_list.h"

#include <algorithm>

namespace {

struct Keyed {
    QString key;
    NameEntry entry;
};

std::vector<Keyed> keyed(std::vector<NameEntry>&& entries, Side side) {
    std::vector<Keyed> out;
    out.reserve(entries.size());
    for (NameEntry& e : entries) {
        e.side = side;
        QString key = e.name.toCaseFolded();
        out.push_back({std::move(key), std::move(e)});
    }
    // Within one folder, names equal apart from case stand in the order of
    // their bytes, which pairing relies on.
    std::sort(out.begin(), out.end(), [](const Keyed& a, const Keyed& b) {
        if (const int c = a.key.compare(b.key); c != 0)
            return c < 0;
        return a.entry.fileName < b.entry.fileName;
    });
    return out;
}

} // namespace

void SortedNameList::clear() {
    m_entries.clear();
    m_keys.clear();
}

void SortedNameList::assign(std::vector<NameEntry> source, std::vector<NameEntry> destination) {
    std::vector<Keyed> s = keyed(std::move(source), Side::Source);
    std::vector<Keyed> d = keyed(std::move(destination), Side::Destination);
    clear();
    m_entries.reserve(s.size() + d.size());
    m_keys.reserve(s.size() + d.size());
    auto take = [this](Keyed& k) {
        m_keys.push_back(std::move(k.key));
        m_entries.push_back(std::move(k.entry));
    };
    // Merge by key alone; on equal keys the Source entry goes first.
    size_t i = 0, j = 0;
    while (i < s.size() || j < d.size()) {
        if (j == d.size() || (i < s.size() && s[i].key.compare(d[j].key) <= 0))
            take(s[i++]);
        else
            take(d[j++]);
    }
}
