#include "mainwindow/bitmap_file.h"

#include <QtEndian>
#include <cstring>

namespace {

constexpr int fileHeaderSize = 14;
constexpr int infoHeaderSize = 108; // BITMAPV4HEADER
constexpr int pixelOffset = fileHeaderSize + infoHeaderSize;
constexpr quint32 biBitfields = 3;
constexpr quint32 redMask = 0x00ff0000, greenMask = 0x0000ff00, blueMask = 0x000000ff,
                  alphaMask = 0xff000000;
constexpr quint32 srgbSpace = 0x73524742; // 'sRGB'

void put16(QByteArray& out, int at, quint16 v) {
    qToLittleEndian(v, out.data() + at);
}
void put32(QByteArray& out, int at, quint32 v) {
    qToLittleEndian(v, out.data() + at);
}
quint16 get16(const QByteArray& in, int at) {
    return qFromLittleEndian<quint16>(in.constData() + at);
}
quint32 get32(const QByteArray& in, int at) {
    return qFromLittleEndian<quint32>(in.constData() + at);
}

} // namespace

QByteArray encodeBitmap(const QImage& image) {
    const QImage argb = image.format() == QImage::Format_ARGB32
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width(), h = argb.height();
    const int rowBytes = w * 4;
    QByteArray out(pixelOffset + rowBytes * h, '\0');
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, quint32(out.size()));
    put32(out, 10, pixelOffset);
    put32(out, 14, infoHeaderSize);
    put32(out, 18, quint32(w));
    put32(out, 22, quint32(-h)); // negative height: rows stored top to bottom
    put16(out, 26, 1);           // planes
    put16(out, 28, 32);          // bits per pixel
    put32(out, 30, biBitfields);
    put32(out, 34, quint32(rowBytes * h));
    put32(out, 38, 3780); // 96 dots per inch, in dots per metre
    put32(out, 42, 3780);
    put32(out, 54, redMask);
    put32(out, 58, greenMask);
    put32(out, 62, blueMask);
    put32(out, 66, alphaMask);
    put32(out, 70, srgbSpace);
    // ARGB32 pixels are 0xAARRGGBB words: little-endian B, G, R, A, as the masks say.
    for (int y = 0; y < h; ++y)
        std::memcpy(out.data() + pixelOffset + y * rowBytes, argb.constScanLine(y),
                    size_t(rowBytes));
    return out;
}

QImage decodeBitmap(const QByteArray& data) {
    const bool ours = data.size() >= pixelOffset && data.startsWith("BM") &&
                      get32(data, 10) == pixelOffset && get32(data, 14) == infoHeaderSize &&
                      get16(data, 28) == 32 && get32(data, 30) == biBitfields &&
                      get32(data, 54) == redMask && get32(data, 58) == greenMask &&
                      get32(data, 62) == blueMask && get32(data, 66) == alphaMask;
    if (!ours)
        return QImage::fromData(data, "BMP");
    const qint32 w = qint32(get32(data, 18));
    const qint32 signedHeight = qint32(get32(data, 22));
    const qint32 h = signedHeight < 0 ? -signedHeight : signedHeight;
    if (w <= 0 || h <= 0 || w > 4096 || h > 4096 ||
        data.size() < pixelOffset + qsizetype(w) * h * 4)
        return {};
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        const int stored = signedHeight < 0 ? y : h - 1 - y;
        std::memcpy(image.scanLine(y), data.constData() + pixelOffset + stored * w * 4,
                    size_t(w) * 4);
    }
    return image;
}
