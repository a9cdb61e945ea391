#pragma once

#include "compare/row_status.h"

#include <QVariant>
#include <array>

class QColor;
class QFont;
class QPalette;

// How a row's status shows in one pane: a text colour taken from the pane's
// palette and a font, so that both light and dark themes read well and the
// weight and slant tell the status without the colour. The file that is
// newer, or alone, is bold; the older one is slanted and dimmed; a pair that
// differs at equal times is bold and slanted in both panes, names that differ
// in case are underlined, two trees that could not be read in full bold and
// underlined. Same rows and folders being checked keep the pane's own look
// (null values); files of the same contents at other times too, but for
// their Modified cell, which shows which time is the later.
struct StatusLook {
    QVariant foreground;
    QVariant font;
    bool modifiedOnly = false; // the look is the Modified cell's alone
};
using StatusLooks = std::array<StatusLook, rowStatusCount>;

StatusLooks statusLooks(const QPalette& palette, const QFont& font, Side side);

// `a` moved towards `b` by `bShare` (0 to 1), channel by channel.
QColor mixedColour(const QColor& a, const QColor& b, double bShare);

// How well two colours stand apart, from 1 (equal) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);
