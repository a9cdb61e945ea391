#include "compare/row_status.h"

#include "base/text_formats.h"

#include <cstdlib>

int compareTimes(std::time_t source, std::time_t destination, const TimeRule& rule) {
    const qint64 apart = qint64(source) - qint64(destination);
    const qint64 distance = apart < 0 ? -apart : apart;
    if (distance <= rule.tolerance)
        return 0;
    if (rule.ignoreHourShift && std::abs(distance - 3600) <= rule.tolerance)
        return 0;
    return apart < 0 ? -1 : 1;
}

RowStatus rowStatus(const FileStat* source, const FileStat* destination, bool namesDifferInCase,
                    const TimeRule& rule) {
    if (!destination)
        return RowStatus::SourceOnly;
    if (!source)
        return RowStatus::DestinationOnly;
    if (namesDifferInCase)
        return RowStatus::Case;
    if (source->folder && destination->folder)
        return RowStatus::Checking;
    const int order = compareTimes(source->modified, destination->modified, rule);
    if (order != 0)
        return order > 0 ? RowStatus::SourceNewer : RowStatus::DestinationNewer;
    return source->size == destination->size ? RowStatus::Same : RowStatus::Differs;
}

RowStatus contentStatus(const FileStat& source, const FileStat& destination, bool contentsEqual,
                        const TimeRule& rule) {
    const int order = compareTimes(source.modified, destination.modified, rule);
    if (contentsEqual)
        return order == 0 ? RowStatus::Same : RowStatus::SameContents;
    return order > 0   ? RowStatus::SourceNewer
           : order < 0 ? RowStatus::DestinationNewer
                       : RowStatus::Differs;
}

QString rowStatusKey(RowStatus status) {
    static const char* const keys[rowStatusCount] = {
        "same",    "source-only", "destination-only", "source-newer", "destination-newer",
        "differs", "case",        "checking",         "unreadable",   "same-contents"};
    return QString::fromLatin1(keys[static_cast<int>(status)]);
}

QString rowStatusWords(RowStatus status) {
    static const char* const words[rowStatusCount] = {
        "Same on both sides",
        "Only in Source",
        "Only in Destination",
        "Different: Source is newer",
        "Different: Destination is newer",
        "Different: same time, different size or contents",
        "Names differ in case",
        "Checking\u2026",
        "Cannot be read",
        "Same contents, other time"};
    return QString::fromUtf8(words[static_cast<int>(status)]);
}

bool isNewerOn(RowStatus status, Side side) {
    if (side == Side::Source)
        return status == RowStatus::SourceOnly || status == RowStatus::SourceNewer;
    return status == RowStatus::DestinationOnly || status == RowStatus::DestinationNewer;
}

QString StatusCounts::summary(const TextFormats& formats) const {
    const std::pair<qsizetype, const char*> parts[] = {
        {count(RowStatus::Same), " same"},
        {count(RowStatus::SameContents), " same contents, other time"},
        {count(RowStatus::SourceNewer), " newer in Source"},
        {count(RowStatus::DestinationNewer), " newer in Destination"},
        {count(RowStatus::Differs), " differ"},
        {count(RowStatus::SourceOnly), " only in Source"},
        {count(RowStatus::DestinationOnly), " only in Destination"},
        {count(RowStatus::Case), " case"},
        {count(RowStatus::Checking), " checking"},
        {count(RowStatus::Unreadable), " unreadable"}};
    QStringList texts;
    for (const auto& [n, words] : parts) {
        if (n > 0)
            texts << formats.countText(n) + QLatin1String(words);
    }
    return texts.join(QStringLiteral(" \u00b7 "));
}
