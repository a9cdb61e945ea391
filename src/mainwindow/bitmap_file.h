#pragma once

#include <QByteArray>
#include <QImage>

// Bitmap file format (BMP) for the small icon pictures.

// A 32-bit bitmap with an alpha channel (BITMAPV4 header, bit fields), so a
// drawn icon keeps its transparent corners.
QByteArray encodeBitmap(const QImage& image);

// Reads a bitmap file: the form encodeBitmap writes directly, any other
// bitmap through Qt's reader. A null image when the data is not a bitmap.
QImage decodeBitmap(const QByteArray& data);
