#include "compare/report_pieces.h"

#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/flat_rows.h"
#include "fs/file_system.h"
#include "fs/folder_scan.h"

#include <QFileDevice>
#include <QIODevice>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr qsizetype chunkBytes = 1 << 16;

const char* const usageText =
    "Usage: duoscope [SOURCE [DESTINATION]]\n"
    "       duoscope FILE1 FILE2\n"
    "       duoscope --compare SOURCE DESTINATION [--recursive] [--contents] [--tolerance N]\n"
    "                [--pattern PATTERN] [--exclude PATTERN]... [--hidden] [--system]\n"
    "                [--json] [--changed]\n"
    "       duoscope --sync update|update-source|both|mirror|two-way SOURCE DESTINATION\n"
    "                [--dry-run] [--permanently] [--delete-all] [--contents]\n"
    "                [--exclude PATTERN]... [--json]\n"
    "                [the other options of --compare]\n"
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
    "  --changed   print only the rows whose status is neither same nor\n"
    "              same-contents\n"
    "  --sync MODE make the two trees agree, without asking, and print what was\n"
    "              done row by row: update copies to DESTINATION what is newer or\n"
    "              only in SOURCE, update-source the reverse, both copies the newer\n"
    "              side each way, mirror makes DESTINATION exactly SOURCE (its\n"
    "              extras deleted, to the Trash, times carried), two-way is both\n"
    "              knowing the last run's state (every run saves it): deletions go\n"
    "              across, a file changed on both sides is a conflict; links are\n"
    "              copied as links; what the filters hide is never deleted; refused\n"
    "              (exit 2) when one folder is the other or lies inside it, or\n"
    "              two-way finds a side emptied; exit 1 when a row is a conflict\n"
    "              (differs at equal times, or in letter case): nothing is guessed,\n"
    "              2 when a file changed since the plan was left alone\n"
    "  --dry-run   with --sync: print the plan, do nothing\n"
    "  --permanently\n"
    "              with --sync: delete, and replace, for good instead of keeping\n"
    "              the files in the Trash\n"
    "  --delete-all\n"
    "              with --sync: let a run delete everything DESTINATION holds\n"
    "              (refused without it: an empty SOURCE may be a drive not mounted)\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

} // namespace

const char* reportUsage() {
    return usageText;
}

std::optional<ReportOptions>
parseReportOptions(const QStringList& args, QTextStream& err, const char* command,
                   const std::function<bool(const QStringList& args, qsizetype& i)>& own) {
    ReportOptions o;
    o.filters.showSubfolders = 0; // the files of the two folders alone, unless --recursive
    QStringList folders;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (own && own(args, i)) {
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
        err << "duoscope: " << command << " needs a SOURCE and a DESTINATION folder\n" << usageText;
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

ReportWriter::ReportWriter(QTextStream& out) : m_out(out) {
    m_buffer.reserve(chunkBytes + 4096);
}

void ReportWriter::maybeFlush() {
    if (m_buffer.size() >= chunkBytes)
        flush();
}

void ReportWriter::flush() {
    if (m_buffer.isEmpty())
        return;
    if (QIODevice* device = m_out.device()) {
        m_out.flush();
        if (m_failed || device->write(m_buffer) != m_buffer.size())
            m_failed = true;
    } else {
        m_out << QString::fromUtf8(m_buffer);
    }
    m_buffer.resize(0); // keeps its capacity
}

void ReportWriter::finish() {
    flush();
    if (auto* file = qobject_cast<QFileDevice*>(m_out.device()); file && !file->flush())
        m_failed = true;
}

void appendBytes(QByteArray& out, QByteArrayView bytes) {
    const qsizetype at = out.size(), n = bytes.size();
    if (out.capacity() < at + n)
        out.reserve(std::max(2 * out.capacity(), at + n));
    out.resize(at + n);
    std::memcpy(out.data() + at, bytes.data(), size_t(n));
}

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

bool plainJson(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7e && c != '\\' && c != '"'; });
}

void appendJsonName(Gather& out, QByteArrayView bytes, const std::function<QString()>& shown) {
    if (!plainJson(bytes))
        return appendJsonString(out.flushed(), shown());
    out.text("\"");
    out.put(bytes);
    out.text("\"");
}

void appendJsonName(QByteArray& out, QByteArrayView bytes, const std::function<QString()>& shown) {
    Gather gathered(out);
    appendJsonName(gathered, bytes, shown);
}

void appendJsonCell(Gather& out, const char* key, const FolderListing& listing, qint32 i,
                    bool lastPart) {
    out.text("        \"");
    out.put(key, qsizetype(std::strlen(key)));
    if (i < 0)
        return out.text("\": null");
    const FileStat st = listing.stat(i);
    out.text("\": {\n            ");
    if (st.folder)
        out.text("\"folder\": true,\n            ");
    out.text("\"modified\": ");
    char time[21];
    out.put(time, isoLocalJson(st.modified, time));
    out.text(",\n            \"name\": ");
    const QByteArrayView name = lastPart ? namePart(listing.fileName(i)) : listing.fileName(i);
    appendJsonName(out, name,
                   [&] { return lastPart ? nameText(name.toByteArray()) : listing.name(i); });
    if (!st.folder) {
        out.text(",\n            \"size\": ");
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, st.size).ptr;
        out.put(digits, end - digits);
    }
    out.text("\n        }");
}

void appendJsonCell(QByteArray& out, const char* key, const FolderListing& listing, qint32 i,
                    bool lastPart) {
    Gather gathered(out);
    appendJsonCell(gathered, key, listing, i, lastPart);
}

SideTexts sideTexts(const TextFormats& formats, const FolderListing& listing, qint32 i) {
    if (i < 0)
        return SideTexts{};
    const FileStat st = listing.stat(i);
    QString name = listing.name(i);
    if (st.folder)
        name += QLatin1Char('/');
    return SideTexts{name, st.folder ? QString() : formats.sizeText(st.size),
                     formats.modifiedText(st.modified, true)};
}

void ColumnWidths::widen(const SideTexts& source, qsizetype pathLength) {
    name = std::max(name, pathLength + source.name.size());
    size = std::max(size, source.size.size());
    modified = std::max(modified, source.modified.size());
}

void appendTextLine(QByteArray& out, const QString& path, const SideTexts& source,
                    const QStringList& middle, const SideTexts& destination,
                    const ColumnWidths& widths) {
    QString line =
        (source.name.isEmpty() ? QString() : path + source.name).leftJustified(widths.name) +
        QLatin1String("  ") + source.size.rightJustified(widths.size) + QLatin1String("  ") +
        source.modified.leftJustified(widths.modified) + QLatin1String(" | ");
    for (const QString& cell : middle)
        line += cell + QLatin1String(" | ");
    if (!destination.name.isEmpty())
        line += path + destination.name + QLatin1String("  ") + destination.size +
                QLatin1String("  ") + destination.modified;
    while (line.endsWith(QLatin1Char(' ')))
        line.chop(1);
    out += line.toUtf8();
    out += '\n';
}
