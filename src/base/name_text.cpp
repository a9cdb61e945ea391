#include "base/name_text.h"

#include <algorithm>

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid;
// `cp` receives its code point.
int validSequenceLength(const QByteArray& s, qsizetype i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    cp = b0;
    if (b0 < 0x80)
        return 1;
    int len = 0;
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

bool isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

int hexValue(char32_t c) {
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    return -1;
}

char32_t codeOf(char c) {
    return static_cast<unsigned char>(c);
}
char32_t codeOf(QChar c) {
    return c.unicode();
}

// True when s[i] starts "xNN" or "XNN".
template <typename Text> bool startsHexEscapeBody(const Text& s, qsizetype i) {
    return i >= 0 && i + 2 < s.size() && (codeOf(s[i]) == 'x' || codeOf(s[i]) == 'X') &&
           hexValue(codeOf(s[i + 1])) >= 0 && hexValue(codeOf(s[i + 2])) >= 0;
}

// Bytes that show escaped, as the decoder sees them: the byte at `i` is
// escaped when it is not valid UTF-8 or belongs to a control character.
int escapedRun(const QByteArray& s, qsizetype i) {
    char32_t cp = 0;
    const int len = validSequenceLength(s, i, cp);
    if (len == 0)
        return 1;
    return isControl(cp) ? len : 0;
}

// Appends "\xNN" for each of the `len` bytes (at least one) at s[i], moving i past them.
void appendEscaped(QByteArray& out, const QByteArray& s, qsizetype& i, int len) {
    static const char digits[] = "0123456789ABCDEF";
    for (int k = 0; k < std::max(len, 1); ++k, ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        out += "\\x";
        out += digits[b >> 4];
        out += digits[b & 15];
    }
}

} // namespace

QString nameText(const QByteArray& fileName) {
    bool plain = true;
    for (const char c : fileName) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x7F || b < 0x20 || b == '\\') {
            plain = false;
            break;
        }
    }
    if (plain)
        return QString::fromLatin1(fileName); // printable ASCII, the common case

    QByteArray out; // UTF-8 of the text
    out.reserve(fileName.size() + 8);
    qsizetype i = 0;
    while (i < fileName.size()) {
        char32_t cp = 0;
        const int len = validSequenceLength(fileName, i, cp);
        if (len == 0 || isControl(cp)) {
            appendEscaped(out, fileName, i, len);
            continue;
        }
        out += fileName.mid(i, len);
        i += len;
        if (cp == '\\' && i < fileName.size() &&
            (fileName[i] == '\\' || escapedRun(fileName, i) > 0 ||
             startsHexEscapeBody(fileName, i)))
            out += '\\';
    }
    return QString::fromUtf8(out);
}

QString lineText(const QByteArray& line) {
    QByteArray out;
    out.reserve(line.size() + 8);
    for (qsizetype i = 0; i < line.size();) {
        char32_t cp = 0;
        const int len = validSequenceLength(line, i, cp);
        if (len == 0 || (isControl(cp) && cp != '\t')) {
            appendEscaped(out, line, i, len);
            continue;
        }
        out += line.mid(i, len);
        i += len;
    }
    return QString::fromUtf8(out);
}

QString editableText(const QByteArray& line) {
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size();) {
        char32_t cp = 0;
        const int len = validSequenceLength(line, i, cp);
        if (len == 0 || (isControl(cp) && cp != '\t')) {
            for (int k = 0; k < std::max(len, 1); ++k, ++i)
                out += QChar(char16_t(0xDC00 + static_cast<unsigned char>(line[i])));
            continue;
        }
        out += QString::fromUcs4(&cp, 1);
        i += len;
    }
    return out;
}

namespace {

// A character of editableText that stands for a byte shown escaped.
bool standsForByte(QStringView text, qsizetype i) {
    return text[i].isLowSurrogate() && text[i].unicode() <= 0xDCFF &&
           (i == 0 || !text[i - 1].isHighSurrogate());
}

} // namespace

QByteArray editedBytes(QStringView text) {
    QByteArray out;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!standsForByte(text, i))
            continue;
        out += text.mid(start, i - start).toUtf8();
        out += char(text[i].unicode() - 0xDC00);
        start = i + 1;
    }
    return out + text.mid(start).toUtf8();
}

qsizetype shownColumn(QStringView editable, qsizetype column) {
    qsizetype shown = column;
    for (qsizetype i = 0; i < std::min(column, editable.size()); ++i)
        shown += standsForByte(editable, i) ? 3 : 0;
    return shown;
}

qsizetype editableColumn(QStringView editable, qsizetype shown) {
    qsizetype i = 0;
    for (qsizetype at = 0; i < editable.size(); ++i) {
        at += standsForByte(editable, i) ? 4 : 1;
        if (at > shown)
            break;
    }
    return i;
}

QByteArray nameBytes(const QString& text) {
    if (!text.contains(QLatin1Char('\\')))
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\'))
            continue;
        if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\\')) {
            out += QStringView(text).mid(start, i + 1 - start).toUtf8();
            start = i + 2;
            ++i;
        } else if (startsHexEscapeBody(QStringView(text), i + 1)) {
            out += QStringView(text).mid(start, i - start).toUtf8();
            out += char(hexValue(text[i + 2].unicode()) * 16 + hexValue(text[i + 3].unicode()));
            start = i + 4;
            i += 3;
        }
    }
    out += QStringView(text).mid(start).toUtf8();
    return out;
}

QString folderPath(const QString& folderText) {
    if (folderText.endsWith(QLatin1Char('/')))
        return folderText;
    return folderText + QLatin1Char('/');
}

QByteArray folderPath(const QByteArray& folder) {
    if (folder.endsWith('/'))
        return folder;
    return folder + '/';
}
