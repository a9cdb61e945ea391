#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <cstdlib>

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
