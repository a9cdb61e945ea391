#pragma once

#include <QStringView>

// Matches a file name against a wildcard pattern the way the folder listing
// does: "*" any run of characters, "?" exactly one, every other character
// literal, letter case ignored. A pattern ending in ".*" also matches names
// with no extension, so "*.*" matches every name.
bool wildcardMatch(QStringView pattern, QStringView name);
