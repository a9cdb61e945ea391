#pragma once

#include <QByteArray>

// Folders named by the user, on the command line or typed into a folder box:
// made absolute, looked up, and the nearest one that is there.

// `path` made absolute against `base` (an absolute folder), with empty and
// "." names dropped and ".." taking off the name before it, as the shell's
// cd does: with base /home/u/work, "../x" gives /home/u/x. "~" and "~/..."
// start at `home`. The bytes of the names are kept; "/" has no trailing "/",
// nor has any other result.
QByteArray absolutePath(const QByteArray& path, const QByteArray& base,
                        const QByteArray& home = {});

// The folder the program was started from: $PWD when it names the current
// folder (so a folder reached through a link reads as the user typed it),
// else the one the system gives.
QByteArray startingFolder();

// True when `path` leads to a folder (through links too).
bool isFolder(const QByteArray& path);

// The nearest folder at or above `path` that exists: "/" at worst.
QByteArray nearestFolder(const QByteArray& path);
