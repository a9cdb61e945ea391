#pragma once

#include <QWidget>

// Window geometry is kept in twips, 1/1440 inch: 15 twips per pixel at the
// usual 96 logical dots per inch.
inline double twipsPerPixelX(const QWidget* w) {
    return 1440.0 / w->logicalDpiX();
}
inline double twipsPerPixelY(const QWidget* w) {
    return 1440.0 / w->logicalDpiY();
}
