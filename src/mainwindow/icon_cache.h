#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
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
    // "hicolor" have no image Qt could load for `name` or for the shorter
    // names Qt tries after it (cut at a dash): told by the cache of each of
    // their folders, when no folder it lists is newer, or else by the names
    // of the files the folder holds.
    bool mayHave(const QString& theme, const QString& name, const QString& fallback = {});

private:
    // What the theme's folders hold: the cache of each folder that has a
    // fresh one, the names of the files of each that has not (as the one the
    // program puts its own icon in); nullopt when that cannot be told.
    struct Contents {
        QList<QByteArray> caches;
        QSet<QByteArray> files;
    };
    std::optional<Contents> contentsOf(const QString& theme);
    std::optional<QStringList> parentsOf(const QString& theme);
    bool listsImage(const QByteArray& cache, const QByteArray& name) const;

    QStringList m_searchPaths;
    bool m_scalable;
    QHash<QString, std::optional<Contents>> m_contents;
    QHash<QString, std::optional<QStringList>> m_parents;
};

// Whether an icon engine that draws SVG images is installed for Qt.
bool scalableIconsDrawn();
