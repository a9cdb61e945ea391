#include "base/name_text.h"
#include "fileops/command_line.h"
#include "remote/ssh_link.h"
#include "window_module.h"

#include <QCoreApplication>
#include <cstdio>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// The window module, found beside the program as it is laid out installed
// and in the build tree alike.
int openWindow(int argc, char* argv[]) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self);
    if (n <= 0 || size_t(n) == sizeof self) {
        std::fputs("duoscope: cannot find the program's own folder\n", stderr);
        return 1;
    }
    QByteArray path(self, n);
    path.truncate(path.lastIndexOf('/') + 1);
    path += DUOSCOPE_WINDOW_FROM_BIN;
    void* module = ::dlopen(path.constData(), RTLD_LAZY | RTLD_LOCAL);
    auto* run = module ? reinterpret_cast<WindowMain*>(::dlsym(module, windowMainSymbol)) : nullptr;
    if (!run) {
        std::fprintf(stderr, "duoscope: cannot load the window: %s\n", ::dlerror());
        return 1;
    }
    return run(argc, argv);
}

} // namespace

int main(int argc, char* argv[]) {
    // Taken before Qt sees them: Qt removes the options it knows. Each keeps
    // its bytes through the name text form, so any folder can be given.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << nameText(QByteArray(argv[i]));

    if (isSshAskPassRun(argc) || !isCommandLineInvocation(args))
        return openWindow(argc, argv);
    QCoreApplication app(argc, argv);
    return runCommandLine(args);
}
