#include "shell/start_warmup.h"

#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>

StartWarmUp::StartWarmUp() : m_fonts([] { FcInit(); }) {}

StartWarmUp::~StartWarmUp() {
    waitForFonts();
    if (m_types.joinable())
        m_types.join();
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
