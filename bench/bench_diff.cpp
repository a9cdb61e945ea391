// Times the side-by-side view of two versions of a text file, from opening it
// to its first paint with the comparison in it, against `diff` of the same
// files in the same run; the memory the comparison takes; and a character
// typed in the middle of the left file, from the key to the paint of the
// rows compared again; and that file saved, against `cp` of it.
//
//   build/bench/bench_diff [lines] [changes] [runs]
// (17,000,000 lines make two files of about 1 GB.)
#include "base/message_style.h"
#include "bench_app.h"
#include "bench_measure.h"
#include "dialogs/file_diff_view.h"
#include "shell/qt_platform.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Opens the view, waits for the comparison and paints it once.
void showView(const QByteArray& left, const QByteArray& right) {
    QtPlatform platform;
    FileDiffView view(left, right, platform);
    view.resize(1100, 760);
    view.show();
    QEventLoop loop;
    QObject::connect(&view, &FileDiffView::compared, &loop, &QEventLoop::quit);
    loop.exec();
    view.area()->viewport()->repaint();
}

// Every question answered Yes: a saved file's old version is replaced for
// good rather than filling the user's Trash with gigabytes.
class YesPlatform : public QtPlatform {
public:
    int messageBox(QWidget*, const QString&, int) override { return Answer::Yes; }
};

void run(const char* program, const QByteArray& left, const QByteArray& right) {
    const char* argv[] = {program, left.constData(), right.constData(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, &actions, nullptr, const_cast<char**>(argv), environ) == 0)
        ::waitpid(pid, nullptr, 0);
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace

int main(int argc, char* argv[]) {
    BenchApp app(argc, argv);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int changes = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
    QTemporaryDir dir;
    std::mt19937 random(7);
    // Scattered edits: two in five change a line, the rest insert or remove one.
    std::vector<std::pair<int, int>> edits; // (line, edit number)
    for (int k = 0; k < changes; ++k)
        edits.push_back({int(random() % unsigned(lines)), k});
    std::sort(edits.begin(), edits.end());
    // Written a line at a time: the files may be far larger than memory.
    QByteArray paths[2];
    QFile files[2];
    for (int s = 0; s < 2; ++s) {
        files[s].setFileName(dir.filePath(s ? QStringLiteral("b.txt") : QStringLiteral("a.txt")));
        if (!files[s].open(QIODevice::WriteOnly))
            return 1;
        paths[s] = QFile::encodeName(files[s].fileName());
    }
    auto edit = edits.begin();
    for (int i = 0; i < lines; ++i) {
        QByteArray line = "    result_" + QByteArray::number(i) + " = combine(source[" +
                          QByteArray::number(int(random() % 1000)) + "], \"entry " +
                          QByteArray::number(i) + "\");\n";
        files[0].write(line);
        bool kept = true;
        for (; edit != edits.end() && edit->first == i; ++edit) {
            const int k = edit->second;
            if (k % 5 < 2)
                line.replace("combine", "merge");
            else if (k % 5 < 4)
                files[1].write("    // inserted " + QByteArray::number(k) + '\n');
            else
                kept = false;
        }
        if (kept)
            files[1].write(line);
    }
    const qint64 bytes = files[0].size() + files[1].size();
    for (QFile& f : files)
        f.close();
    const double filesMiB = double(bytes) / (1024.0 * 1024.0);

    // A view of two small files first: fonts and styles are loaded once per
    // program, as the main window has done before any comparison.
    QFile small(dir.filePath(QStringLiteral("small.txt")));
    if (!small.open(QIODevice::WriteOnly) || small.write("a\n") != 2)
        return 1;
    small.close();
    showView(QFile::encodeName(small.fileName()), QFile::encodeName(small.fileName()));
    const double before = residentMiB();
    showView(paths[0], paths[1]);
    const double peak = double(peakKiB()) / 1024.0 - before;

    const double view = medianMs(runs, [&] { showView(paths[0], paths[1]); });
    const double diff = medianMs(runs, [&] { run("diff", paths[0], paths[1]); });
    // Typing: each character an edit compared again off the window's thread.
    YesPlatform platform;
    FileDiffView typed(paths[0], paths[1], platform);
    typed.setKeepInTrash(false);
    typed.resize(1100, 760);
    typed.show();
    {
        QEventLoop loop;
        QObject::connect(&typed, &FileDiffView::compared, &loop, &QEventLoop::quit);
        loop.exec();
    }
    typed.area()->setCaret({false, lines / 2, 4});
    const double typing = medianMs(runs * 4, [&] {
        QEventLoop loop;
        QObject::connect(&typed, &FileDiffView::compared, &loop, &QEventLoop::quit);
        typed.area()->insertText(QStringLiteral("x"));
        loop.exec();
        typed.area()->viewport()->repaint();
    });
    // The save writes the file once, as `cp` does: one temporary, renamed over.
    std::vector<double> saves;
    for (int r = 0; r < runs; ++r) {
        typed.area()->insertText(QStringLiteral("x"));
        const auto start = Clock::now();
        typed.save(false);
        saves.push_back(msSince(start));
    }
    const QByteArray copy = QFile::encodeName(dir.filePath(QStringLiteral("copy.txt")));
    const double cp = medianMs(runs, [&] { run("cp", paths[0], copy); });
    const std::string what = "2 x " + grouped(lines) + " lines, " + grouped(changes) + " changes";
    result("A character typed, compared again and painted, " + what, typing, "ms", diff,
           "`diff` of the same files");
    result("An edited file saved, " + grouped(lines) + " lines", median(saves), "ms", cp,
           "`cp` of the file");
    result("Side-by-side view shown, " + what, view, "ms", diff, "`diff` of the same files");
    result("Memory of the view (peak above the program before it), " + what, peak, "MiB", filesMiB,
           "the two files' size");
    return 0;
}
