#include "fileops/plan_walk.h"

#include "fs/local_side.h"

#include <cerrno>

namespace {

// How many names `a` and `b` share from the start, and where the shared part ends in `b`.
qsizetype sharedEnd(QByteArrayView a, QByteArrayView b) {
    qsizetype end = 0;
    for (qsizetype k = 0;; ++k) {
        const bool endA = k == a.size(), endB = k == b.size();
        if ((endA || a[k] == '/') && (endB || b[k] == '/'))
            end = k;
        if (endA || endB || a[k] != b[k])
            return end;
    }
}

} // namespace

PlanWalker::PlanWalker(QByteArray top, std::shared_ptr<const SeenFolders> seen, FolderSide* side)
    : m_top(std::move(top)), m_own(side ? nullptr : std::make_unique<LocalSide>()),
      m_side(side ? side : m_own.get()), m_chain(m_side->walk()), m_seen(std::move(seen)) {}

std::function<void(const QByteArray&, QByteArrayView)>& PlanWalker::beforeReachForTests() {
    static std::function<void(const QByteArray&, QByteArrayView)> hook;
    return hook;
}

QByteArray PlanWalker::pathOf(QByteArrayView relative) const {
    QByteArray path = m_top;
    if (!path.endsWith('/'))
        path += '/';
    return path + relative.toByteArray();
}

const FolderId* PlanWalker::expected(const QByteArray& below) const {
    const auto known = m_known.constFind(below);
    if (known != m_known.cend())
        return &*known;
    return m_seen ? m_seen->find(below) : nullptr;
}

bool PlanWalker::restart() {
    m_at.clear();
    if (!m_chain->openTop(m_top, true, expected(QByteArray())))
        return false;
    m_known.insert(QByteArray(), m_chain->id());
    return true;
}

bool PlanWalker::reach(QByteArrayView folder) {
    if (!m_chain->empty() && folder == QByteArrayView(m_at))
        return true;
    if (const auto& hook = beforeReachForTests())
        hook(m_top, folder);
    // Up to the folder both paths share, then down, one name at a time.
    const qsizetype shared = m_chain->empty() ? 0 : sharedEnd(m_at, folder);
    while (!m_chain->empty() && m_at.size() > shared) {
        if (!m_chain->leave())
            break;
        m_at.truncate(std::max<qsizetype>(m_at.lastIndexOf('/'), 0));
    }
    m_refused.clear();
    if (m_chain->empty() && !restart())
        return false;
    while (m_at.size() < folder.size()) {
        const qsizetype from = m_at.isEmpty() ? 0 : m_at.size() + 1;
        qsizetype end = folder.indexOf('/', from);
        if (end < 0)
            end = folder.size();
        const QByteArray below = folder.first(end).toByteArray();
        if (!m_chain->enter(folder.sliced(from, end - from).toByteArray(), expected(below))) {
            m_refused = below;
            return false;
        }
        m_known.insert(below, m_chain->id());
        m_at = below;
    }
    return true;
}
