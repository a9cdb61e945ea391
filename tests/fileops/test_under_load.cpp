// Many files at once, and two windows working on the same folders at once.
#include "base/message_style.h"
#include "mainwindow/image_list.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_selection.h"
#include "store/settings_store.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

QStringList files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

int fileRows(const ListPane* pane) {
    int n = 0;
    for (int i = 0; i < pane->count(); ++i)
        n += !pane->rowText(i).isEmpty();
    return n;
}

// While a command runs: steps of the progress bar, repaints of the window
// beside it (the bar paints itself and what is under it at once), and turns
// of the event loop, in which the window answers the window system.
struct Liveliness : QObject {
    QWidget* bar;
    int paints = 0, steps = 0, turns = 0;
    QTimer tick;
    explicit Liveliness(QWidget* progressBar) : bar(progressBar) {
        connect(&tick, &QTimer::timeout, [this] { ++turns; });
        tick.start(0);
    }
    bool eventFilter(QObject* o, QEvent* e) override {
        // Paint events reach windows too (a QWindow is no widget).
        const auto* w = qobject_cast<QWidget*>(o);
        paints += e->type() == QEvent::Paint && w && w != bar && !w->isAncestorOf(bar);
        return false;
    }
};

TEST(ManyFiles, RefreshSelectCopyAndDeleteKeepTheWindowPaintedAndGoOnPastAFailure) {
    // Fewer than 1,000 files count as 1,000.
    const int chosen = qEnvironmentVariableIntValue("DUOSCOPE_MANY_FILES");
    const int n = chosen > 0 ? std::max(chosen, 1000) : 100000;
    TempTree source, dest;
    const QByteArray base = QFile::encodeName(source.path()) + "/f";
    for (int i = 0; i < n; ++i)
        ::close(::open(base + QByteArray::number(1000000 + i), O_CREAT | O_WRONLY, 0644));
    ScriptedPlatform platform;
    Main window{platform};
    window.txtSource()->setText(source.path());
    window.txtDest()->setText(dest.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)); // and its first refresh
    window.lvSource()->setFocus();
    window.mnuEditDSelectAll_Click();
    window.mnuEditCopy_Click();
    ASSERT_EQ(window.ClipboardFiles.size(), n + 1);
    Liveliness live(window.pbrMain());
    qApp->installEventFilter(&live);
    QByteArray victim; // a file taken away by someone else halfway through the command
    QObject::connect(window.pbrMain(), &QProgressBar::valueChanged, [&](int value) {
        ++live.steps;
        if (value == n / 2)
            window.resize(window.size() + QSize(1, 1)); // the user sizes the window meanwhile
        if (value == n / 2 && !victim.isEmpty())
            ::unlink(std::exchange(victim, {}).constData());
    });
    const auto run = [&](const char* what, const QString& folder, int left, auto command) {
        live.paints = live.steps = live.turns = 0;
        platform.shown.clear();
        QElapsedTimer took;
        took.start();
        command();
        // Repaints and answers every 40 ms or so, at least every second on a slow machine.
        EXPECT_GE(live.paints, took.elapsed() < 1000 ? 0 : 2) << what;
        EXPECT_GE(live.turns, took.elapsed() / 1000) << what;
        // A refresh moves the bar at the pace of the eye, a file command file by file.
        EXPECT_GE(live.steps, what == std::string("refresh") ? 1 : n / 2) << what;
        EXPECT_EQ(files(folder).size(), left) << what;
        EXPECT_EQ(fileRows(folder == source.path() ? window.lvSource() : window.lvDest()), left)
            << what << ": refreshed at the end";
        EXPECT_TRUE(window.menuEntry("mnuEditPaste")->isEnabled()) << what;
    };
    run("refresh", source.path(), n, [&] { window.mnuRefresh_Click(); });
    const QString gone = QStringLiteral("f%1").arg(1000000 + n - 1);
    victim = base + gone.mid(1).toLatin1();
    window.lvDest()->setFocus();
    run("paste", dest.path(), n - 1, [&] { window.mnuEditPaste_Click(); });
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.startsWith(source.filePath(gone) + " could not be copied"));
    window.mnuEditDSelectAll_Click();
    victim = QFile::encodeName(dest.filePath(QStringLiteral("f%1").arg(1000000 + n - 2)));
    platform.answers.assign(size_t(n), Answer::Yes);
    run("delete", dest.path(), 0, [&] { window.mnuDelete_Click(); });
    EXPECT_EQ(platform.shown.size(), n) << "n - 1 questions and one failure";
    EXPECT_EQ(platform.shown.back().style, MsgStyle::Critical);
}

// One of the two windows of the test below, each in a process of its own:
// rounds of refresh, Select All, Copy or Cut, and Paste into the other pane,
// answering Yes to every question.
TEST(TwoWindows, DISABLED_Worker) {
    const QStringList folders = qEnvironmentVariable("DUOSCOPE_LOAD_FOLDERS").split('\n');
    const int role = qEnvironmentVariableIntValue("DUOSCOPE_LOAD_ROLE");
    SettingsStore::setConfigFolder(qEnvironmentVariable("DUOSCOPE_LOAD_CONFIG"));
    ScriptedPlatform platform;
    Main window{platform};
    window.txtSource()->setText(folders.value(0));
    window.txtDest()->setText(folders.value(1));
    for (int round = 0; round < 20; ++round) {
        window.mnuRefresh_Click();
        // Each row shows the icon of its own file's type.
        QHash<QString, QImage> iconOfType;
        for (const ListPane* pane : {window.lvSource(), window.lvDest()}) {
            for (int r = 0; r < pane->count(); ++r) {
                const QString type = pane->rows().subItem(r, PaneModel::Type);
                const QImage icon = window.ilIcons().image(pane->rows().smallIcon(r));
                if (!pane->rowText(r).isEmpty()) {
                    EXPECT_EQ(*iconOfType.insert(type, iconOfType.value(type, icon)), icon)
                        << type.toStdString();
                }
            }
        }
        const QList<QImage> icons = iconOfType.values();
        ASSERT_EQ(icons.size(), 2);
        EXPECT_NE(icons[0], icons[1]) << "two types, two icons";
        const bool fromSource = (round + role) % 2 == 0;
        fromSource ? window.lvSource_GotFocus() : window.lvDest_GotFocus();
        window.mnuEditDSelectAll_Click();
        round % 2 ? window.mnuEditCut_Click() : window.mnuEditCopy_Click();
        fromSource ? window.lvDest_GotFocus() : window.lvSource_GotFocus();
        platform.answers.assign(1000, Answer::Yes);
        window.mnuEditPaste_Click();
    }
    // Failures are told one file at a time; none ends a refresh.
    for (const auto& [text, style] : platform.shown) {
        if ((style & 0xF0) == MsgStyle::Critical) {
            EXPECT_TRUE(text.contains(" could not be ")) << text.toStdString();
        }
    }
    window.Form_Unload();
}

TEST(TwoWindows, RefreshingAndPastingIntoTheSameFoldersLoseNothing) {
    // The second folder in the same file system as the first, then in another.
    for (const QString& otherFolder : {QString(), QStringLiteral("/dev/shm")}) {
        SCOPED_TRACE(otherFolder.toStdString());
        if (!otherFolder.isEmpty() && !QFileInfo(otherFolder).isWritable())
            continue; // a machine without that file system tests the one above only
        TempTree a, b(otherFolder), config, temp;
        // Files of two types, each name's content its own, the same in both folders.
        QHash<QString, QByteArray> made;
        for (int i = 0; i < 200; ++i) {
            for (TempTree* t : {&a, &b}) {
                const QString name =
                    QString(t == &a ? "a%1.%2" : "b%1.%2").arg(i).arg(i % 2 ? "txt" : "png");
                t->write(name, made[name] = name.toUtf8().repeated(1 + i * 50));
            }
        }
        QProcess workers[2];
        for (int role = 0; role < 2; ++role) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DUOSCOPE_LOAD_FOLDERS", a.path() + '\n' + b.path());
            env.insert("DUOSCOPE_LOAD_ROLE", QString::number(role));
            env.insert("DUOSCOPE_LOAD_CONFIG", config.path());
            env.insert("TEMP", temp.path());
            workers[role].setProcessEnvironment(env);
            workers[role].setProcessChannelMode(QProcess::MergedChannels);
            workers[role].start(
                QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=TwoWindows.DISABLED_Worker"});
        }
        for (QProcess& worker : workers) {
            ASSERT_TRUE(worker.waitForFinished(120000));
            EXPECT_TRUE(worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 0)
                << worker.readAll().toStdString();
        }
        // Each file whole in one folder at least, and nothing else there.
        QSet<QString> found;
        for (const TempTree* t : {&a, &b}) {
            for (const QString& name : files(t->path())) {
                EXPECT_EQ(t->read(name), made.value(name, "not made here")) << name.toStdString();
                found << name;
            }
        }
        EXPECT_EQ(found.size(), made.size());
        EXPECT_EQ(files(temp.path()), QStringList()) << "the scratch file went at the last exit";
        EXPECT_EQ(files(config.filePath("Zelmar")), QStringList("Duoscope.ini"));
        const QSettings store(config.filePath("Zelmar/Duoscope.ini"), QSettings::IniFormat);
        EXPECT_GE(store.allKeys().size(), 22) << "a whole store";
    }
}

} // namespace
