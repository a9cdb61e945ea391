#include "fileops/sync_command.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/digest_cache.h"
#include "compare/report_pieces.h"
#include "fileops/command_host.h"
#include "fileops/file_texts.h"
#include "fileops/sync_guards.h"
#include "fileops/sync_run.h"
#include "fileops/sync_sides.h"
#include "fs/file_system.h"
#include "fs/folder_chain.h"
#include "fs/unique_fd.h"
#include "remote/side_for.h"
#include "sync/sync_plan.h"

#include <QIODevice>
#include <QTextStream>
#include <fcntl.h>

namespace {

// One plan entry in QJsonDocument's indented form: the report's row with
// its "action".
void appendJsonEntry(QByteArray& out, const SyncPlan& plan, const SyncEntry& e) {
    const FolderRows& rows = *plan.rows;
    const RowPair& p = rows.rows[size_t(e.row)];
    out += "    {\n        \"action\": ";
    appendJsonString(out, syncActionKey(e.action));
    out += ",\n";
    appendJsonCell(out, "destination", rows.destination, p.destination, true);
    out += ",\n        \"path\": ";
    const QByteArrayView path = plan.path(e, p.source >= 0 ? Side::Source : Side::Destination);
    appendJsonName(out, path, [&] { return nameText(path.toByteArray()); });
    out += ",\n";
    appendJsonCell(out, "source", rows.source, p.source, true);
    out += ",\n        \"status\": ";
    appendJsonString(out, rowStatusKey(p.status));
    out += "\n    }";
}

void print(const SyncPlan& plan, bool json, bool toTrash, ReportWriter& writer) {
    const FolderRows& rows = *plan.rows;
    QByteArray& out = writer.buffer();
    if (json) {
        out += '[';
        for (const SyncEntry& e : plan.entries) {
            out += &e == plan.entries.data() ? "\n" : ",\n";
            appendJsonEntry(out, plan, e);
            writer.maybeFlush();
        }
        out += plan.entries.empty() ? "]\n" : "\n]\n";
        return;
    }
    const TextFormats formats;
    ColumnWidths widths;
    qsizetype status = 0, action = 0;
    for (const SyncEntry& e : plan.entries) {
        widths.widen(sideTexts(formats, rows.source, rows.entry(e.row, Side::Source)));
        status = std::max(status, rowStatusKey(rows.status(e.row)).size());
        action = std::max(action, syncActionKey(e.action).size());
    }
    for (const SyncEntry& e : plan.entries) {
        appendTextLine(out, {}, sideTexts(formats, rows.source, rows.entry(e.row, Side::Source)),
                       {rowStatusKey(rows.status(e.row)).leftJustified(status),
                        syncActionKey(e.action).leftJustified(action)},
                       sideTexts(formats, rows.destination, rows.entry(e.row, Side::Destination)),
                       widths);
        writer.maybeFlush();
    }
    out += syncSummary(plan, toTrash).toUtf8() + '\n';
}

// Answers as the user who asked for the run would: yes to replacing and
// deleting what the plan names, no to doing either for good where the Trash
// was wanted but the drive has none; failures go to standard error.
class AnsweringHost : public CommandHost {
public:
    explicit AnsweringHost(QTextStream& err) : m_err(err) {}
    int ask(const QString& text, int style) override {
        const MessageStyle::Buttons buttons = decodeMessageStyle(style).buttons;
        if (buttons == MessageStyle::Buttons::Ok || buttons == MessageStyle::Buttons::OkCancel) {
            // The window's last paragraph tells what its Cancel button does:
            // no button here, and the run goes on.
            QStringList paragraphs = text.split(QStringLiteral("\r\n\r\n"));
            if (buttons == MessageStyle::Buttons::OkCancel && paragraphs.size() > 1)
                paragraphs.removeLast();
            m_err << "duoscope: " << paragraphs.join(QStringLiteral(": ")).simplified() << '\n';
            told = true;
            return Answer::Ok;
        }
        return isNoTrashQuestion(text) ? Answer::No : Answer::Yes;
    }
    void beep() override {}
    void setMaximum(int) override {}
    void setValue(int) override {}
    void keepPainted() override {}
    bool cancelled() const override { return false; }
    // A failure was told (a file, or the pair's state not saved).
    bool told = false;

private:
    QTextStream& m_err;
};

// Names on standard error the entries a run left undone, and marks them
// skipped, so the printed plan is what was done. True when there was one.
bool markUndone(SyncPlan& plan, const std::vector<SyncOutcome>& outcomes, QTextStream& err) {
    bool any = false;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        SyncEntry& e = plan.entries[k];
        if (outcomes[k] != SyncOutcome::Changed && outcomes[k] != SyncOutcome::Failed)
            continue;
        const Side side = plan.path(e, Side::Source).isEmpty() ? Side::Destination : Side::Source;
        err << "duoscope: " << syncActionKey(e.action) << " not done, "
            << (outcomes[k] == SyncOutcome::Changed ? "changed since the plan: " : "failed: ")
            << nameText(plan.path(e, side).toByteArray()) << '\n';
        e.action = SyncAction::Skip;
        any = true;
    }
    return any;
}

// Whether the entry `relative` below the top folder `top` can be read now
// as what the plan saw: a folder entered from its parents and opened for its
// names, a file opened.
bool readableNow(const QByteArray& top, const QByteArray& relative, bool folder) {
    FolderChain chain;
    if (!chain.openTop(top, true))
        return false;
    const QList<QByteArray> names = relative.split('/');
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        if (!chain.enter(names[i]))
            return false;
    }
    if (folder)
        return chain.enter(names.last()) &&
               UniqueFd(::openat(chain.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)).fd >= 0;
    return UniqueFd(::openat(chain.fd(), names.last().constData(),
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC))
               .fd >= 0;
}

// Names on standard error each side of an unreadable entry that cannot be
// read now (both when neither can: it changed since the walk).
void tellUnreadable(const SyncPlan& plan, const SyncEntry& e, QTextStream& err) {
    std::vector<QByteArray> present, unreadable;
    for (const Side side : {Side::Source, Side::Destination}) {
        const QByteArray relative = plan.path(e, side).toByteArray();
        const QByteArray top =
            folderPath(side == Side::Source ? plan.sourceFolder : plan.destinationFolder);
        if (relative.isEmpty())
            continue;
        const QByteArray host = plan.hosts[int(side)];
        present.push_back(host + top + relative);
        // A host's folder is not read again from here.
        if (!host.isEmpty() ||
            !readableNow(top, relative,
                         plan.rows->listing(side).isFolder(plan.rows->entry(e.row, side))))
            unreadable.push_back(host + top + relative);
    }
    for (const QByteArray& path : unreadable.empty() ? present : unreadable)
        err << "duoscope: cannot read " << nameText(path) << ": left as it is\n";
}

} // namespace

bool isSyncInvocation(const QStringList& args) {
    return !args.isEmpty() && args.first() == QLatin1String("--sync");
}

int runSyncCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const std::optional<SyncMode> mode =
        args.size() > 1 ? syncModeFromKey(args[1]) : std::optional<SyncMode>();
    if (!mode) {
        err << "duoscope: --sync needs a mode: update, update-source, both, mirror or two-way\n"
            << "Try 'duoscope --help'.\n";
        return 1;
    }
    bool dryRun = false, permanently = false, deleteAll = false;
    const std::optional<ReportOptions> options =
        parseReportOptions(args.mid(2), err, "--sync", [&](const QStringList& all, qsizetype& i) {
            if (all[i] == QLatin1String("--dry-run"))
                return dryRun = true;
            if (all[i] == QLatin1String("--permanently"))
                return permanently = true;
            if (all[i] == QLatin1String("--delete-all"))
                return deleteAll = true;
            return false;
        });
    if (!options)
        return 1;
    std::unique_ptr<DigestCache> cache;
    SyncPlan plan;
    std::shared_ptr<FolderSide> sides[2];
    QByteArray paths[2], hosts[2];
    try {
        const QByteArray given[2] = {options->source, options->destination};
        for (int i = 0; i < 2; ++i) {
            ChosenSide side = sideFor(given[i], true);
            if (side.remote)
                hosts[i] = hostOfAddress(given[i]);
            else
                checkFolder(given[i]);
            sides[i] = std::move(side.side);
            paths[i] = folderPath(side.path);
        }
        if (FsResult apart = hosts[0].isEmpty() && hosts[1].isEmpty()
                                 ? checkSyncFolders(options->source, options->destination)
                                 : FsResult();
            !apart) {
            err << "duoscope: " << apart.error().description() << '\n';
            return 2;
        }
        TreeOptions tree;
        tree.filters = options->filters;
        tree.contents = options->contents;
        if (options->contents)
            cache = std::make_unique<DigestCache>();
        tree.cache = cache.get();
        plan =
            planSync({*sides[0], paths[0], hosts[0]}, {*sides[1], paths[1], hosts[1]}, *mode, tree);
    } catch (const FsError& e) {
        err << "duoscope: cannot read " << e.path() << ": " << e.reason() << '\n';
        return 2;
    }
    if (cache)
        cache->save();
    if (!plan.note.isEmpty())
        err << "duoscope: " << plan.note << '\n';
    if (!plan.refusal.isEmpty()) {
        err << "duoscope: " << plan.refusal << '\n';
        return 2;
    }
    if (!deleteAll && deletesAllOfDestination(plan)) {
        err << "duoscope: the plan deletes everything DESTINATION holds (is SOURCE a drive "
               "not mounted?)"
            << (dryRun ? "; a run needs --delete-all\n" : ": nothing done without --delete-all\n");
        if (!dryRun)
            return 2;
    }
    bool undone = false;
    if (!dryRun) {
        AnsweringHost host(err);
        undone = markUndone(plan,
                            runSyncPlan(host, plan,
                                        permanently ? DeleteWay::Permanently : DeleteWay::ToTrash,
                                        nullptr, sides[0], sides[1]),
                            err);
        undone |= host.told;
    }
    ReportWriter writer(out);
    print(plan, options->json, !permanently, writer);
    writer.finish();
    out.flush();
    if (writer.failed() || out.status() != QTextStream::Ok) {
        const QIODevice* device = out.device();
        err << "duoscope: cannot write the plan: "
            << (device ? device->errorString() : QStringLiteral("write failed")) << '\n';
        return 3;
    }
    for (const SyncEntry& e : plan.entries) {
        if (e.action == SyncAction::Unreadable)
            tellUnreadable(plan, e, err);
    }
    return undone || plan.count(SyncAction::Unreadable) ? 2
           : plan.count(SyncAction::Conflict)           ? 1
                                                        : 0;
}
