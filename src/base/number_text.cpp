#include "base/number_text.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace {

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

// Length of the decimal number at the start of `text`, or 0 when there is
// none. A sign or an exponent marker without digits after it is not part of it.
qsizetype numberLength(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QLatin1Char('.')) {
        qsizetype j = i + 1;
        qsizetype fraction = 0;
        while (j < n && isDigit(text[j])) {
            ++j;
            ++fraction;
        }
        if (digits + fraction > 0) {
            i = j;
            digits += fraction;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            ++j;
        const qsizetype expStart = j;
        while (j < n && isDigit(text[j]))
            ++j;
        if (j > expStart)
            i = j;
    }
    return i;
}

qsizetype skipBlanks(QStringView text, qsizetype from) {
    while (from < text.size() && isBlank(text[from]))
        ++from;
    return from;
}

double parse(QStringView number) {
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    return ok ? value : 0.0; // out of range: not a usable number
}

} // namespace

double lenientNumber(QStringView text) {
    const qsizetype start = skipBlanks(text, 0);
    const qsizetype length = numberLength(text.mid(start));
    return length == 0 ? 0.0 : parse(text.mid(start, length));
}

std::optional<double> strictNumber(QStringView text) {
    const qsizetype start = skipBlanks(text, 0);
    const qsizetype length = numberLength(text.mid(start));
    if (length == 0 || skipBlanks(text, start + length) != text.size())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(text.mid(start, length), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value) {
    const double down = std::floor(value);
    const double diff = value - down;
    if (diff < 0.5)
        return down;
    if (diff > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

std::optional<qint16> storedFlag(QStringView text) {
    const std::optional<double> value = strictNumber(text);
    if (!value)
        return std::nullopt;
    const double whole = roundHalfEven(std::fabs(*value));
    if (whole > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(whole);
}

std::optional<int> storedWindowState(QStringView text) {
    const double whole = roundHalfEven(lenientNumber(text));
    if (whole < 0.0 || whole > 2.0)
        return std::nullopt;
    return static_cast<int>(whole);
}

QString numberText(double value) {
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    // 1e-300 as such, not as 300 digits.
    const QString plain = QString::number(value, 'f', QLocale::FloatingPointShortest);
    const QString exponent = QString::number(value, 'g', QLocale::FloatingPointShortest);
    return exponent.size() < plain.size() ? exponent : plain;
}
