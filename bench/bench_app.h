#pragma once

#include "store/settings_store.h"

#include <QApplication>
#include <QTemporaryDir>

// A benchmark's application: offscreen unless a platform or a display was
// given, and a settings store of its own, so that closing a window never
// writes the user's settings.
struct BenchPlatform {
    BenchPlatform() {
        if (qgetenv("QT_QPA_PLATFORM").isEmpty() && qgetenv("DISPLAY").isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

struct BenchApp : BenchPlatform {
    BenchApp(int& argc, char** argv) : app(argc, argv) {
        SettingsStore::setConfigFolder(settings.path());
    }
    QApplication app;
    QTemporaryDir settings;
};
