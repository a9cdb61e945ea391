#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

enum class Side { Source = 0, Destination = 1 };

struct NameEntry {
    QString name;        // as shown
    QByteArray fileName; // reaches the file in its own folder
    Side side = Side::Source;
};

// The merged name list of a scan, in ascending order of name without regard
// to letter case, so that names equal apart from case stand together; within
// such a group the Source names come first, each side in the order of the
// names' bytes.
class SortedNameList {
public:
    void clear();
    // Replaces the content with the two folders' names.
    void assign(std::vector<NameEntry> source, std::vector<NameEntry> destination);

    qsizetype count() const { return static_cast<qsizetype>(m_entries.size()); }
    const NameEntry& at(qsizetype index) const { return m_entries[static_cast<size_t>(index)]; }
    // The text by which names are grouped: equal for names equal apart from case.
    const QString& key(qsizetype index) const { return m_keys[static_cast<size_t>(index)]; }

private:
    std::vector<NameEntry> m_entries;
    std::vector<QString> m_keys;
};
