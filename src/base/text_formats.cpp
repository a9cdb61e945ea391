#include "base/text_formats.h"

#include <cstring>

#include <QDate>
#include <QTime>
#include <cstdio>

namespace {

// Long time formats may name the time zone ("t"); the columns show clock time.
QString withoutTimeZone(const QString& format) {
    QString out;
    bool quoted = false;
    for (QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.simplified();
}

struct LocalParts {
    QDate date; // invalid when the time lies outside the years 1 to 9999
    QTime time;
};

LocalParts localParts(std::time_t time) {
    std::tm tm{};
    // tm_year counts from 1900; years the date forms cannot show stay invalid.
    if (!localtime_r(&time, &tm) || tm.tm_year < 1 - 1900 || tm.tm_year > 9999 - 1900)
        return {};
    return {QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
            QTime(tm.tm_hour, tm.tm_min, tm.tm_sec)};
}

// Shown for a time outside the calendar, with the seconds, so nothing is lost.
QString outOfRangeText(std::time_t time) {
    return QStringLiteral("out of range (%1 s)").arg(qint64(time));
}

bool isCLocale(const QLocale& locale) {
    return locale.language() == QLocale::C;
}

} // namespace

TextFormats::TextFormats(const QLocale& locale) {
    if (isCLocale(locale)) {
        m_locale = QLocale(QLocale::English, QLocale::UnitedStates);
        m_shortDate = QStringLiteral("yyyy-MM-dd");
        m_longDate = QStringLiteral("dddd, MMMM d, yyyy");
        m_longTime = QStringLiteral("HH:mm:ss");
    } else {
        m_locale = locale;
        m_shortDate = locale.dateFormat(QLocale::ShortFormat);
        m_longDate = locale.dateFormat(QLocale::LongFormat);
        m_longTime = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    }
    m_locale.setNumberOptions(QLocale::DefaultNumberOptions); // keep the group separator
}

QString TextFormats::sizeText(qint64 bytes) const {
    return countText(bytes) + QLatin1String(" bytes");
}

QString TextFormats::countText(qint64 count) const {
    return m_locale.toString(count);
}

QString TextFormats::modifiedText(std::time_t time, bool midnightTime) const {
    const LocalParts p = localParts(time);
    if (!p.date.isValid())
        return outOfRangeText(time);
    QString text = m_locale.toString(p.date, m_shortDate);
    if (midnightTime || p.time != QTime(0, 0))
        text += QLatin1Char(' ') + m_locale.toString(p.time, m_longTime);
    return text;
}

QString TextFormats::longDateTimeText(std::time_t time) const {
    const LocalParts p = localParts(time);
    if (!p.date.isValid())
        return outOfRangeText(time);
    return m_locale.toString(p.date, m_longDate) + QLatin1Char(' ') +
           m_locale.toString(p.time, m_longTime);
}

namespace {

// "YYYY-MM-DDTHH:MM:SS" into `text` (19 bytes); false outside the years 1 to 9999.
bool isoLocal(std::time_t time, char* text) {
    // The last time asked is asked again for most files of a tree.
    thread_local std::time_t lastTime = 0;
    thread_local char last[19];
    thread_local bool lastValid = false, known = false;
    if (!known || time != lastTime) {
        std::tm tm{};
        lastValid = localtime_r(&time, &tm) && tm.tm_year >= 1 - 1900 && tm.tm_year <= 9999 - 1900;
        const auto digits = [](char* at, int value, int width) {
            for (int i = width - 1; i >= 0; --i, value /= 10)
                at[i] = char('0' + value % 10);
        };
        if (lastValid) {
            digits(last, tm.tm_year + 1900, 4);
            digits(last + 5, tm.tm_mon + 1, 2);
            digits(last + 8, tm.tm_mday, 2);
            digits(last + 11, tm.tm_hour, 2);
            digits(last + 14, tm.tm_min, 2);
            digits(last + 17, tm.tm_sec, 2);
            last[4] = last[7] = '-';
            last[10] = 'T';
            last[13] = last[16] = ':';
        }
        lastTime = time;
        known = true;
    }
    std::memcpy(text, last, sizeof last);
    return lastValid;
}

} // namespace

QString isoLocalText(std::time_t time) {
    char text[19];
    return isoLocal(time, text) ? QString::fromLatin1(text, sizeof text) : QString();
}

qsizetype isoLocalJson(std::time_t time, char (&text)[21]) {
    if (!isoLocal(time, text + 1)) {
        std::memcpy(text, "null", 4);
        return 4;
    }
    text[0] = text[20] = '"';
    return sizeof text;
}
