#include "core/name_text.h"

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid.
int validSequenceLength(const QByteArray& s, qsizetype i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80)
        return 1;
    int len = 0;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString nameText(const QByteArray& fileName) {
    qsizetype i = 0;
    for (; i < fileName.size(); ++i) {
        if (static_cast<unsigned char>(fileName[i]) >= 0x80)
            break;
    }
    if (i == fileName.size())
        return QString::fromLatin1(fileName); // plain ASCII, the common case

    QString text;
    qsizetype start = 0;
    i = 0;
    while (i < fileName.size()) {
        const int len = validSequenceLength(fileName, i);
        if (len > 0) {
            i += len;
            continue;
        }
        text += QString::fromUtf8(fileName.mid(start, i - start));
        const auto byte = static_cast<unsigned char>(fileName[i]);
        text += QLatin1String("\\x") +
                QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        ++i;
        start = i;
    }
    text += QString::fromUtf8(fileName.mid(start));
    return text;
}

QString folderPath(const QString& folderText) {
    if (folderText.endsWith(QLatin1Char('/')))
        return folderText;
    return folderText + QLatin1Char('/');
}
