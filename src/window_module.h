#pragma once

// The window's code is a module of its own (with the widget libraries it
// needs), loaded by the program only to open the window: the command line's
// report and synchronisation start with Qt Core alone.

// The window's run, or ssh's question asked in a dialog: the arguments as
// main() has them, and the process exit code.
extern "C" int duoscopeWindowMain(int argc, char* argv[]);
using WindowMain = int(int argc, char* argv[]);
inline constexpr char windowMainSymbol[] = "duoscopeWindowMain";
