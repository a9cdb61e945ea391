#include "compare/compare_report.h"

#include "base/deep_stack.h"
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/content_check.h"
#include "compare/digest_cache.h"
#include "compare/report_pieces.h"
#include "compare/row_matching.h"
#include "compare/row_spool.h"
#include "compare/row_status.h"
#include "compare/tree_compare.h"
#include "fs/file_system.h"
#include "fs/folder_scan.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"

#include <QFileDevice>
#include <QIODevice>
#include <QTextStream>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// The bytes that name a row: its Source name, or Destination's where Source
// has none.
QByteArrayView rowName(const FolderRows& rows, qsizetype r) {
    const RowPair& p = rows.rows[size_t(r)];
    return p.source >= 0 ? rows.source.fileName(p.source)
                         : rows.destination.fileName(p.destination);
}

bool shown(const ReportOptions& o, RowStatus status) {
    return !o.changedOnly || isDifference(status);
}

// The report's rows as the walk tells them. JSON rows are written as they
// are told, but those below a folder whose status is not yet known, which
// wait in a spool until it is; the text form's rows all wait there while
// its column widths are measured, and are read back at the end: no tree is
// kept, whatever the number of rows.
class ReportRows : public TreeRows {
public:
    ReportRows(const ReportOptions& o, QTextStream& err, ReportWriter& writer)
        : m_options(o), m_err(err), m_writer(writer) {}

    void row(const FolderRows& rows, qsizetype r, const QByteArray& path, bool below) override {
        const RowPair& p = rows.rows[size_t(r)];
        m_bytes.resize(0); // keeps its capacity
        ColumnWidths widths;
        if (m_options.json) {
            Gather out(m_bytes);
            appendJsonCell(out, "destination", rows.destination, p.destination);
            out.text(",\n");
            if (m_options.recursive) {
                out.text("        \"path\": ");
                const QByteArrayView name = rowName(rows, r);
                if (plainJson(path) && plainJson(name)) {
                    out.text("\"");
                    out.put(path);
                    out.put(name);
                    out.text("\"");
                } else {
                    const QByteArray full = path + name.toByteArray();
                    appendJsonName(out, full, [&] { return nameText(full); });
                }
                out.text(",\n");
            }
            appendJsonCell(out, "source", rows.source, p.source);
            out.text(",\n        \"status\": ");
        } else {
            // The folder's path once, each side's name after it.
            if (path != m_path) {
                m_path = path;
                m_pathText = nameText(path);
            }
            const SideTexts left = sideTexts(m_formats, rows.source, p.source);
            if (p.source >= 0)
                widths.widen(left, m_pathText.size());
            const SideTexts right = sideTexts(m_formats, rows.destination, p.destination);
            for (const QString& field : {m_pathText, left.name, left.size, left.modified,
                                         right.name, right.size, right.modified})
                appendField(field);
        }
        if (m_options.json && m_open.empty() && !below) {
            writeJson(p.status, m_bytes);
            return;
        }
        const qint64 at = m_spool.append(quint8(p.status), m_bytes);
        if (below)
            m_open.push_back({&rows, r, at, widths});
        else if (p.status == RowStatus::Checking) // its contents still being read
            m_late.push_back({&rows, r, at, widths});
        else
            measure(p.status, widths);
    }

    bool takesLateStatuses() const override { return true; }

    void decided(const FolderRows& rows, const std::vector<qsizetype>&) override {
        std::erase_if(m_late, [&](const Open& late) {
            if (late.rows != &rows)
                return false;
            m_spool.setStatus(late.record, quint8(rows.status(late.row)));
            measure(rows.status(late.row), late.widths);
            return true;
        });
    }

    void settled(const FolderRows& rows, qsizetype r, const QByteArray&) override {
        // The last one told, unless a folder was left while its files were read.
        auto it = m_open.end();
        do
            --it;
        while (it != m_open.begin() && !(it->rows == &rows && it->row == r));
        const Open open = *it;
        m_open.erase(it);
        m_spool.setStatus(open.record, quint8(rows.status(r)));
        measure(rows.status(r), open.widths);
        if (m_options.json && m_open.empty()) {
            m_spool.replay(
                [&](quint8 byte, QByteArrayView bytes) { writeJson(RowStatus(byte), bytes); });
            m_spool.clear();
        }
    }

    void unreadable(const QByteArray& path, int error) override {
        m_err << "duoscope: cannot read " << nameText(path) << ": "
              << FsError::fromErrno(error, {}).reason() << '\n';
        m_unreadable = true;
    }
    bool anyUnreadable() const { return m_unreadable; }

    // The same text as QJsonDocument(array).toJson(Indented), or the text
    // form's lines, left columns padded to the widest text of each.
    void finish() {
        if (m_options.json) {
            m_writer.buffer() += m_started ? "\n]\n" : "[\n]\n";
            return;
        }
        QByteArray& out = m_writer.buffer();
        m_spool.replay([&](quint8 byte, QByteArrayView bytes) {
            const auto status = RowStatus(byte);
            if (!shown(m_options, status))
                return;
            QString fields[7]; // path, then name, size and time of each side
            for (QString& field : fields) {
                quint32 length = 0;
                std::memcpy(&length, bytes.data(), sizeof length);
                field = QString::fromUtf8(bytes.sliced(sizeof length, length));
                bytes = bytes.sliced(sizeof length + length);
            }
            appendTextLine(out, fields[0], {fields[1], fields[2], fields[3]},
                           {rowStatusKey(status).leftJustified(m_status)},
                           {fields[4], fields[5], fields[6]}, m_widths);
            m_writer.maybeFlush();
        });
    }

private:
    void writeJson(RowStatus status, QByteArrayView bytes) {
        if (!shown(m_options, status))
            return;
        QByteArray& key = m_statusKeys[int(status)];
        if (key.isEmpty())
            appendJsonString(key, rowStatusKey(status));
        {
            Gather out(m_writer.buffer());
            out.put(m_started ? QByteArrayView(",\n    {\n") : QByteArrayView("[\n    {\n"));
            m_started = true;
            out.put(bytes);
            out.put(key);
            out.text("\n    }");
        }
        m_writer.maybeFlush();
    }
    void appendField(const QString& text) {
        const QByteArray bytes = text.toUtf8();
        const auto length = quint32(bytes.size());
        m_bytes.append(reinterpret_cast<const char*>(&length), sizeof length);
        m_bytes += bytes;
    }
    void measure(RowStatus status, const ColumnWidths& w) {
        if (!shown(m_options, status))
            return;
        m_status = std::max(m_status, rowStatusKey(status).size());
        m_widths.name = std::max(m_widths.name, w.name);
        m_widths.size = std::max(m_widths.size, w.size);
        m_widths.modified = std::max(m_widths.modified, w.modified);
    }
    // A row told before its status was known, and its record in the spool.
    struct Open {
        const FolderRows* rows;
        qsizetype row;
        qint64 record;
        ColumnWidths widths;
    };

    const ReportOptions& m_options;
    QTextStream& m_err;
    const TextFormats m_formats;
    ReportWriter& m_writer;
    RowSpool m_spool;
    QByteArray m_bytes;
    QByteArray m_path; // the folder of the last row told, and its text
    QString m_pathText;
    std::vector<Open> m_open; // the folder rows whose levels are being told
    std::vector<Open> m_late; // the file rows whose contents are being read
    ColumnWidths m_widths;
    qsizetype m_status = 0;
    bool m_unreadable = false;
    bool m_started = false;                  // the JSON array's first row is written
    QByteArray m_statusKeys[rowStatusCount]; // each as a JSON string, once met
};

// The contents of one level's pairs of equal size compared, each that
// could not be read told to `out`.
void checkContents(const ReportOptions& o, FolderRows& rows, const SideFolder& a,
                   const SideFolder& b, DigestCache* cache, ReadingPool* readers, ReportRows& out) {
    std::vector<qsizetype> which;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        if (decidedByContents(rows, r))
            which.push_back(r);
    }
    const std::atomic<bool> never{false};
    const std::vector<RowVerdict> verdicts =
        checkRowsContents(rows, which, a, b, o.filters.times, never, cache, nullptr, readers);
    for (size_t k = 0; k < which.size(); ++k) {
        if (verdicts[k].verdict == ContentVerdict::Unreadable) {
            rows.setStatus(which[k], RowStatus::Unreadable);
            out.unreadable(folderPath(o.source) + rowName(rows, which[k]).toByteArray(),
                           verdicts[k].error ? verdicts[k].error : EIO);
        }
    }
}

// The same where a folder lies on another host: each side's top entered
// and listed through its side.
void compareSides(const ReportOptions& o, DigestCache* cache, ReportRows& out, ChosenSide& a,
                  ChosenSide& b) {
    TreeOptions tree;
    tree.filters = o.filters;
    tree.contents = o.contents;
    tree.cache = cache;
    if (o.recursive)
        return walkTrees(*a.side, a.path, *b.side, b.path, tree, out);
    const std::unique_ptr<SideWalk> walkA = a.side->walk(), walkB = b.side->walk();
    if (!walkA->openTop(a.path, true))
        throw FsError::fromErrno(errno, nameText(o.source));
    if (!walkB->openTop(b.path, true))
        throw FsError::fromErrno(errno, nameText(o.destination));
    FolderRows rows;
    rows.source = a.side->list(walkA->place(), folderPath(o.source), o.filters, {});
    rows.destination = b.side->list(walkB->place(), folderPath(o.destination), o.filters, {});
    rows.rows = alignRows(rows.source, SortedNames(rows.source), rows.destination,
                          SortedNames(rows.destination));
    rows.computeStatuses(o.filters.times);
    const SideFolder inA{*a.side, walkA->place()}, inB{*b.side, walkB->place()};
    if (o.contents) {
        const std::atomic<bool> never{false};
        readContentsAhead(rows, inA, inB, &never);
        checkContents(o, rows, inA, inB, cache, nullptr, out);
    }
    for (qsizetype r = 0; r < rows.count(); ++r)
        out.row(rows, r, {}, false);
}

// Both folders' rows, and with --recursive the levels below them, told to `out`.
void compare(const ReportOptions& o, DigestCache* cache, ReportRows& out,
             const SideChooser& choose) {
    if (choose) {
        ChosenSide a = choose(o.source), b = choose(o.destination);
        if (a.remote || b.remote)
            return compareSides(o, cache, out, a, b);
    }
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
    ScanOptions scan;
    scan.identities = o.contents; // the one look at each file the content check goes by
    const std::shared_ptr<FolderRows> shared =
        compareFolders(folderPath(o.source), folderPath(o.destination), o.filters, scan);
    FolderRows& rows = *shared;
    if (o.contents) {
        const UniqueFd a{::open(o.source.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        const UniqueFd b{::open(o.destination.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        LocalSide local;
        const ReadingPlan plan = readingPlanFor(a.fd, b.fd);
        DiskTurns turns;
        ReadingPool readers(plan.readers, plan.takeTurns ? &turns : nullptr);
        checkContents(o, rows, {local, SidePlace::descriptor(a.fd)},
                      {local, SidePlace::descriptor(b.fd)}, cache, &readers, out);
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

int runCompareReport(const QStringList& args, QTextStream& out, QTextStream& err,
                     const SideChooser& choose) {
    if (args.contains(QLatin1String("--help"))) {
        out << reportUsage();
        return 0;
    }
    if (args.contains(QLatin1String("--version"))) {
        out << "duoscope " << DUOSCOPE_VERSION << '\n';
        return 0;
    }
    const std::optional<ReportOptions> options =
        parseReportOptions(args, err, "--compare", [](const QStringList& all, qsizetype& i) {
            return all[i] == QLatin1String("--compare");
        });
    if (!options)
        return 1;
    bool unreadable = false;
    try {
        onDeepStack([&] {
            std::unique_ptr<DigestCache> cache;
            if (options->contents)
                cache = std::make_unique<DigestCache>();
            ReportWriter writer(out);
            ReportRows rows(*options, err, writer);
            compare(*options, cache.get(), rows, choose);
            if (cache)
                cache->save();
            rows.finish();
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
