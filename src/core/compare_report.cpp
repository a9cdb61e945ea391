#include "core/compare_report.h"

#include "core/file_system.h"
#include "core/folder_scan.h"
#include "core/name_text.h"
#include "core/row_matching.h"
#include "core/row_status.h"
#include "core/text_formats.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

const char* const usageText =
    "Usage: duoscope [FOLDER]\n"
    "       duoscope --compare SOURCE DESTINATION [--pattern PATTERN] [--hidden] [--system] "
    "[--json] [--changed]\n"
    "\n"
    "Without options, opens the window; a FOLDER becomes the Source folder and the\n"
    "folder to match it with is asked for.\n"
    "\n"
    "  --compare   print the two folders' files aligned row against row\n"
    "  --pattern   list only names matching PATTERN (default *.*)\n"
    "  --hidden    include hidden files (names starting with \".\")\n"
    "  --system    include entries that are not regular files\n"
    "  --json      print one JSON array of {\"source\", \"destination\", \"status\"}\n"
    "              objects\n"
    "  --changed   print only the rows whose files are not the same on both sides\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

struct Options {
    QByteArray source;
    QByteArray destination;
    FilterSettings filters;
    bool json = false;
    bool changedOnly = false;
};

struct Cell {
    QString name;
    qint64 size = 0;
    std::time_t modified = 0;
};

struct Row {
    std::optional<Cell> source;
    std::optional<Cell> destination;
    RowStatus status = RowStatus::Same;
};

std::optional<Options> parse(const QStringList& args, QTextStream& err) {
    Options o;
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
        } else if (a == QLatin1String("--hidden")) {
            o.filters.showHidden = 1;
        } else if (a == QLatin1String("--system")) {
            o.filters.showSystem = 1;
        } else if (a == QLatin1String("--json")) {
            o.json = true;
        } else if (a == QLatin1String("--changed")) {
            o.changedOnly = true;
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

std::vector<Row> compare(const Options& o) {
    checkFolder(o.source);
    checkFolder(o.destination);
    const QByteArray sourcePath = folderPath(o.source);
    const QByteArray destinationPath = folderPath(o.destination);
    SortedNameList list;
    scanFolders(list, sourcePath, destinationPath, o.filters);
    std::vector<Row> rows;
    for (const StatedRow& s : statRows(alignRows(list), list, sourcePath, destinationPath)) {
        Row row;
        row.status = rowStatus(s);
        if (o.changedOnly && row.status == RowStatus::Same)
            continue;
        if (s.row.source >= 0)
            row.source = Cell{list.at(s.row.source).name, s.source.size, s.source.modified};
        if (s.row.destination >= 0)
            row.destination =
                Cell{list.at(s.row.destination).name, s.destination.size, s.destination.modified};
        rows.push_back(std::move(row));
    }
    return rows;
}

QJsonValue jsonCell(const std::optional<Cell>& c) {
    if (!c)
        return QJsonValue::Null;
    const QString modified = isoLocalText(c->modified);
    return QJsonObject{{QStringLiteral("name"), c->name},
                       {QStringLiteral("size"), c->size},
                       {QStringLiteral("modified"),
                        modified.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(modified)}};
}

void printJson(const std::vector<Row>& rows, QTextStream& out) {
    QJsonArray array;
    for (const Row& r : rows)
        array.append(QJsonObject{{QStringLiteral("source"), jsonCell(r.source)},
                                 {QStringLiteral("destination"), jsonCell(r.destination)},
                                 {QStringLiteral("status"), rowStatusKey(r.status)}});
    out << QJsonDocument(array).toJson(QJsonDocument::Indented);
}

void printText(const std::vector<Row>& rows, QTextStream& out) {
    const TextFormats formats;
    struct Texts {
        QString name, size, modified;
    };
    auto texts = [&](const std::optional<Cell>& c) {
        return c ? Texts{c->name, formats.sizeText(c->size), formats.modifiedText(c->modified)}
                 : Texts{};
    };
    std::vector<std::pair<Texts, Texts>> lines;
    qsizetype nameWidth = 0, sizeWidth = 0, modifiedWidth = 0;
    for (const Row& r : rows) {
        lines.emplace_back(texts(r.source), texts(r.destination));
        const Texts& left = lines.back().first;
        nameWidth = std::max(nameWidth, left.name.size());
        sizeWidth = std::max(sizeWidth, left.size.size());
        modifiedWidth = std::max(modifiedWidth, left.modified.size());
    }
    for (const auto& [left, right] : lines) {
        QString line = left.name.leftJustified(nameWidth) + QLatin1String("  ") +
                       left.size.rightJustified(sizeWidth) + QLatin1String("  ") +
                       left.modified.leftJustified(modifiedWidth) + QLatin1String(" | ");
        if (!right.name.isEmpty())
            line += right.name + QLatin1String("  ") + right.size + QLatin1String("  ") +
                    right.modified;
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out << line << '\n';
    }
}

} // namespace

bool isReportInvocation(const QStringList& args) {
    if (args.isEmpty())
        return false;
    static const QStringList options = {QStringLiteral("--compare"), QStringLiteral("--pattern"),
                                        QStringLiteral("--hidden"),  QStringLiteral("--system"),
                                        QStringLiteral("--json"),    QStringLiteral("--changed"),
                                        QStringLiteral("--help"),    QStringLiteral("--version")};
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
        const std::vector<Row> rows = compare(*options);
        if (options->json)
            printJson(rows, out);
        else
            printText(rows, out);
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
