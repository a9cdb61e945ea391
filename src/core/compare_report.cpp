#include "core/compare_report.h"

#include "core/content_check.h"
#include "core/deep_stack.h"
#include "core/digest_cache.h"
#include "core/file_system.h"
#include "core/folder_scan.h"
#include "core/name_text.h"
#include "core/row_matching.h"
#include "core/row_status.h"
#include "core/text_formats.h"
#include "core/tree_compare.h"
#include "core/unique_fd.h"

#include <QFileDevice>
#include <QIODevice>
#include <QTextStream>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

const char* const usageText =
    "Usage: duoscope [SOURCE [DESTINATION]]\n"
    "       duoscope FILE1 FILE2\n"
    "       duoscope --compare SOURCE DESTINATION [--recursive] [--contents] [--tolerance N]\n"
    "                [--pattern PATTERN] [--exclude PATTERN]... [--hidden] [--system]\n"
    "                [--json] [--changed]\n"
    "\n"
    "Without options, opens the window on the two folders (those of the last\n"
    "session when none is given); with SOURCE alone, the folder to match it with\n"
    "is asked for. Two files are shown side by side as Compare Files shows them.\n"
    "Relative paths are taken from the current folder.\n"
    "\n"
    "  --compare   print the two folders' files aligned row against row\n"
    "  -r, --recursive\n"
    "              print the folders too, each followed by what it holds, every\n"
    "              path relative to SOURCE and DESTINATION; a folder's status says\n"
    "              what lies below it (links are compared, never followed)\n"
    "  -c, --contents\n"
    "              compare the contents of files of equal size: equal contents\n"
    "              are \"same\" (or \"same-contents\" at other times), other\n"
    "              contents differ whatever the times; without it, files of equal\n"
    "              size and time are \"same\" unread\n"
    "  --tolerance N\n"
    "              times within N seconds count as equal (default 2)\n"
    "  --pattern   list only names matching PATTERN (default *.*)\n"
    "  --exclude PATTERN\n"
    "              leave out the files and folders (and all below them) whose name\n"
    "              matches PATTERN, or with a \"/\" in it, whose path relative to\n"
    "              SOURCE and DESTINATION does; may be given several times\n"
    "  --hidden    include hidden files (names starting with \".\")\n"
    "  --system    include entries that are not regular files\n"
    "  --json      print one JSON array of {\"source\", \"destination\", \"status\"}\n"
    "              objects (and \"path\" with --recursive)\n"
    "  --changed   print only the rows whose files are not the same on both sides\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

struct Options {
    QByteArray source;
    QByteArray destination;
    FilterSettings filters;
    bool json = false;
    bool changedOnly = false;
    bool recursive = false;
    bool contents = false;
};

std::optional<Options> parse(const QStringList& args, QTextStream& err) {
    Options o;
    o.filters.showSubfolders = 0; // the files of the two folders alone, unless --recursive
    QStringList folders;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--compare")) {
            continue;
        } else if (a == QLatin1String("--pattern")) {
            if (++i == args.size()) {
                err << "duoscope: --pattern needs a pattern\n";
                return std::nullopt;
            }
            o.filters.fileTypes = args[i];
        } else if (a == QLatin1String("--exclude")) {
            if (++i == args.size()) {
                err << "duoscope: --exclude needs a pattern\n";
                return std::nullopt;
            }
            o.filters.excludeNames += QLatin1Char(';') + args[i];
        } else if (a == QLatin1String("--hidden")) {
            o.filters.showHidden = 1;
        } else if (a == QLatin1String("--system")) {
            o.filters.showSystem = 1;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--changed")) {
            o.changedOnly = true;
        } else if (a == QLatin1String("--contents") || a == QLatin1String("-c")) {
            o.contents = true;
        } else if (a == QLatin1String("--tolerance")) {
            bool ok = false;
            const int seconds = ++i < args.size() ? args[i].toInt(&ok) : 0;
            if (!ok || seconds < 0) {
                err << "duoscope: --tolerance needs a number of seconds\n";
                return std::nullopt;
            }
            o.filters.times.tolerance = seconds;
        } else if (a == QLatin1String("--recursive") || a == QLatin1String("-r")) {
            o.recursive = true;
            o.filters.showSubfolders = 1;
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "duoscope: unknown option " << a << "\n";
            return std::nullopt;
        } else {
            folders << a;
        }
    }
    if (folders.size() != 2) {
        err << "duoscope: --compare needs a SOURCE and a DESTINATION folder\n" << usageText;
        return std::nullopt;
    }
    if (folders[0].isEmpty() || folders[1].isEmpty()) {
        err << "duoscope: the " << (folders[0].isEmpty() ? "SOURCE" : "DESTINATION")
            << " folder name is empty\n";
        return std::nullopt;
    }
    o.source = FileSystem::encode(folders[0]);
    o.destination = FileSystem::encode(folders[1]);
    return o;
}

// The window shows a missing folder as empty; a report names it, with the
// reason when it is there but cannot be entered.
void checkFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno == ENOENT)
        throw FsError(ENOENT, nameText(folder), QStringLiteral("no such folder"));
    throw FsError::fromErrno(errno, nameText(folder));
}

// The bytes that name a row: its Source name, or Destination's where Source
// has none.
QByteArray rowName(const FolderRows& rows, qsizetype r) {
    const RowPair& p = rows.rows[size_t(r)];
    return (p.source >= 0 ? rows.source.fileName(p.source)
                          : rows.destination.fileName(p.destination))
        .toByteArray();
}

// Both folders' rows, and with --recursive the levels below them.
std::unique_ptr<TreeLevel> compare(const Options& o, DigestCache* cache) {
    checkFolder(o.source);
    checkFolder(o.destination);
    if (o.recursive) {
        TreeOptions tree;
        tree.filters = o.filters;
        tree.contents = o.contents;
        tree.cache = cache;
        return readTrees(folderPath(o.source), folderPath(o.destination), tree);
    }
    auto top = std::make_unique<TreeLevel>();
    top->rows =
        std::move(*compareFolders(folderPath(o.source), folderPath(o.destination), o.filters));
    if (o.contents) {
        const UniqueFd a{::open(o.source.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const UniqueFd b{::open(o.destination.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const std::atomic<bool> never{false};
        FolderRows& rows = top->rows;
        for (qsizetype r = 0; r < rows.count(); ++r) {
            if (decidedByContents(rows, r))
                checkRowContents(rows, r, a.fd, b.fd, o.filters.times, never, cache);
        }
    }
    return top;
}

// Visits every row of `level`, each folder row followed by the level below
// it; `path` is the bytes of the rows' folder relative to the top ("" or
// ending with "/").
template <typename Visit>
void forEachRow(const TreeLevel& level, const QByteArray& path, const Visit& visit) {
    size_t next = 0;
    for (qsizetype r = 0; r < level.rows.count(); ++r) {
        visit(level.rows, r, path);
        if (next < level.below.size() && level.below[next].first == r)
            forEachRow(*level.below[next++].second, path + rowName(level.rows, r) + '/', visit);
    }
}

// The report goes out in pieces of about this size, so its memory stays flat
// whatever the number of rows.
constexpr qsizetype chunkBytes = 1 << 16;

// Writes the pieces to the stream's device when it has one (as UTF-8, which
// the stream would write), else into the stream.
class ReportWriter {
public:
    explicit ReportWriter(QTextStream& out) : m_out(out) { m_buffer.reserve(chunkBytes + 4096); }
    QByteArray& buffer() { return m_buffer; }
    void maybeFlush() {
        if (m_buffer.size() >= chunkBytes)
            flush();
    }
    void flush() {
        if (m_buffer.isEmpty())
            return;
        if (QIODevice* device = m_out.device()) {
            m_out.flush();
            if (m_failed || device->write(m_buffer) != m_buffer.size())
                m_failed = true;
        } else {
            m_out << QString::fromUtf8(m_buffer);
        }
        m_buffer.clear();
    }
    bool failed() const { return m_failed; }
    // The last piece written and the file's own buffer flushed: a full disk
    // may refuse only that, however small the report.
    void finish() {
        flush();
        if (auto* file = qobject_cast<QFileDevice*>(m_out.device()); file && !file->flush())
            m_failed = true;
    }

private:
    QTextStream& m_out;
    QByteArray m_buffer;
    bool m_failed = false;
};

// A JSON string as QJsonDocument writes it.
void appendJsonString(QByteArray& out, const QString& text) {
    out += '"';
    for (const char c : text.toUtf8()) {
        const uchar u = static_cast<uchar>(c);
        if (u == '"' || u == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            const char* named = u == '\b'   ? "\\b"
                                : u == '\f' ? "\\f"
                                : u == '\n' ? "\\n"
                                : u == '\r' ? "\\r"
                                : u == '\t' ? "\\t"
                                            : nullptr;
            if (named) {
                out += named;
            } else {
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 15];
            }
        } else {
            out += c;
        }
    }
    out += '"';
}

// A name as a JSON string: printable ASCII without a quote or a backslash
// (most names) is its bytes, anything else goes through its shown text.
template <typename ShownName>
void appendJsonName(QByteArray& out, QByteArrayView bytes, ShownName shown) {
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7e || c == '\\' || c == '"') {
            appendJsonString(out, shown());
            return;
        }
    }
    out += '"';
    out.append(bytes);
    out += '"';
}

// One side of a row in QJsonDocument's indented form, keys in its order.
void appendJsonCell(QByteArray& out, const char* key, const FolderListing& listing, qint32 i) {
    out += "        \"";
    out += key;
    out += "\": ";
    if (i < 0) {
        out += "null";
        return;
    }
    const FileStat st = listing.stat(i);
    const QString modified = isoLocalText(st.modified);
    out += "{\n            ";
    if (st.folder)
        out += "\"folder\": true,\n            ";
    out += "\"modified\": ";
    if (modified.isNull())
        out += "null";
    else
        out += '"' + modified.toLatin1() + '"';
    out += ",\n            \"name\": ";
    appendJsonName(out, listing.fileName(i), [&] { return listing.name(i); });
    if (!st.folder) {
        out += ",\n            \"size\": ";
        out += QByteArray::number(st.size);
    }
    out += "\n        }";
}

bool shown(const Options& o, const RowPair& r) {
    return !o.changedOnly || isDifference(r.status);
}

// The same text as QJsonDocument(array).toJson(Indented), one row at a time.
void printJson(const Options& o, const TreeLevel& top, ReportWriter& writer) {
    QByteArray& out = writer.buffer();
    out += '[';
    bool first = true;
    forEachRow(top, {}, [&](const FolderRows& rows, qsizetype row, const QByteArray& path) {
        const RowPair& r = rows.rows[size_t(row)];
        if (!shown(o, r))
            return;
        out += first ? "\n    {\n" : ",\n    {\n";
        first = false;
        appendJsonCell(out, "destination", rows.destination, r.destination);
        out += ",\n";
        if (o.recursive) {
            const QByteArray full = path + rowName(rows, row);
            out += "        \"path\": ";
            appendJsonName(out, full, [&] { return nameText(full); });
            out += ",\n";
        }
        appendJsonCell(out, "source", rows.source, r.source);
        out += ",\n        \"status\": ";
        appendJsonString(out, rowStatusKey(r.status));
        out += "\n    }";
        writer.maybeFlush();
    });
    out += "\n]\n";
}

// Left columns padded to the widest text of each: a first pass measures,
// the second writes, so no line is held. Below the top, names are paths, a
// folder's ending with "/".
void printText(const Options& o, const TreeLevel& top, ReportWriter& writer) {
    const TextFormats formats;
    struct Texts {
        QString name, size, modified;
    };
    auto texts = [&](const FolderListing& listing, qint32 i, const QByteArray& path) {
        if (i < 0)
            return Texts{};
        const FileStat st = listing.stat(i);
        QString name = path.isEmpty() ? listing.name(i) : nameText(path) + listing.name(i);
        if (st.folder)
            name += QLatin1Char('/');
        return Texts{name, st.folder ? QString() : formats.sizeText(st.size),
                     formats.modifiedText(st.modified, true)};
    };
    qsizetype nameWidth = 0, sizeWidth = 0, modifiedWidth = 0, statusWidth = 0;
    forEachRow(top, {}, [&](const FolderRows& rows, qsizetype row, const QByteArray& path) {
        const RowPair& r = rows.rows[size_t(row)];
        if (!shown(o, r))
            return;
        statusWidth = std::max(statusWidth, rowStatusKey(r.status).size());
        if (r.source < 0)
            return;
        const Texts left = texts(rows.source, r.source, path);
        nameWidth = std::max(nameWidth, left.name.size());
        sizeWidth = std::max(sizeWidth, left.size.size());
        modifiedWidth = std::max(modifiedWidth, left.modified.size());
    });
    QString line;
    forEachRow(top, {}, [&](const FolderRows& rows, qsizetype row, const QByteArray& path) {
        const RowPair& r = rows.rows[size_t(row)];
        if (!shown(o, r))
            return;
        const Texts left = texts(rows.source, r.source, path);
        const Texts right = texts(rows.destination, r.destination, path);
        line = left.name.leftJustified(nameWidth) + QLatin1String("  ") +
               left.size.rightJustified(sizeWidth) + QLatin1String("  ") +
               left.modified.leftJustified(modifiedWidth) + QLatin1String(" | ") +
               rowStatusKey(r.status).leftJustified(statusWidth) + QLatin1String(" | ");
        if (!right.name.isEmpty())
            line += right.name + QLatin1String("  ") + right.size + QLatin1String("  ") +
                    right.modified;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        writer.buffer() += line.toUtf8();
        writer.buffer() += '\n';
        writer.maybeFlush();
    });
}

} // namespace

bool isReportInvocation(const QStringList& args) {
    if (args.isEmpty())
        return false;
    static const QStringList options = {
        QStringLiteral("--compare"),  QStringLiteral("--pattern"),  QStringLiteral("--hidden"),
        QStringLiteral("--system"),   QStringLiteral("--json"),     QStringLiteral("--changed"),
        QStringLiteral("--help"),     QStringLiteral("--version"),  QStringLiteral("--recursive"),
        QStringLiteral("-r"),         QStringLiteral("--contents"), QStringLiteral("-c"),
        QStringLiteral("--tolerance")};
    return options.contains(args.first());
}

int runCompareReport(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.contains(QLatin1String("--help"))) {
        out << usageText;
        return 0;
    }
    if (args.contains(QLatin1String("--version"))) {
        out << "duoscope " << DUOSCOPE_VERSION << '\n';
        return 0;
    }
    const std::optional<Options> options = parse(args, err);
    if (!options)
        return 1;
    try {
        onDeepStack([&] {
            std::unique_ptr<DigestCache> cache;
            if (options->contents)
                cache = std::make_unique<DigestCache>();
            const std::unique_ptr<TreeLevel> rows = compare(*options, cache.get());
            if (cache)
                cache->save();
            ReportWriter writer(out);
            if (options->json)
                printJson(*options, *rows, writer);
            else
                printText(*options, *rows, writer);
            writer.finish();
            if (writer.failed())
                out.setStatus(QTextStream::WriteFailed);
            return true;
        });
    } catch (const FsError& e) {
        err << "duoscope: cannot read " << e.path() << ": " << e.reason() << '\n';
        return 2;
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        const QIODevice* device = out.device();
        err << "duoscope: cannot write the report: "
            << (device ? device->errorString() : QStringLiteral("write failed")) << '\n';
        return 3;
    }
    return 0;
}
