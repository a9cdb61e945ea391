#include "shell/start_warmup.h"

#include <QMimeDatabase>
#include <fontconfig/fontconfig.h>

StartWarmUp::StartWarmUp()
    : m_fonts([] { FcInit(); }), m_types([] {
          (void)QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain")).comment();
      }) {}

StartWarmUp::~StartWarmUp() {
    waitForFonts();
    if (m_types.joinable())
        m_types.join();
}

void StartWarmUp::waitForFonts() {
    if (m_fonts.joinable())
        m_fonts.join();
}
