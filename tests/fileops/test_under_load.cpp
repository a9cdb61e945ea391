// Many files at once, and two windows working on the same folders at once.
#include "core/message_style.h"
#include "core/settings_store.h"
#include "fileops/pane_selection.h"
#include "mainwindow/image_list.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

int envNumber(const char* name, int fallback) {
    const int n = qEnvironmentVariableIntValue(name);
    return n > 0 ? n : fallback;
}

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
        const auto* w = qobject_cast<QWidget*>(o);
        paints += e->type() == QEvent::Paint && w != bar && !w->isAncestorOf(bar);
        return false;
    }
};

TEST(ManyFiles, RefreshSelectCopyAndDeleteKeepTheWindowPaintedAndGoOnPastAFailure) {
    const int n = envNumber("DUOSCOPE_MANY_FILES", 100000);
    TempTree source, dest;
    const QByteArray base = QFile::encodeName(source.path()) + "/f";
    for (int i = 0; i < n; ++i)
        ::close(::open(base + QByteArray::number(1000000 + i), O_CREAT | O_WRONLY, 0644));
    ScriptedPlatform platform;
    Main window{platform};
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.txtSource()->setText(source.path());
    window.txtDest()->setText(dest.path());
    Liveliness live(window.pbrMain());
    qApp->installEventFilter(&live);
    QObject::connect(window.pbrMain(), &QProgressBar::valueChanged, [&] { ++live.steps; });
    // A file taken away by someone else halfway through the command.
    QByteArray victim;
    QObject::connect(window.pbrMain(), &QProgressBar::valueChanged, [&](int value) {
        if (value == n / 2 && !victim.isEmpty())
            ::unlink(std::exchange(victim, {}).constData());
    });
    const auto run = [&](const char* what, auto command, const QString& folder, int left) {
        live.paints = live.steps = live.turns = 0;
        platform.shown.clear();
        command();
        EXPECT_GT(live.paints, 1) << what;
        EXPECT_GT(live.turns, 1) << what;
        EXPECT_GE(live.steps, n / 2) << what;
        EXPECT_EQ(files(folder).size(), left) << what;
        EXPECT_EQ(fileRows(folder == source.path() ? window.lvSource() : window.lvDest()), left)
            << what << ": refreshed at the end";
    };
    run(
        "refresh", [&] { window.mnuRefresh_Click(); }, source.path(), n);
    window.lvSource()->setFocus();
    window.mnuEditDSelectAll_Click();
    window.mnuEditCopy_Click();
    ASSERT_EQ(window.ClipboardFiles.size(), n + 1);
    const QString gone = QStringLiteral("f%1").arg(1000000 + n - 1);
    victim = base + gone.mid(1).toLatin1();
    window.lvDest()->setFocus();
    run(
        "paste", [&] { window.mnuEditPaste_Click(); }, dest.path(), n - 1);
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.startsWith(source.filePath(gone) + " could not be copied"));
    window.mnuEditDSelectAll_Click();
    victim = QFile::encodeName(dest.filePath(QStringLiteral("f%1").arg(1000000 + n - 2)));
    platform.answers.assign(size_t(n), Answer::Yes);
    run(
        "delete", [&] { window.mnuDelete_Click(); }, dest.path(), 0);
    EXPECT_EQ(platform.shown.size(), n) << "n - 1 questions and one failure";
    EXPECT_EQ(platform.shown.back().style, MsgStyle::Critical);
}

} // namespace
