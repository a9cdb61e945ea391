#include "shell/start_warmup.h"

#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>

StartWarmUp::StartWarmUp() : m_fonts([] { FcInit(); }) {}

StartWarmUp::~StartWarmUp() {
    waitForFonts();
    if (m_types.joinable())
        m_types.join();
}

void StartWarmUp::readTypes() {
    m_types = std::thread(
        [] { (void)QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment(); });
}

void StartWarmUp::waitForFonts() {
    if (m_fonts.joinable())
        m_fonts.join();
}
