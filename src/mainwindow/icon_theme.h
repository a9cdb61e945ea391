#pragma once

#include <QIcon>
#include <QStyle>

// Outside a desktop session Qt knows no icon theme (or only the bare
// "hicolor") and may not look where the desktop's themes are installed:
// add those places and use the stock theme the program installs with.
void ensureIconTheme();

// Looks up the toolbar's images (main_menus.cpp) ahead of the window, where
// the program would otherwise wait for fontconfig: it uses no font. The first
// toolbar made takes them; one made without them looks them up itself.
void lookUpToolbarIcons();

// The style's own image, as it gives it with the desktop's settings left
// aside, decoded in the one of its sizes Qt draws `largest` pixels from: the
// toolbar draws one size, and the style decodes all of them, which took
// longer than the rest of the toolbar's lookup. Drawn at another size later
// (a denser screen), it is scaled from that one.
QIcon styleImage(const QStyle& style, QStyle::StandardPixmap image, int largest);
