#include "mainwindow/status_look.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPalette>
#include <cmath>

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

namespace {

// The colour with its hue kept, darkened on a light background or lightened
// on a dark one until it reads as well as body text should (4.5:1).
QColor readableOn(const QColor& colour, const QColor& base) {
    const bool lightBase = luminance(base) > 0.18;
    QColor c = colour.toHsl();
    for (int lightness = c.lightness(); contrastRatio(c, base) < 4.5;) {
        lightness += lightBase ? -5 : 5;
        if (lightness < 0 || lightness > 255)
            break;
        c = QColor::fromHsl(c.hslHue(), c.hslSaturation(), lightness);
    }
    return c;
}

} // namespace

QColor mixedColour(const QColor& a, const QColor& b, double bShare) {
    auto mix = [bShare](int x, int y) { return static_cast<int>(x + (y - x) * bShare + 0.5); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

StatusLooks statusLooks(const QPalette& palette, const QFont& font, Side side) {
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QColor link = readableOn(palette.color(QPalette::Active, QPalette::Link), base);
    const QColor accent = readableOn(palette.color(QPalette::Active, QPalette::Highlight), base);
    // Hues turned from the link colour's: apart from both accents.
    const QColor linkHsl = link.toHsl();
    auto turned = [&](int degrees) {
        return readableOn(QColor::fromHsl((std::max(linkHsl.hslHue(), 0) + degrees) % 360,
                                          std::max(linkHsl.hslSaturation(), 160),
                                          linkHsl.lightness()),
                          base);
    };
    const QColor opposite = turned(180);
    const QColor dimmed = readableOn(mixedColour(text, base, 0.4), base);

    auto styled = [&font](bool bold, bool italic, bool underline = false) {
        QFont f = font;
        f.setBold(bold);
        f.setItalic(italic);
        f.setUnderline(underline);
        return QVariant(f);
    };
    const StatusLook alone{QBrush(link), styled(true, false)};
    const StatusLook newer{QBrush(accent), styled(true, false)};
    const StatusLook older{QBrush(dimmed), styled(false, true)};
    const bool source = side == Side::Source;

    StatusLooks looks{};
    looks[static_cast<size_t>(RowStatus::SourceOnly)] = alone;
    looks[static_cast<size_t>(RowStatus::DestinationOnly)] = alone;
    looks[static_cast<size_t>(RowStatus::SourceNewer)] = source ? newer : older;
    looks[static_cast<size_t>(RowStatus::DestinationNewer)] = source ? older : newer;
    looks[static_cast<size_t>(RowStatus::Differs)] = {QBrush(opposite), styled(true, true)};
    // Two names that only look alike: underlined, as both are there to read.
    looks[static_cast<size_t>(RowStatus::Case)] = {QBrush(turned(90)), styled(false, false, true)};
    // A tree that could not be read in full: bold and underlined, apart from every other.
    looks[static_cast<size_t>(RowStatus::Unreadable)] = {QBrush(turned(270)),
                                                         styled(true, false, true)};
    // The same bytes at other times: the pane's look but for the times, which
    // are what differs.
    looks[static_cast<size_t>(RowStatus::SameContents)] = {QBrush(turned(135)), {}, true};
    // A folder pair being checked keeps the pane's look until its status is known.
    return looks;
}
