// Every test runs with one locale, one time zone and no real display.
#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    QStandardPaths::setTestModeEnabled(true); // never the user's own settings
    // Nor the user's Trash: what a test deletes goes to a trash of its own.
    QTemporaryDir dataHome;
    ::setenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit().constData(), 1);
    // Nor the user's cache of file digests.
    QTemporaryDir cacheHome;
    ::setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1);
    // Nor the state of the user's synchronizations.
    QTemporaryDir stateHome;
    ::setenv("XDG_STATE_HOME", stateHome.path().toLocal8Bit().constData(), 1);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Zelmar"));
    QApplication::setApplicationName(QStringLiteral("Duoscope"));
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // By the bytes: a trashed name that is not UTF-8 defeats QDir's removal.
    std::filesystem::remove_all(QFile::encodeName(dataHome.path()).toStdString());
    return failed;
}
