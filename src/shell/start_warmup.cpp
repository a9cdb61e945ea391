#include "shell/start_warmup.h"

#include "shell/program_icon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFontDatabase>
#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>
#include <utility>

StartWarmUp::StartWarmUp()
    : m_fonts([this, list = m_listFonts.get_future()]() mutable {
          FcInit();
          m_fontconfigRead.set_value();
          if (list.get())
              (void)QFontDatabase::families();
      }) {}

StartWarmUp::~StartWarmUp() {
    finish();
}

void StartWarmUp::finish() {
    if (!std::exchange(m_listFontsSaid, true))
        m_listFonts.set_value(false);
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

void StartWarmUp::listFonts() {
    if (!std::exchange(m_listFontsSaid, true))
        m_listFonts.set_value(true);
}

void StartWarmUp::waitForFonts() {
    m_fontconfigReadNow.wait();
}

void StartWarmUp::giveProgramIcon() {
    m_icon = std::thread([] {
        const QList<QImage> images = programIconImages();
        QMetaObject::invokeMethod(
            qApp, [images] { QApplication::setWindowIcon(programIcon(images)); },
            Qt::QueuedConnection);
    });
}
