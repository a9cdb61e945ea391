#include "fs/folder_paths.h"

#include <QList>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

QByteArray absolutePath(const QByteArray& path, const QByteArray& base, const QByteArray& home) {
    QByteArray start = base;
    QByteArray rest = path;
    if (path.startsWith('/')) {
        start = "/";
    } else if (!home.isEmpty() && (path == "~" || path.startsWith("~/"))) {
        start = home;
        rest = path.mid(1);
    }
    QList<QByteArray> names;
    for (const QByteArray& part : (start + '/' + rest).split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!names.isEmpty())
                names.removeLast();
            continue;
        }
        names << part;
    }
    QByteArray out;
    for (const QByteArray& name : names)
        out += '/' + name;
    return out.isEmpty() ? QByteArray("/") : out;
}

QByteArray startingFolder() {
    const QByteArray pwd = qgetenv("PWD");
    struct stat given {
    }, here{};
    if (pwd.startsWith('/') && ::stat(pwd.constData(), &given) == 0 && ::stat(".", &here) == 0 &&
        given.st_dev == here.st_dev && given.st_ino == here.st_ino)
        return absolutePath(pwd, "/");
    char* cwd = ::getcwd(nullptr, 0);
    const QByteArray folder = cwd ? QByteArray(cwd) : QByteArray("/");
    std::free(cwd);
    return folder;
}

bool isFolder(const QByteArray& path) {
    struct stat st {};
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray nearestFolder(const QByteArray& path) {
    QByteArray folder = absolutePath(path, "/");
    while (folder != "/" && !isFolder(folder))
        folder.truncate(std::max<qsizetype>(1, folder.lastIndexOf('/')));
    return folder;
}
