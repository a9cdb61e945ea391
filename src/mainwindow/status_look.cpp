#include "mainwindow/status_look.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPalette>

namespace {

// The colour moved to a lightness that stands out against the background:
// dark on a light base, light on a dark one, hue kept.
QColor readableOn(const QColor& colour, const QColor& base) {
    const QColor hsl = colour.toHsl();
    const bool lightBase = base.lightness() > 127;
    const int lightness =
        lightBase ? std::min(hsl.lightness(), 105) : std::max(hsl.lightness(), 175);
    return QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness);
}

QColor mixed(const QColor& a, const QColor& b, double bShare) {
    auto mix = [bShare](int x, int y) { return static_cast<int>(x + (y - x) * bShare + 0.5); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

} // namespace

StatusLooks statusLooks(const QPalette& palette, const QFont& font, Side side) {
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    const QColor link = readableOn(palette.color(QPalette::Active, QPalette::Link), base);
    const QColor accent = readableOn(palette.color(QPalette::Active, QPalette::Highlight), base);
    // The hue across the colour wheel from the link colour: apart from both accents.
    QColor opposite = link.toHsl();
    opposite =
        readableOn(QColor::fromHsl((std::max(opposite.hslHue(), 0) + 180) % 360,
                                   std::max(opposite.hslSaturation(), 160), opposite.lightness()),
                   base);
    const QColor dimmed = mixed(text, base, 0.4);

    auto styled = [&font](bool bold, bool italic) {
        QFont f = font;
        f.setBold(bold);
        f.setItalic(italic);
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
    return looks;
}
