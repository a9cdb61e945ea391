#pragma once

// Outside a desktop session Qt knows no icon theme (or only the bare
// "hicolor") and may not look where the desktop's themes are installed:
// add those places and use the stock theme the program installs with.
void ensureIconTheme();
