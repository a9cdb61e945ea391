#pragma once

#include "core/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

// A write that takes `limit` bytes, then fails as a full disk would.
inline std::function<ssize_t(int, const char*, size_t)> failingAfter(qint64 limit) {
    auto written = std::make_shared<qint64>(0);
    return [written, limit](int fd, const char* data, size_t size) -> ssize_t {
        if ((*written += qint64(size)) > limit)
            return errno = ENOSPC, -1;
        return ::write(fd, data, size);
    };
}

inline QByteArray raw(const TempTree& t, const char* name) {
    return QFile::encodeName(t.path()) + '/' + name;
}

// The window over two real folders, with scripted answers.
class WindowTest : public ::testing::Test {
protected:
    void refresh(const QString& sourceText, const QString& destText) {
        window.txtSource()->setText(sourceText);
        window.txtDest()->setText(destText);
        window.mnuRefresh_Click();
    }
    // Makes `current` the pane's current row and selects `rows` only.
    static void select(ListPane* pane, std::initializer_list<int> rows, int current = 0) {
        pane->setCurrentRow(current);
        pane->clearSelection();
        for (int row : rows)
            pane->setRowSelected(row, true);
    }
    static QStringList texts(const ListPane* pane) {
        QStringList out;
        for (int i = 0; i < pane->count(); ++i)
            out << pane->rowText(i);
        return out;
    }
    QList<int> styles() const {
        QList<int> out;
        for (const auto& s : platform.shown)
            out << s.style;
        return out;
    }

    ScriptedPlatform platform;
    Main window{platform};
    TempTree source;
    TempTree dest;
};
