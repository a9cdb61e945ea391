#include "shell/start_warmup.h"

#include "shell/program_icon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>

StartWarmUp::StartWarmUp() : m_fonts([] { FcInit(); }) {}

StartWarmUp::~StartWarmUp() {
    finish();
}

void StartWarmUp::finish() {
    for (std::thread* t : {&m_fonts, &m_types, &m_icon, &m_bus}) {
        if (t->joinable())
            t->join();
    }
}

void StartWarmUp::readTypes(const QStringList& names) {
    m_types = std::thread([names] {
        const QMimeDatabase mime;
        for (const QString& name : names)
            (void)mime.mimeTypeForName(name).comment();
    });
}

void StartWarmUp::connectSessionBus() {
    m_bus = std::thread([] { (void)QDBusConnection::sessionBus(); });
}

void StartWarmUp::waitForFonts() {
    if (m_fonts.joinable())
        m_fonts.join();
}

void StartWarmUp::giveProgramIcon() {
    m_icon = std::thread([] {
        const QList<QImage> images = programIconImages();
        QMetaObject::invokeMethod(
            qApp, [images] { QApplication::setWindowIcon(programIcon(images)); },
            Qt::QueuedConnection);
    });
}
