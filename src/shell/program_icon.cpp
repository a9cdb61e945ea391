#include "shell/program_icon.h"

#include <QFile>

// The resources live in a static library: nothing would pull them into the
// executable unless registered by name.
static void initResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(duoscope);
        return true;
    }();
    (void)done;
}

QIcon programIcon() {
    initResources();
    QIcon icon;
    // Drawn once per size from the scalable drawing (data/duoscope.svg).
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/duoscope/icons/duoscope-%1.png").arg(side),
                     QSize(side, side));
    return icon;
}

QByteArray programIconSvg() {
    initResources();
    QFile file(QStringLiteral(":/duoscope/duoscope.svg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
