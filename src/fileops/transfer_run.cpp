#include "fileops/transfer_run.h"

#include "base/name_text.h"
#include "fileops/command_host.h"
#include "fileops/remote_copy.h"
#include "fileops/side_copy.h"
#include "fileops/source_removals.h"
#include "fileops/tree_transfer.h"
#include "fs/local_side.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace {

// The bar counts files, and a file's every MiB as one more.
constexpr int bytesPerStep = 1 << 20;

int steps(qint64 files, qint64 bytes) {
    return static_cast<int>(std::min<qint64>(files + bytes / bytesPerStep, INT_MAX));
}

// The side a transfer's source (0) or its target folder (1) lies on.
FolderSide& sideOf(const Transfer& t, int k) {
    return t.sides[k] ? *t.sides[k] : *localSide();
}

// The tops of a transfer, its source's folder and its target folder, each
// held as the user gave it (a link there followed) on its side.
struct HeldTops {
    std::unique_ptr<SideWalk> walks[2];

    static const QByteArray& folder(const Transfer& t, int k) {
        return k == 0 ? t.source.folder : t.targetFolder;
    }
    FsResult reach(const Transfer& t, int k) {
        walks[k] = sideOf(t, k).walk(1);
        if (walks[k]->openTop(folderPath(folder(t, k)), true))
            return {};
        return FsError::fromErrno(errno, nameText(folder(t, k)));
    }
    HeldPlace at(const Transfer& t, int k) const {
        return {sideOf(t, k), walks[k]->place(), folder(t, k)};
    }
    // Reaches both and lends them to `options`: the copy engine reads and
    // writes there, never at the paths again. EREMOTE for a side whose files
    // lie elsewhere, which copies with its own transfer.
    FsResult lend(const Transfer& t, CopyOptions& options) {
        for (int k : {0, 1}) {
            if (FsResult reached = reach(t, k); !reached)
                return reached;
        }
        if (!lendPlaces(options, at(t, 0), at(t, 1)))
            return FsError::fromErrno(errno, t.source.text());
        return {};
    }
};

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
        HeldTops tops;
        const FsResult reached = t.folder ? tops.reach(t, 0) : FsResult();
        // A link to a folder lists as a folder, and is copied as the link it is.
        struct stat st {};
        if (reached && t.folder &&
            sideOf(t, 0).stat(tops.walks[0]->place(), t.source.name.constData(), st) &&
            S_ISLNK(st.st_mode)) {
            t.folder = false;
            t.linkItself = true;
        }
        if (t.folder)
            p.planned[i] =
                reached ? planTreeOn(sideOf(t, 0), tops.walks[0]->place(), t.source, p.trees[i])
                        : reached;
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
        // Not begun: its folders could not be reached, the source is not the
        // file chosen, or its folder could not be read.
        HeldTops tops;
        FsResult ready = planned.reach ? FsResult() : tops.lend(t, options);
        if (ready)
            ready = stillChosen(t.source, t.chosen ? &*t.chosen : nullptr,
                                options.folders ? options.folders->lent(folderPath(t.source.folder))
                                                : -1);
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
