#include "remote/side_for.h"

#include "base/name_text.h"
#include "fs/local_side.h"
#include "remote/remote_side.h"
#include "remote/ssh_link.h"

#include <QHash>
#include <mutex>

namespace {

// One link a host (and user, port and way of asking), while any side uses it.
std::shared_ptr<const SshLink> linkTo(const RemoteAddress& address, bool batch) {
    static std::mutex mutex;
    static QHash<QByteArray, std::weak_ptr<const SshLink>> links;
    const QByteArray key = address.user + '@' + address.host + ':' +
                           QByteArray::number(address.port) + (batch ? "b" : "");
    const std::lock_guard lock(mutex);
    std::shared_ptr<const SshLink> link = links.value(key).lock();
    if (!link) {
        link = std::make_shared<const SshLink>(address, batch);
        links.insert(key, link);
    }
    return link;
}

} // namespace

ChosenSide sideFor(const QByteArray& folderAsGiven, bool batch) {
    const std::optional<RemoteAddress> address = remoteAddress(nameText(folderAsGiven));
    if (!address)
        return {std::make_unique<LocalSide>(), folderAsGiven, false};
    auto side = std::make_unique<RemoteSide>(linkTo(*address, batch));
    const QByteArray path = RemoteSide::hostPath(address->path);
    if (const FsResult reached = side->connect(folderAsGiven, path); !reached)
        throw reached.error();
    return {std::move(side), path, true};
}
