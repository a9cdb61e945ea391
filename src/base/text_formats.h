#pragma once

#include <QLocale>
#include <QString>
#include <ctime>

// The size and date texts of the panes, the overwrite prompt and the report,
// in the user's locale. Under the C locale, which has no user conventions,
// fixed forms are used: "1,234,567 bytes", "2024-03-09 14:05:00" and
// "Saturday, March 9, 2024 14:05:00". A time outside the years 1 to 9999
// shows as "out of range (N s)", never as a wrong date.
class TextFormats {
public:
    explicit TextFormats(const QLocale& locale = QLocale());

    // "#,##0 bytes".
    QString sizeText(qint64 bytes) const;
    // "#,##0".
    QString countText(qint64 count) const;
    // Short date and long time in local time; the date alone at midnight
    // unless `midnightTime` (a report's column reads alike on every line).
    QString modifiedText(std::time_t time, bool midnightTime = false) const;
    // Long date and long time in local time.
    QString longDateTimeText(std::time_t time) const;

private:
    QLocale m_locale;
    QString m_shortDate;
    QString m_longDate;
    QString m_longTime;
};

// Local time as "YYYY-MM-DDTHH:MM:SS"; a null string outside the years 1 to 9999.
QString isoLocalText(std::time_t time);
// The same text in quotes, or null outside those years, written into `text`;
// gives its length. The report writes two a row, most of a tree's files at
// a few times.
qsizetype isoLocalJson(std::time_t time, char (&text)[21]);
