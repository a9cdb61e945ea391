#pragma once

#include "fs/folder_chain.h"
#include "fs/folder_side.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <functional>
#include <memory>

// One side of a command that acts on many entries below a top folder, in
// the order of their folders (a plan's): stands in the folder of the entry
// at hand, held by its side (folder_side.h), each folder entered from its
// parent without following a link, as FolderChain walks, and one entered
// again only as the folder it was when first entered. Every step then acts at (place(), name): a
// folder swapped for a link (or, once entered, for another folder) is never walked through, so
// nothing outside the tree is reached.
class PlanWalker {
public:
    // `top` is the folder as the user gave it (a link there is followed);
    // `seen`, when given, the folders as a plan's walk entered them, which
    // must be those entered now.
    // On `side`, which outlives the walker; a local folder when none is given.
    explicit PlanWalker(QByteArray top, std::shared_ptr<const SeenFolders> seen = nullptr,
                        FolderSide* side = nullptr);
    PlanWalker(const PlanWalker&) = delete;
    PlanWalker& operator=(const PlanWalker&) = delete;

    // Stands in `folder` ("a/b" below the top, "" for the top itself).
    // False with errno when it, or a folder on its way, could not be
    // entered: ELOOP or ENOTDIR for a link or no folder, ESTALE for another
    // folder than the one entered before.
    bool reach(QByteArrayView folder);
    // The folder reached (valid after reach() succeeded), and its side.
    SidePlace place() const { return m_chain->place(); }
    FolderSide& side() const { return *m_side; }
    const QByteArray& top() const { return m_top; }
    // The path of `relative` (an entry below the top), for messages.
    QByteArray pathOf(QByteArrayView relative) const;
    // The folder `below` as first entered, by the plan's walk or by this
    // one; null when neither entered it.
    const FolderId* expected(const QByteArray& below) const;
    // After reach() failed: the folder that could not be entered, below the top.
    const QByteArray& refused() const { return m_refused; }

    // Tests only: called with the top and the folder just before reach()
    // moves to another folder, to change the tree right then.
    static std::function<void(const QByteArray& top, QByteArrayView folder)>& beforeReachForTests();

private:
    bool restart();

    QByteArray m_top;
    std::unique_ptr<FolderSide> m_own; // the local side, when none was given
    FolderSide* m_side;
    std::unique_ptr<SideWalk> m_chain;
    QByteArray m_at; // the folder the chain stands in, below the top
    QByteArray m_refused;
    std::shared_ptr<const SeenFolders> m_seen;
    QHash<QByteArray, FolderId> m_known; // each folder as first entered
};
