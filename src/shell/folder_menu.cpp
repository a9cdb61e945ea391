#include "shell/folder_menu.h"

#include "shell/program_icon.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString caption = QStringLiteral("Match with folder...");
const QString iconName = QStringLiteral("duoscope");

// A string value of a desktop entry or key file: one line, backslashes doubled.
QString keyFileValue(const QString& text) {
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QByteArray desktopEntry(const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=Compare this folder with another one in Duoscope\n"
                          "Icon=%2\n"
                          "TryExec=%3\n"
                          "Exec=%4 %f\n"
                          "MimeType=inode/directory;\n"
                          "NoDisplay=true\n"
                          "Terminal=false\n")
        .arg(caption, iconName, keyFileValue(program), desktopExecArgument(program))
        .toUtf8();
}

QByteArray kdeServiceMenu(const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Service\n"
                          "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                          "MimeType=inode/directory;\n"
                          "Actions=matchWithFolder;\n"
                          "\n"
                          "[Desktop Action matchWithFolder]\n"
                          "Name=%1\n"
                          "Icon=%2\n"
                          "Exec=%3 %f\n")
        .arg(caption, iconName, desktopExecArgument(program))
        .toUtf8();
}

// Nemo puts the folder in double quotes itself and splits the line by shell
// rules.
QByteArray nemoAction(const QString& program) {
    return QStringLiteral("[Nemo Action]\n"
                          "Name=%1\n"
                          "Comment=Compare this folder with another one in Duoscope\n"
                          "Icon-Name=%2\n"
                          "Exec=%3 %F\n"
                          "Selection=s\n"
                          "Extensions=dir;\n"
                          "Quote=double\n")
        .arg(caption, iconName, keyFileValue(shellQuoted(program)))
        .toUtf8();
}

// Nautilus runs every script on any selection, with names relative to the
// folder it shows; the script starts the program only on one folder.
QByteArray nautilusScript(const QString& program) {
    return QStringLiteral(
               "#!/bin/sh\n"
               "# Duoscope writes this file at every start; delete it to remove the entry.\n"
               "[ \"$#\" -eq 1 ] && [ -d \"$1\" ] || exit 0\n"
               "case \"$1\" in /*) folder=$1 ;; *) folder=$PWD/$1 ;; esac\n"
               "exec %1 \"$folder\"\n")
        .arg(shellQuoted(program))
        .toUtf8();
}

// True when the file at `path` already holds `content` with `mode`.
bool alreadyThere(const QString& path, const QByteArray& content, QFileDevice::Permissions mode) {
    constexpr QFileDevice::Permissions bits =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QFile file(path);
    return !QFileInfo(path).isSymLink() && (file.permissions() & bits) == mode &&
           file.size() == content.size() && file.open(QIODevice::ReadOnly) &&
           file.readAll() == content;
}

bool writeWhole(const QString& path, const QByteArray& content, bool executable) {
    QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ReadGroup | QFileDevice::ReadOther;
    // File managers run only executable scripts and service menus.
    if (executable)
        mode |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    // Written again only when changed: each file written is flushed to the
    // disk, milliseconds of every start before the window shows.
    if (alreadyThere(path, content, mode))
        return true;
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(content) != content.size() || !file.setPermissions(mode))
        return false; // the half-written copy is discarded, the old file stays
    return file.commit();
}

} // namespace

QString desktopExecArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
        if (c == QLatin1Char('%'))
            quoted += c; // a literal percent sign, not a field code
    }
    quoted += QLatin1Char('"');
    return keyFileValue(quoted);
}

QString shellQuoted(const QString& word) {
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QList<FolderMenuEntry> folderMenuEntries(const QString& program) {
    QList<FolderMenuEntry> entries{
        {QStringLiteral("applications/duoscope-match-folder.desktop"), desktopEntry(program)},
        {QStringLiteral("kio/servicemenus/duoscope-match-folder.desktop"), kdeServiceMenu(program),
         true},
        {QStringLiteral("nemo/actions/duoscope-match-folder.nemo_action"), nemoAction(program)},
        {QStringLiteral("nautilus/scripts/") + caption, nautilusScript(program), true},
    };
    const QByteArray icon = programIconSvg();
    if (!icon.isEmpty())
        entries.append({QStringLiteral("icons/hicolor/scalable/apps/duoscope.svg"), icon});
    return entries;
}

void writeFolderMenu(const QString& dataHome, const QString& program) {
    if (!QDir::isAbsolutePath(dataHome))
        return;
    for (const FolderMenuEntry& entry : folderMenuEntries(program))
        writeWhole(dataHome + QLatin1Char('/') + entry.relativePath, entry.content,
                   entry.executable);
}
