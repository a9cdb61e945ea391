#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// The caches ("icon-theme.cache") the desktop keeps in its icon themes'
// folders, asked before Qt is whether a theme can have an icon at all: to
// find that it has none, Qt reads the index of every theme it inherits whole,
// "hicolor"'s thousands of lines.
class IconThemeCaches {
public:
    // `searchPaths` as Qt searches them; `scalable` when Qt can draw the
    // themes' SVG images.
    IconThemeCaches(QStringList searchPaths, bool scalable);

    // False only when `theme`, the themes it inherits, `fallback` and
    // "hicolor" each have, in every folder of theirs, a cache no older than
    // the folders it lists, and none lists an image Qt could load for `name`
    // or for the shorter names Qt tries after it (cut at a dash).
    bool mayHave(const QString& theme, const QString& name, const QString& fallback = {});

private:
    // The theme's caches, one for each folder of the theme; nullopt when any
    // of them is missing or cannot be relied on.
    std::optional<QList<QByteArray>> cachesOf(const QString& theme);
    std::optional<QStringList> parentsOf(const QString& theme);
    bool listsImage(const QByteArray& cache, const QByteArray& name) const;

    QStringList m_searchPaths;
    bool m_scalable;
    QHash<QString, std::optional<QList<QByteArray>>> m_caches;
    QHash<QString, std::optional<QStringList>> m_parents;
};

// Whether an icon engine that draws SVG images is installed for Qt.
bool scalableIconsDrawn();
