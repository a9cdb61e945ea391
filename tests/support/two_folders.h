#pragma once

#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QLineEdit>
#include <gtest/gtest.h>

// A window over two temporary folders, its icon scratch file in a third.
class TwoFolders : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TEMP", QFile::encodeName(temp.path()));
        window.InitTempFolder();
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
    }
    void TearDown() override { qunsetenv("TEMP"); }

    // "left|right" per row, "-" for a placeholder; the sizes when asked.
    QStringList rows(bool sizes = false) const {
        QStringList out;
        const auto cell = [&](const ListPane* pane, int row) {
            const QString text =
                sizes ? pane->rows().subItem(row, PaneModel::Size) : pane->rowText(row);
            return text.isEmpty() ? QStringLiteral("-") : text;
        };
        for (int i = 0; i < left->count(); ++i)
            out << cell(left, i) + QLatin1Char('|') + cell(right, i);
        return out;
    }

    TempTree temp, source, dest;
    ScriptedPlatform platform;
    Main window{platform};
    ListPane* left = window.lvSource();
    ListPane* right = window.lvDest();
};
