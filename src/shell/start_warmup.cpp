#include "shell/start_warmup.h"

#include "shell/program_icon.h"

#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>

StartWarmUp::StartWarmUp() : m_fonts([] { FcInit(); }) {}

StartWarmUp::~StartWarmUp() {
    waitForFonts();
    for (std::thread* t : {&m_types, &m_icon}) {
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

void StartWarmUp::waitForFonts() {
    if (m_fonts.joinable())
        m_fonts.join();
}

void StartWarmUp::readProgramIcon() {
    m_icon = std::thread([this] { m_iconImages = ::programIconImages(); });
}

QList<QImage> StartWarmUp::programIconImages() {
    if (m_icon.joinable())
        m_icon.join();
    return m_iconImages;
}
