#include "mainwindow/icon_cache.h"

#include "fs/unique_fd.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The cache's image flags: the image's file names end in .xpm, .svg, .png.
constexpr quint16 svgSuffix = 2;

bool notNewer(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec <= b.tv_nsec);
}

class Reader {
public:
    explicit Reader(const QByteArray& data) : m_d(data) {}
    bool ok() const { return m_ok; }
    quint32 u32(quint32 at) {
        if (quint64(at) + 4 > quint64(m_d.size()))
            return fail();
        const auto* p = reinterpret_cast<const uchar*>(m_d.constData()) + at;
        return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
    }
    quint16 u16(quint32 at) {
        if (quint64(at) + 2 > quint64(m_d.size()))
            return quint16(fail());
        const auto* p = reinterpret_cast<const uchar*>(m_d.constData()) + at;
        return quint16(p[0] << 8 | p[1]);
    }
    // The NUL-ended text at `at`.
    QByteArrayView text(quint32 at) {
        const qsizetype end = at < quint32(m_d.size()) ? m_d.indexOf('\0', at) : -1;
        if (end < 0)
            return (fail(), QByteArrayView());
        return QByteArrayView(m_d.constData() + at, end - at);
    }

private:
    quint32 fail() {
        m_ok = false;
        return 0;
    }
    const QByteArray& m_d;
    bool m_ok = true;
};

// The whole file at `name` below the open folder, if it is a file.
std::optional<QByteArray> readAt(int dir, const char* name, struct stat* st) {
    const UniqueFd fd{::openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (fd.fd < 0 || ::fstat(fd.fd, st) != 0 || !S_ISREG(st->st_mode))
        return std::nullopt;
    QByteArray data(st->st_size, Qt::Uninitialized);
    if (!readAll(fd.fd, data.data(), size_t(data.size())))
        return std::nullopt;
    return data;
}

// The cache of the theme folder `dir`, empty when it has none or when a
// folder it lists was changed after it was written: Qt would not trust it.
std::optional<QByteArray> freshCache(int dir) {
    struct stat folder {};
    struct stat cache {};
    if (::fstat(dir, &folder) != 0)
        return std::nullopt;
    std::optional<QByteArray> data = readAt(dir, "icon-theme.cache", &cache);
    if (!data || !notNewer(folder.st_mtim, cache.st_mtim))
        return std::nullopt;
    Reader r(*data);
    if (r.u16(0) != 1)
        return std::nullopt;
    const quint32 list = r.u32(8);
    const quint32 count = r.u32(list);
    for (quint32 i = 0; i < count && r.ok(); ++i) {
        const QByteArray sub = r.text(r.u32(list + 4 + 4 * i)).toByteArray();
        struct stat st {};
        if (r.ok() && ::fstatat(dir, sub.constData(), &st, 0) == 0 &&
            !notNewer(st.st_mtim, cache.st_mtim))
            return std::nullopt;
    }
    if (!r.ok())
        return std::nullopt;
    return data;
}

} // namespace

IconThemeCaches::IconThemeCaches(QStringList searchPaths, bool scalable)
    : m_searchPaths(std::move(searchPaths)), m_scalable(scalable) {}

bool IconThemeCaches::mayHave(const QString& theme, const QString& name, const QString& fallback) {
    if (theme.isEmpty())
        return true;
    QStringList themes{theme};
    for (qsizetype i = 0; i < themes.size(); ++i) {
        const std::optional<QStringList> parents = parentsOf(themes[i]);
        if (!parents)
            return true;
        for (const QString& parent : *parents + QStringList{fallback, QStringLiteral("hicolor")}) {
            if (!parent.isEmpty() && !themes.contains(parent))
                themes << parent;
        }
    }
    for (const QString& t : themes) {
        const std::optional<Contents> contents = contentsOf(t);
        if (!contents)
            return true;
        for (QByteArray tried = name.toUtf8(); !tried.isEmpty();) {
            for (const QByteArray& cache : contents->caches) {
                if (listsImage(cache, tried))
                    return true;
            }
            for (const char* suffix : {".png", ".xpm", ".svg"}) {
                if (contents->files.contains(tried + suffix) &&
                    (m_scalable || qstrcmp(suffix, ".svg") != 0))
                    return true;
            }
            const qsizetype dash = tried.lastIndexOf('-');
            tried.truncate(dash < 0 ? 0 : dash);
        }
    }
    return false;
}

std::optional<QStringList> IconThemeCaches::parentsOf(const QString& theme) {
    if (const auto known = m_parents.constFind(theme); known != m_parents.cend())
        return *known;
    std::optional<QStringList>& parents = m_parents[theme];
    for (const QString& path : m_searchPaths) {
        QFile index(path + QLatin1Char('/') + theme + QStringLiteral("/index.theme"));
        if (!index.open(QIODevice::ReadOnly))
            continue;
        parents.emplace();
        // Only the first section names the parents; "hicolor"'s index goes on
        // for thousands of lines after it.
        bool inTheme = false;
        while (!index.atEnd()) {
            const QByteArray line = index.readLine().trimmed();
            if (line.startsWith('[')) {
                if (inTheme)
                    break;
                inTheme = line == "[Icon Theme]";
            } else if (inTheme && line.startsWith("Inherits") &&
                       line.mid(8).trimmed().startsWith('=')) {
                for (const QByteArray& p : line.mid(line.indexOf('=') + 1).split(','))
                    *parents << QString::fromUtf8(p.trimmed());
            }
        }
        break;
    }
    return parents; // none when Qt does not find the theme: what it does then is its own
}

std::optional<IconThemeCaches::Contents> IconThemeCaches::contentsOf(const QString& theme) {
    if (const auto known = m_contents.constFind(theme); known != m_contents.cend())
        return *known;
    std::optional<Contents>& contents = m_contents[theme];
    contents.emplace();
    for (const QString& path : m_searchPaths) {
        const QString folder = path + QLatin1Char('/') + theme;
        if (path.startsWith(QLatin1Char(':'))) {
            if (QDir(folder).exists())
                return contents = std::nullopt; // in the program's resources: no cache there
            continue;
        }
        const int dir =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0)
            continue;
        const std::optional<QByteArray> data = freshCache(dir);
        ::close(dir);
        if (data) {
            contents->caches.append(*data);
            continue;
        }
        // A few files at most, as a rule; a large folder is not walked.
        constexpr int mostFiles = 2000;
        QDirIterator files(folder, QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
        while (files.hasNext()) {
            if (contents->files.size() >= mostFiles)
                return contents = std::nullopt;
            contents->files.insert(QFile::encodeName(files.nextFileInfo().fileName()));
        }
    }
    return contents;
}

bool IconThemeCaches::listsImage(const QByteArray& cache, const QByteArray& name) const {
    // The cache's hash of a name, as its writer makes it.
    quint32 hash = quint32(qint32(static_cast<signed char>(name[0])));
    for (qsizetype i = 1; i < name.size(); ++i)
        hash = (hash << 5) - hash + quint32(qint32(static_cast<signed char>(name[i])));
    Reader r(cache);
    const quint32 table = r.u32(4);
    const quint32 buckets = r.u32(table);
    if (!r.ok() || buckets == 0)
        return true;
    for (quint32 node = r.u32(table + 4 + 4 * (hash % buckets)); node != 0xffffffff && r.ok();
         node = r.u32(node)) {
        if (r.text(r.u32(node + 4)) != name)
            continue;
        const quint32 images = r.u32(node + 8);
        const quint32 count = r.u32(images);
        for (quint32 i = 0; i < count && r.ok(); ++i) {
            const quint16 flags = r.u16(images + 4 + 8 * i + 2);
            if ((flags & ~svgSuffix) || (m_scalable && flags))
                return true;
        }
    }
    return !r.ok(); // a cache that cannot be read through is no proof
}

bool scalableIconsDrawn() {
    for (const QString& path : QCoreApplication::libraryPaths()) {
        const QDir engines(path + QStringLiteral("/iconengines"));
        if (!engines.isEmpty(QDir::Files | QDir::NoDotAndDotDot))
            return true;
    }
    return false;
}
