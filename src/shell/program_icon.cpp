#include "shell/program_icon.h"

#include <QFile>
#include <QPixmap>

// The resources live in a static library: nothing would pull them into the
// executable unless registered by name.
static void initResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(duoscope);
        return true;
    }();
    (void)done;
}

QList<QImage> programIconImages() {
    initResources();
    QList<QImage> images;
    // Drawn once per size from the scalable drawing (data/duoscope.svg).
    for (int side : {16, 24, 32, 48, 64, 128, 256}) {
        const QImage image(QStringLiteral(":/duoscope/icons/duoscope-%1.png").arg(side));
        if (!image.isNull())
            images << image;
    }
    return images;
}

QIcon programIcon(const QList<QImage>& images) {
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

QIcon programIcon() {
    return programIcon(programIconImages());
}

QByteArray programIconSvg() {
    initResources();
    QFile file(QStringLiteral(":/duoscope/duoscope.svg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
