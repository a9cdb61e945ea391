#include "fileops/transfer_run.h"

#include "fileops/command_host.h"
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

void runTransfers(CommandHost& host, std::vector<Transfer> transfers, const CopyOptions& given) {
    CopyOptions options = given;
    if (!options.onChunk)
        options.onChunk = [&host] { host.keepPainted(); };
    std::vector<TreePlan> plans(transfers.size());
    std::vector<FsResult> planned(transfers.size());
    qint64 files = 0, bytes = 0;
    for (size_t i = 0; i < transfers.size(); ++i) {
        Transfer& t = transfers[i];
        // A link to a folder lists as a folder, and is copied as the link it is.
        if (t.folder && isLink(t.source.path())) {
            t.folder = false;
            t.linkItself = true;
        }
        if (t.folder)
            planned[i] = planTree(t.source.path(), plans[i]);
        files += transfers[i].folder ? plans[i].files : 1;
        bytes += plans[i].bytes;
    }
    if (!transfers.empty())
        host.setMaximum(steps(files, bytes));
    qint64 filesDone = 0, bytesDone = 0;
    TreeRun tree;
    tree.cancelled = [&host] { return host.cancelled(); };
    tree.advanced = [&](qint64 f, qint64 b) {
        filesDone += f;
        bytesDone += b;
        host.setValue(steps(filesDone, bytesDone));
    };
    ForAll forAll = ForAll::Ask;
    for (size_t i = 0; i < transfers.size() && !host.cancelled(); ++i) {
        Transfer& t = transfers[i];
        t.othersFollow = i + 1 < transfers.size();
        t.forAll = &forAll;
        // Not begun: the source is not the file chosen, or its folder could not be read.
        FsResult ready = stillChosen(t.source, t.chosen ? &*t.chosen : nullptr);
        if (ready && t.folder)
            ready = planned[i];
        AfterFile after = AfterFile::GoOn;
        if (!ready) {
            if (tellFailure(host, QStringLiteral("%1 could not be copied.").arg(t.source.text()),
                            ready.error(), t.othersFollow))
                after = AfterFile::Stop;
        } else if (!t.folder) {
            after = transferFile(host, t, options);
            tree.advanced(1, 0);
        } else {
            after = transferFolder(host, t, plans[i], options, tree);
        }
        if (after == AfterFile::Stop)
            break;
    }
    tellSkipped(host, tree);
}
