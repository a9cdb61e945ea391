#pragma once

#include "fs/filter_settings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstring>
#include <functional>
#include <optional>

class FolderListing;
class QTextStream;
class TextFormats;

// What the command-line report and the synchronisation plan share: their
// options, the check of the two folders, and the pieces of their text and
// JSON output.

// The command-line help: the window's arguments, the report's and the plan's.
const char* reportUsage();

struct ReportOptions {
    QByteArray source;
    QByteArray destination;
    FilterSettings filters;
    bool json = false;
    bool changedOnly = false;
    bool recursive = false;
    bool contents = false;
};

// Reads the report's options and the two folders from `args`. `own` is
// offered every argument first and returns true for one it took (it may
// step `i` past a value). `command` names the command in messages. Tells
// what is wrong to `err` and gives nothing for bad arguments.
std::optional<ReportOptions>
parseReportOptions(const QStringList& args, QTextStream& err, const char* command,
                   const std::function<bool(const QStringList& args, qsizetype& i)>& own = {});

// Throws FsError naming the folder when it cannot be entered ("no such
// folder" when it is missing): the window shows such a folder as empty, a
// report names it.
void checkFolder(const QByteArray& folder);

// Bytes put at the end with a copy and no more: QByteArray's append goes
// through its general insert, which cost as much as reading the files in a
// report by contents.
void appendBytes(QByteArray& out, QByteArrayView bytes);

// Pieces gathered in a block of its own and put at the end of `out` in one
// copy, when the block is full and when it goes: a row is written in some
// twenty pieces, and each put into a QByteArray is a call into Qt.
class Gather {
public:
    explicit Gather(QByteArray& out) : m_out(out) {}
    ~Gather() { flush(); }
    Gather(const Gather&) = delete;
    Gather& operator=(const Gather&) = delete;
    void put(const char* bytes, qsizetype n) {
        if (m_used + n > qsizetype(sizeof m_block)) {
            flush();
            if (n > qsizetype(sizeof m_block))
                return appendBytes(m_out, QByteArrayView(bytes, n));
        }
        std::memcpy(m_block + m_used, bytes, size_t(n));
        m_used += n;
    }
    void put(QByteArrayView bytes) { put(bytes.data(), bytes.size()); }
    template <size_t N> void text(const char (&literal)[N]) { put(literal, N - 1); }
    // `out` itself, with everything gathered so far.
    QByteArray& flushed() {
        flush();
        return m_out;
    }

private:
    void flush() {
        if (m_used > 0)
            appendBytes(m_out, QByteArrayView(m_block, m_used));
        m_used = 0;
    }
    QByteArray& m_out;
    char m_block[1024];
    qsizetype m_used = 0;
};

// The output in pieces of about 64 KiB, so its memory stays flat whatever
// the number of rows: written to the stream's device when it has one (as
// UTF-8, which the stream would write), else into the stream.
class ReportWriter {
public:
    explicit ReportWriter(QTextStream& out);
    QByteArray& buffer() { return m_buffer; }
    void maybeFlush();
    void flush();
    bool failed() const { return m_failed; }
    // The last piece written and the file's own buffer flushed: a full disk
    // may refuse only that, however small the report.
    void finish();

private:
    QTextStream& m_out;
    QByteArray m_buffer;
    bool m_failed = false;
};

// A JSON string as QJsonDocument writes it.
void appendJsonString(QByteArray& out, const QString& text);
// Whether bytes are their own JSON string's text: printable ASCII without a
// quote or a backslash (most names).
bool plainJson(QByteArrayView bytes);
// A name as a JSON string: its bytes where they are plain, else its shown text.
void appendJsonName(Gather& out, QByteArrayView bytes, const std::function<QString()>& shown);
void appendJsonName(QByteArray& out, QByteArrayView bytes, const std::function<QString()>& shown);
// One side of a row in QJsonDocument's indented form, keys in its order; a
// negative `i` is null. With `lastPart`, the name is the part after the last
// "/" of the listed one (a flattened listing holds relative paths).
void appendJsonCell(Gather& out, const char* key, const FolderListing& listing, qint32 i,
                    bool lastPart = false);
void appendJsonCell(QByteArray& out, const char* key, const FolderListing& listing, qint32 i,
                    bool lastPart = false);

// One side's texts in the text form: a folder's name ends with "/".
struct SideTexts {
    QString name, size, modified;
};
SideTexts sideTexts(const TextFormats& formats, const FolderListing& listing, qint32 i);

// The widths of the text form's columns.
struct ColumnWidths {
    qsizetype name = 0, size = 0, modified = 0;
    void widen(const SideTexts& source, qsizetype pathLength = 0);
};
// One line of the text form: Source's name, size and time padded to the
// columns, " | " and the `middle` cells each followed by " | ", then
// Destination's (each name after `path`), trailing blanks cut, a line feed.
void appendTextLine(QByteArray& out, const QString& path, const SideTexts& source,
                    const QStringList& middle, const SideTexts& destination,
                    const ColumnWidths& widths);
