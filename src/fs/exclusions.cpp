#include "fs/exclusions.h"

#include "base/name_text.h"
#include "base/wildcard.h"

namespace {

bool hasWildcard(const QString& pattern) {
    return pattern.contains(QLatin1Char('*')) || pattern.contains(QLatin1Char('?'));
}

bool matchOne(const QString& pattern, const QString& text) {
    // A plain name is the common case (".git", "node_modules"): no glob needed.
    if (!hasWildcard(pattern))
        return text.compare(pattern, Qt::CaseInsensitive) == 0;
    return wildcardMatch(pattern, text);
}

} // namespace

Exclusions::Exclusions(const QString& list) {
    for (QString pattern : list.split(QLatin1Char(';'))) {
        pattern = pattern.trimmed();
        while (pattern.startsWith(QLatin1Char('/')))
            pattern.remove(0, 1);
        while (pattern.endsWith(QLatin1Char('/')))
            pattern.chop(1);
        if (pattern.isEmpty())
            continue;
        (pattern.contains(QLatin1Char('/')) ? m_paths : m_names) << pattern;
    }
}

bool Exclusions::excludes(QByteArrayView name, QByteArrayView relativeFolder) const {
    if (isEmpty())
        return false;
    const QString text = nameText(name.toByteArray());
    for (const QString& pattern : m_names) {
        if (matchOne(pattern, text))
            return true;
    }
    if (m_paths.isEmpty())
        return false;
    const QString path = nameText(relativeFolder.toByteArray() + name.toByteArray());
    for (const QString& pattern : m_paths) {
        if (matchOne(pattern, path))
            return true;
    }
    return false;
}
