#include "text/diff_command.h"

#include <QStringList>
#include <optional>

namespace {

// The words of a command line, or nothing when a quote is left open.
std::optional<QStringList> splitWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote; // the open quote, or null
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quote == QLatin1Char('\'')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (quote == QLatin1Char('"')) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (!quote.isNull())
        return std::nullopt;
    if (inWord)
        words << word;
    return words;
}

} // namespace

QList<QByteArray> diffCommandArguments(const QString& commandLine, const QByteArray& firstPath,
                                       const QByteArray& secondPath) {
    const std::optional<QStringList> words = splitWords(commandLine);
    if (!words || words->isEmpty())
        return {};
    QList<QByteArray> arguments;
    bool placed = false;
    for (const QString& word : *words) {
        const QByteArray text = word.toUtf8();
        QByteArray argument;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            if (text[i] == '%' && (next == '1' || next == '2' || next == '%')) {
                argument += next == '1' ? firstPath : next == '2' ? secondPath : QByteArray("%");
                placed = placed || next != '%';
                ++i;
            } else {
                argument += text[i];
            }
        }
        arguments << argument;
    }
    if (!placed)
        arguments << firstPath << secondPath;
    return arguments;
}
