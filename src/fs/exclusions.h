#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The names most users never want compared: version control stores, caches
// and package folders.
inline constexpr char defaultExclusions[] = ".git;.hg;.svn;__pycache__;node_modules;.DS_Store";

// Folders and files left out of every comparison, from a list of patterns
// separated by ";" (wildcard.h: "*", "?", letter case ignored). A pattern
// without "/" is matched against an entry's name wherever it lies; one with
// "/" against its path relative to the folders compared ("build/gen", "*/out";
// a leading or trailing "/" is dropped). Spaces around a pattern, and empty
// patterns, count for nothing, so an empty list leaves nothing out.
class Exclusions {
public:
    Exclusions() = default;
    explicit Exclusions(const QString& list);

    bool isEmpty() const { return m_names.isEmpty() && m_paths.isEmpty(); }

    // Whether the entry `name` (bytes) in `relativeFolder` ("" at the top, else
    // bytes ending with "/") is left out.
    bool excludes(QByteArrayView name, QByteArrayView relativeFolder) const;

private:
    QStringList m_names; // matched against the name alone
    QStringList m_paths; // matched against the relative path
};
