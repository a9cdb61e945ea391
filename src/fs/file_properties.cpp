#include "fs/file_properties.h"

#include "base/name_text.h"
#include "fs/file_system.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// getpwuid_r and getgrgid_r want a buffer; their suggested size may be
// unknown (-1), and 16 KiB holds any ordinary entry.
std::vector<char> lookupBuffer(int which) {
    const long suggested = ::sysconf(which);
    return std::vector<char>(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
}

QString userName(uid_t uid) {
    std::vector<char> buffer = lookupBuffer(_SC_GETPW_R_SIZE_MAX);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    std::vector<char> buffer = lookupBuffer(_SC_GETGR_R_SIZE_MAX);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

int entryCount(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            ++count;
    }
    ::closedir(dir);
    return count;
}

// `path` made absolute against the working folder, without trailing "/"
// except for the root itself.
QByteArray absoluteBytes(QByteArray path) {
    if (!path.startsWith('/'))
        path = FileSystem::encode(QDir::currentPath()) + '/' + path;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QString typeName(const QByteArray& full, const QString& name, bool isFolder) {
    QMimeDatabase mime;
    if (isFolder)
        return mime.mimeTypeForName(QStringLiteral("inode/directory")).comment();
    // Read through the bytes that reach the file; the name alone when it
    // cannot be read.
    QFile file;
    const int fd = ::open(full.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return mime.mimeTypeForFileNameAndData(name, &file).comment();
    if (fd >= 0)
        ::close(fd);
    return mime.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
}

} // namespace

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QUrl localFileUrl(const QString& path) {
    return localFileUrl(FileSystem::encode(absolutePath(path)));
}

QUrl localFileUrl(const QByteArray& path) {
    return QUrl::fromEncoded("file://" + absoluteBytes(path).toPercentEncoding("/"),
                             QUrl::StrictMode);
}

std::optional<FileProperties> readFileProperties(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    return readFileProperties(FileSystem::encode(absolutePath(path)));
}

std::optional<FileProperties> readFileProperties(const QByteArray& path) {
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray full = absoluteBytes(path);
    struct stat st {};
    if (::stat(full.constData(), &st) != 0 && ::lstat(full.constData(), &st) != 0)
        return std::nullopt;

    FileProperties p;
    p.isFolder = S_ISDIR(st.st_mode);
    if (full == "/") {
        p.name = QStringLiteral("/");
    } else {
        const qsizetype slash = full.lastIndexOf('/');
        p.name = nameText(full.mid(slash + 1));
        p.folder = slash == 0 ? QStringLiteral("/") : nameText(full.left(slash));
    }
    p.typeName = typeName(full, p.name, p.isFolder);
    if (p.isFolder)
        p.itemCount = entryCount(full);
    else
        p.size = static_cast<qint64>(st.st_size);
    p.modified = st.st_mtime;
    p.mode = st.st_mode & 07777;
    p.owner = userName(st.st_uid);
    p.group = groupName(st.st_gid);
    return p;
}

QString permissionsText(mode_t mode) {
    QString text(9, QLatin1Char('-'));
    const char letters[] = "rwx";
    for (int i = 0; i < 9; ++i) {
        if (mode & (0400 >> i))
            text[i] = QLatin1Char(letters[i % 3]);
    }
    // The set-id and sticky bits take the execute place: lower case when the
    // execute bit is set as well.
    const struct {
        mode_t bit;
        int place;
        char letter;
    } specials[] = {{S_ISUID, 2, 's'}, {S_ISGID, 5, 's'}, {S_ISVTX, 8, 't'}};
    for (const auto& s : specials) {
        if (!(mode & s.bit))
            continue;
        const bool executable = text[s.place] == QLatin1Char('x');
        text[s.place] = QLatin1Char(executable ? s.letter : static_cast<char>(s.letter - 32));
    }
    return text;
}

QString permissionsOctal(mode_t mode) {
    return QStringLiteral("%1").arg(static_cast<uint>(mode & 07777), 4, 8, QLatin1Char('0'));
}
