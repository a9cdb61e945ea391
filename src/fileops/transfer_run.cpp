#include "fileops/transfer_run.h"

#include "fileops/command_host.h"
#include "fileops/remote_copy.h"
#include "fileops/source_removals.h"
#include "fileops/tree_transfer.h"

#include <algorithm>
#include <climits>

namespace {

// The bar counts files, and a file's every MiB as one more.
constexpr int bytesPerStep = 1 << 20;

int steps(qint64 files, qint64 bytes) {
    return static_cast<int>(std::min<qint64>(files + bytes / bytesPerStep, INT_MAX));
}

} // namespace

TransferProgress::TransferProgress(CommandHost& host, qint64 files, qint64 bytes) : m_host(host) {
    if (files >= 0)
        host.setMaximum(steps(files, bytes));
}

void TransferProgress::advance(qint64 files, qint64 bytes) {
    m_files += files;
    m_bytes += bytes;
    m_host.setValue(steps(m_files, m_bytes));
}

PlannedTransfers planTransfers(std::vector<Transfer> transfers) {
    PlannedTransfers p;
    p.trees.resize(transfers.size());
    p.planned.resize(transfers.size());
    for (size_t i = 0; i < transfers.size(); ++i) {
        Transfer& t = transfers[i];
        if (acrossHosts(t)) { // copied by rsync, which reads no tree here
            p.files += 1;
            continue;
        }
        // A link to a folder lists as a folder, and is copied as the link it is.
        if (t.folder && isLink(t.source.path())) {
            t.folder = false;
            t.linkItself = true;
        }
        if (t.folder)
            p.planned[i] = planTree(t.source.path(), p.trees[i]);
        p.files += t.folder ? p.trees[i].files : 1;
        p.bytes += p.trees[i].bytes;
    }
    p.transfers = std::move(transfers);
    return p;
}

void runPlanned(CommandHost& host, PlannedTransfers& planned, const CopyOptions& given,
                TransferProgress& progress) {
    CopyOptions options = given;
    // Files moved or replaced for good are given up a batch at a time, once on disk.
    if (!options.removals)
        options.removals = std::make_shared<SourceRemovals>();
    if (!options.onChunk)
        options.onChunk = [&host] { host.keepPainted(); };
    TreeRun tree;
    tree.cancelled = [&host] { return host.cancelled(); };
    tree.advanced = [&](qint64 f, qint64 b) { progress.advance(f, b); };
    ForAll forAll = ForAll::Ask;
    std::vector<Transfer>& transfers = planned.transfers;
    for (size_t i = 0; i < transfers.size() && !host.cancelled(); ++i) {
        Transfer& t = transfers[i];
        t.othersFollow = i + 1 < transfers.size();
        if (!t.forAll)
            t.forAll = &forAll;
        if (planned.reach && !planned.reach(i, options)) {
            tree.advanced(t.folder ? planned.trees[i].files : 1, planned.trees[i].bytes);
            continue;
        }
        if (acrossHosts(t)) { // a side on another host: not this engine's
            if (transferAcross(host, t, progress) == AfterFile::Stop)
                break;
            continue;
        }
        // Not begun: the source is not the file chosen, or its folder could not be read.
        FsResult ready = stillChosen(t.source, t.chosen ? &*t.chosen : nullptr);
        if (ready && t.folder)
            ready = planned.planned[i];
        AfterFile after = AfterFile::GoOn;
        if (!ready) {
            if (tellFailure(host, QStringLiteral("%1 could not be copied.").arg(t.source.text()),
                            ready.error(), t.othersFollow))
                after = AfterFile::Stop;
        } else if (!t.folder) {
            after = transferFile(host, t, options);
            tree.advanced(1, 0);
        } else {
            after = transferFolder(host, t, planned.trees[i], options, tree);
        }
        if (after == AfterFile::Stop ||
            (options.removals->full() &&
             options.removals->flush(options) == SourceRemovals::After::Stop))
            break;
    }
    options.removals->flush(options);
    tellSkipped(host, tree);
}

void runTransfers(CommandHost& host, std::vector<Transfer> transfers, const CopyOptions& options) {
    PlannedTransfers planned = planTransfers(std::move(transfers));
    TransferProgress progress(host, planned.transfers.empty() ? -1 : planned.files, planned.bytes);
    runPlanned(host, planned, options, progress);
}
