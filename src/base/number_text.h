#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The two ways a stored setting is read as a number, and how numbers are
// written back.

// The longest leading part of `text` that reads as a decimal number (leading
// blanks skipped, optional sign, digits, fraction, exponent); 0 when there is
// none: "2abc" gives 2, "abc" gives 0.
double lenientNumber(QStringView text);

// The number when the whole of `text` (surrounding blanks aside) is one
// finite decimal number; nothing otherwise.
std::optional<double> strictNumber(QStringView text);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// A switch or count stored as a whole number: strict, absolute value,
// rounded half to even, and within the 16-bit signed range ("-1" -> 1).
std::optional<qint16> storedFlag(QStringView text);

// A window state stored as 0, 1 or 2: lenient, rounded half to even, and
// nothing when outside that range.
std::optional<int> storedWindowState(QStringView text);

// Decimal text: a whole number below 10^15 without a decimal point,
// otherwise the shortest text that reads back as the same value, with an
// exponent where that is shorter (1e-300, 1e+20).
QString numberText(double value);
