#include "core/wildcard.h"

#include <QString>

namespace {

bool sameLetter(QChar a, QChar b) {
    return a == b || a.toCaseFolded() == b.toCaseFolded();
}

// Iterative glob match with single-star backtracking: linear in practice.
bool globMatch(QStringView pattern, QStringView name) {
    qsizetype p = 0, n = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == QLatin1Char('?') || sameLetter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

} // namespace

bool wildcardMatch(QStringView pattern, QStringView name) {
    if (globMatch(pattern, name))
        return true;
    // "name.*" also admits "name" with an empty extension, as "*.*" admits all.
    if (pattern.endsWith(QLatin1String(".*")))
        return globMatch(pattern.chopped(2), name);
    return false;
}
