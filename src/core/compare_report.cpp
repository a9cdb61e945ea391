#include "core/compare_report.h"

#include "core/content_check.h"
#include "core/deep_stack.h"
#include "core/digest_cache.h"
#include "core/file_system.h"
#include "core/folder_scan.h"
#include "core/name_text.h"
#include "core/row_matching.h"
#include "core/row_spool.h"
#include "core/row_status.h"
#include "core/text_formats.h"
#include "core/tree_compare.h"
#include "core/unique_fd.h"

#include <QFileDevice>
#include <QIODevice>
#include <QTextStream>
#include <cerrno>
#include <cstring>
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

bool shown(const Options& o, RowStatus status) {
    return !o.changedOnly || isDifference(status);
}

// The report's rows as the walk tells them. Each row's texts go to a spool
// with its status (a folder's set once the rows below it are told), the
// text form's column widths are measured meanwhile, and the spool is read
// back into the report: no tree is kept, whatever the number of rows.
class ReportRows : public TreeRows {
public:
    ReportRows(const Options& o, QTextStream& err) : m_options(o), m_err(err) {}

    void row(const FolderRows& rows, qsizetype r, const QByteArray& path, bool below) override {
        const RowPair& p = rows.rows[size_t(r)];
        m_bytes.clear();
        Widths widths;
        if (m_options.json) {
            appendJsonCell(m_bytes, "destination", rows.destination, p.destination);
            m_bytes += ",\n";
            if (m_options.recursive) {
                const QByteArray full = path + rowName(rows, r);
                m_bytes += "        \"path\": ";
                appendJsonName(m_bytes, full, [&] { return nameText(full); });
                m_bytes += ",\n";
            }
            appendJsonCell(m_bytes, "source", rows.source, p.source);
            m_bytes += ",\n        \"status\": ";
        } else {
            // The folder's path once, each side's name after it.
            if (path != m_path) {
                m_path = path;
                m_pathText = nameText(path);
            }
            const Texts left = texts(rows.source, p.source);
            if (p.source >= 0)
                widths = {m_pathText.size() + left.name.size(), left.size.size(),
                          left.modified.size()};
            const Texts right = texts(rows.destination, p.destination);
            for (const QString& field : {m_pathText, left.name, left.size, left.modified,
                                         right.name, right.size, right.modified})
                appendField(field);
        }
        const qint64 at = m_spool.append(quint8(p.status), m_bytes);
        if (below)
            m_open.push_back({at, widths});
        else
            measure(p.status, widths);
    }

    void settled(const FolderRows& rows, qsizetype r, const QByteArray&) override {
        const Open open = m_open.back();
        m_open.pop_back();
        m_spool.setStatus(open.record, quint8(rows.status(r)));
        measure(rows.status(r), open.widths);
    }

    void unreadable(const QByteArray& path, int error) override {
        m_err << "duoscope: cannot read " << nameText(path) << ": "
              << FsError::fromErrno(error, {}).reason() << '\n';
        m_unreadable = true;
    }
    bool anyUnreadable() const { return m_unreadable; }

    // The same text as QJsonDocument(array).toJson(Indented), or the text
    // form's lines, left columns padded to the widest text of each.
    void print(ReportWriter& writer) {
        QByteArray& out = writer.buffer();
        if (m_options.json)
            out += '[';
        bool first = true;
        QString line;
        m_spool.replay([&](quint8 byte, QByteArrayView bytes) {
            const auto status = RowStatus(byte);
            if (!shown(m_options, status))
                return;
            if (m_options.json) {
                out += first ? "\n    {\n" : ",\n    {\n";
                first = false;
                out += bytes;
                appendJsonString(out, rowStatusKey(status));
                out += "\n    }";
            } else {
                QString fields[7]; // path, then name, size and time of each side
                for (QString& field : fields) {
                    quint32 length = 0;
                    std::memcpy(&length, bytes.data(), sizeof length);
                    field = QString::fromUtf8(bytes.sliced(sizeof length, length));
                    bytes = bytes.sliced(sizeof length + length);
                }
                const QString& path = fields[0];
                line = (fields[1].isEmpty() ? QString() : path + fields[1]).leftJustified(m_name) +
                       QLatin1String("  ") + fields[2].rightJustified(m_size) +
                       QLatin1String("  ") + fields[3].leftJustified(m_modified) +
                       QLatin1String(" | ") + rowStatusKey(status).leftJustified(m_status) +
                       QLatin1String(" | ");
                if (!fields[4].isEmpty())
                    line += path + fields[4] + QLatin1String("  ") + fields[5] +
                            QLatin1String("  ") + fields[6];
                while (line.endsWith(QLatin1Char(' ')))
                    line.chop(1);
                out += line.toUtf8();
                out += '\n';
            }
            writer.maybeFlush();
        });
        if (m_options.json)
            out += "\n]\n";
    }

private:
    struct Texts {
        QString name, size, modified;
    };
    // A folder's name ends with "/"; below the top, the folder's path goes before it.
    Texts texts(const FolderListing& listing, qint32 i) const {
        if (i < 0)
            return Texts{};
        const FileStat st = listing.stat(i);
        QString name = listing.name(i);
        if (st.folder)
            name += QLatin1Char('/');
        return Texts{name, st.folder ? QString() : m_formats.sizeText(st.size),
                     m_formats.modifiedText(st.modified, true)};
    }
    void appendField(const QString& text) {
        const QByteArray bytes = text.toUtf8();
        const auto length = quint32(bytes.size());
        m_bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
        m_bytes += bytes;
    }
    // The widths of a row's Source texts, when it has a Source side.
    struct Widths {
        qsizetype name = 0, size = 0, modified = 0;
    };
    void measure(RowStatus status, const Widths& w) {
        if (!shown(m_options, status))
            return;
        m_status = std::max(m_status, rowStatusKey(status).size());
        m_name = std::max(m_name, w.name);
        m_size = std::max(m_size, w.size);
        m_modified = std::max(m_modified, w.modified);
    }
    struct Open {
        qint64 record;
        Widths widths;
    };

    const Options& m_options;
    QTextStream& m_err;
    const TextFormats m_formats;
    RowSpool m_spool;
    QByteArray m_bytes;
    QByteArray m_path; // the folder of the last row told, and its text
    QString m_pathText;
    std::vector<Open> m_open; // the folder rows whose levels are being told
    qsizetype m_name = 0, m_size = 0, m_modified = 0, m_status = 0;
    bool m_unreadable = false;
};

// Both folders' rows, and with --recursive the levels below them, told to `out`.
void compare(const Options& o, DigestCache* cache, ReportRows& out) {
    checkFolder(o.source);
    checkFolder(o.destination);
    if (o.recursive) {
        TreeOptions tree;
        tree.filters = o.filters;
        tree.contents = o.contents;
        tree.cache = cache;
        walkTrees(folderPath(o.source), folderPath(o.destination), tree, out);
        return;
    }
    const std::shared_ptr<FolderRows> shared =
        compareFolders(folderPath(o.source), folderPath(o.destination), o.filters);
    FolderRows& rows = *shared;
    if (o.contents) {
        const UniqueFd a{::open(o.source.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const UniqueFd b{::open(o.destination.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const std::atomic<bool> never{false};
        for (qsizetype r = 0; r < rows.count(); ++r) {
            if (!decidedByContents(rows, r))
                continue;
            errno = 0;
            if (checkRowContents(rows, r, a.fd, b.fd, o.filters.times, never, cache) ==
                ContentVerdict::Unreadable) {
                rows.setStatus(r, RowStatus::Unreadable);
                out.unreadable(folderPath(o.source) + rowName(rows, r), errno ? errno : EIO);
            }
        }
    }
    for (qsizetype r = 0; r < rows.count(); ++r)
        out.row(rows, r, {}, false);
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
    bool unreadable = false;
    try {
        onDeepStack([&] {
            std::unique_ptr<DigestCache> cache;
            if (options->contents)
                cache = std::make_unique<DigestCache>();
            ReportRows rows(*options, err);
            compare(*options, cache.get(), rows);
            if (cache)
                cache->save();
            ReportWriter writer(out);
            rows.print(writer);
            writer.finish();
            if (writer.failed())
                out.setStatus(QTextStream::WriteFailed);
            unreadable = rows.anyUnreadable();
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
    return unreadable ? 2 : 0;
}
