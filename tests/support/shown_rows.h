#pragma once

#include "compare/row_status.h"
#include "comparison/visible_rows.h"

#include <QStringList>

// "source|destination" per row in view, "-" for a placeholder, and with
// `statuses` each row's status after a space.
inline QStringList shownRows(const VisibleRows& shown, bool statuses = false) {
    QStringList out;
    for (int row = 0; row < shown.count(); ++row) {
        const auto cell = [&](Side side) {
            const qint32 i = shown.folderRows()->entry(shown.sharedRow(row), side);
            return i < 0 ? QStringLiteral("-")
                         : QString::fromUtf8(shown.folderRows()->listing(side).fileName(i));
        };
        out << cell(Side::Source) + QLatin1Char('|') + cell(Side::Destination) +
                   (statuses ? QLatin1Char(' ') + rowStatusKey(shown.status(row)) : QString());
    }
    return out;
}
