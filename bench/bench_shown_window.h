#pragma once

#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

// Two folders "source" and "dest" in a temporary folder, for a window to show.
struct BenchFolders {
    QTemporaryDir dir;
    QByteArray source = QFile::encodeName(dir.filePath(QStringLiteral("source")));
    QByteArray dest = QFile::encodeName(dir.filePath(QStringLiteral("dest")));
};

// Shows the window over the two folders, 1200 x 800, and waits for its
// first refresh to list `rows` rows in Source (any, when 0); false when it
// never does.
inline bool showOver(Main& window, const BenchFolders& folders, int rows = 0) {
    window.txtSource()->setText(QFile::decodeName(folders.source));
    window.txtDest()->setText(QFile::decodeName(folders.dest));
    window.resize(1200, 800);
    window.show();
    return QTest::qWaitForWindowExposed(&window) && QTest::qWaitFor(
                                                        [&] {
                                                            const int n =
                                                                window.lvSource()->count();
                                                            return rows > 0 ? n == rows : n > 0;
                                                        },
                                                        60000);
}
