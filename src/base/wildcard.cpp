#include "base/wildcard.h"

#include <QList>
#include <QString>

namespace {

bool sameLetter(char32_t a, char32_t b) {
    return a == b || QChar::toCaseFolded(a) == QChar::toCaseFolded(b);
}

// Iterative glob match over code points, so "?" takes a character outside
// the Basic Multilingual Plane whole; single-star backtracking keeps it
// linear in practice.
bool globMatch(const QList<uint>& pattern, qsizetype patternEnd, const QList<uint>& name) {
    qsizetype p = 0, n = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < patternEnd && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < patternEnd && (pattern[p] == '?' || sameLetter(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < patternEnd && pattern[p] == '*')
        ++p;
    return p == patternEnd;
}

} // namespace

bool wildcardMatch(QStringView pattern, QStringView name) {
    const QList<uint> p = pattern.toUcs4();
    const QList<uint> n = name.toUcs4();
    if (globMatch(p, p.size(), n))
        return true;
    // "name.*" also admits "name" with an empty extension, as "*.*" admits all.
    if (pattern.endsWith(QLatin1String(".*")))
        return globMatch(p, p.size() - 2, n);
    return false;
}
