#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Fills `folder` (made when missing) with `n` files of `size` bytes each,
// named file000000.dat and up, so that they list in the order made.
inline void makeFiles(const QString& folder, int n, qint64 size) {
    QDir().mkpath(folder);
    const QByteArray data(size, 'd');
    for (int i = 0; i < n; ++i) {
        QFile f(QStringLiteral("%1/file%2.dat").arg(folder).arg(i, 6, 10, QLatin1Char('0')));
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != size)
            std::abort();
    }
}

// Makes `path` with `n` files named file1000000.txt and up from `offset`,
// of 0 to 10 bytes: two folders made with offsets 0 and n / 2 share half.
inline void makeFolder(const std::string& path, int n, int offset) {
    ::mkdir(path.c_str(), 0700);
    for (int i = 0; i < n; ++i) {
        const std::string name = path + "/file" + std::to_string(1000000 + i + offset) + ".txt";
        const int fd = ::open(name.c_str(), O_CREAT | O_WRONLY, 0644);
        if (::write(fd, "0123456789", size_t((i + offset) % 11)) < 0)
            std::abort();
        ::close(fd);
    }
}
