#pragma once

#include <QString>

// When two modification times count as equal: within `tolerance` seconds
// (a FAT or exFAT copy keeps times to 2 s), and with `ignoreHourShift` also
// when one is an hour off the other (a clock-change shift on such a disk).
struct TimeRule {
    int tolerance = 2;
    bool ignoreHourShift = false;
};

// The in-memory settings that the Options dialog edits: loaded at start-up, edited by the
// options dialog, saved at shut-down, read by every scan.
struct FilterSettings {
    QString fileTypes = QStringLiteral("*.*");
    qint16 showArchive = 1;
    qint16 showReadOnly = 1;
    qint16 showHidden = 0;
    qint16 showSystem = 0;
    qint16 loadIcons = 1;
    // The user's diff program, "%1" and "%2" standing for the two files; empty
    // for the program's own view.
    QString diffProgram;
    // What the comparison window ignores (Ignore flags), as it was last set there.
    qint16 diffIgnore = 0;
    // Delete moves files to the Trash, and a replaced file is kept there.
    qint16 useTrash = 1;
    // Folders are listed too, before the files.
    qint16 showSubfolders = 1;
    // How every comparison reads modification times.
    TimeRule times;
    // Folders and files no comparison looks at (exclusions.h); empty for none.
    QString excludeNames;
};

// The attribute mask of a scan: 32, 1, 2, 4 for each switch that is on.
int attributeMask(const FilterSettings& settings);
