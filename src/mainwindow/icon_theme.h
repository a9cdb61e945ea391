#pragma once

// Outside a desktop session Qt knows no icon theme (or only the bare
// "hicolor") and may not look where the desktop's themes are installed:
// add those places and use the stock theme the program installs with.
void ensureIconTheme();

// Looks up the toolbar's images (main_menus.cpp) ahead of the window, where
// the program would otherwise wait for fontconfig: it uses no font. The first
// toolbar made takes them; one made without them looks them up itself.
void lookUpToolbarIcons();
