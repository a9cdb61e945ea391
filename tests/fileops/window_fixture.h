#pragma once

#include "core/message_style.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <unistd.h>

// The window over two real folders, with scripted answers.
class WindowTest : public ::testing::Test {
protected:
    void refresh(const QString& sourceText, const QString& destText) {
        window.txtSource()->setText(sourceText);
        window.txtDest()->setText(destText);
        window.mnuRefresh_Click();
    }
    // Makes `current` the current row of the pane and selects `rows` only.
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
    static bool exists(const TempTree& t, const QByteArray& name) {
        return ::access((QFile::encodeName(t.path()) + '/' + name).constData(), F_OK) == 0;
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
