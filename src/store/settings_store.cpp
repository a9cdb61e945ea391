#include "store/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString section = QStringLiteral("Duoscope");

QString& configFolder() {
    static QString folder;
    return folder;
}

// The whole content of a regular file at `path`; empty for anything else.
QByteArray readRegularFile(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    QByteArray data;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[16384];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                data.clear();
                break;
            }
            data.append(buffer, got);
        }
    }
    ::close(fd);
    return data;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One value as INI files store it: quoted runs, backslash escapes, ";"
// starting a comment and "," separating the items of a list, which reads
// back joined by ", ".
QString unescapeValue(const QByteArray& raw) {
    QByteArray out;
    QStringList items;
    bool quoted = false;
    qsizetype i = 0;
    while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
        ++i;
    qsizetype keepTo = 0; // trailing blanks outside quotes are dropped
    for (; i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && i + 1 < raw.size()) {
            const char e = raw[++i];
            static const char from[] = "abfnrtv", to[] = "\a\b\f\n\r\t\v";
            if (const char* at = std::strchr(from, e); at && e) {
                out += to[at - from];
            } else if (e == 'x' || (e >= '0' && e <= '7')) {
                const int base = e == 'x' ? 16 : 8;
                qsizetype j = e == 'x' ? i + 1 : i;
                uint code = 0;
                for (int n = 0; j < raw.size() && n < (base == 16 ? 4 : 3); ++j, ++n) {
                    const int d = hexDigit(raw[j]);
                    if (d < 0 || d >= base)
                        break;
                    code = code * uint(base) + uint(d);
                }
                out += QString(QChar(char16_t(code))).toUtf8();
                i = j - 1;
            } else {
                out += e;
            }
            keepTo = out.size();
            continue;
        } else if (!quoted && c == ';') {
            break;
        } else if (!quoted && c == ',') {
            items << QString::fromUtf8(out.left(keepTo)).trimmed();
            out.clear();
            keepTo = 0;
            continue;
        } else {
            out += c;
        }
        if (quoted || (c != ' ' && c != '\t'))
            keepTo = out.size();
    }
    items << QString::fromUtf8(out.left(keepTo));
    QString value = items.join(QStringLiteral(", "));
    if (value.startsWith(QLatin1String("@@")))
        value.remove(0, 1);
    return value;
}

// The INI form of a value: backslashes, quotes and control characters
// escaped, and quotes around it when it holds ";", "," or "=" or begins or
// ends with a blank. A leading "@" is doubled.
QByteArray escapeValue(const QString& value) {
    const QByteArray utf8 =
        (value.startsWith(QLatin1Char('@')) ? QStringLiteral("@") + value : value).toUtf8();
    QByteArray out;
    bool needsQuotes = false;
    bool hexPending = false; // a hex digit right after "\xNN" would join it
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        needsQuotes |= c == ';' || c == ',' || c == '=';
        if (hexPending && hexDigit(c) >= 0) {
            out += "\\x" + QByteArray::number(u, 16);
            continue;
        }
        hexPending = false;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\x" + QByteArray::number(u, 16);
            hexPending = true;
        } else {
            out += c;
        }
    }
    if (needsQuotes || out.startsWith(' ') || out.endsWith(' '))
        out = '"' + out + '"';
    return out;
}

// A key of a junk line (control bytes, bytes that are not UTF-8) is not
// kept: it would be written back as it came.
bool printable(const QString& key, const QByteArray& raw) {
    return key.toUtf8() == raw &&
           std::all_of(key.cbegin(), key.cend(), [](QChar c) { return c.isPrint(); });
}

} // namespace

SettingsStore::SettingsStore()
    : SettingsStore((configFolder().isEmpty()
                         ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                         : configFolder()) +
                    QStringLiteral("/Zelmar/Duoscope.ini")) {}

SettingsStore::SettingsStore(const QString& fileName, FileSystem::WriteCall writeCall)
    : m_fileName(fileName), m_writeCall(writeCall) {
    bool inSection = false;
    for (const QByteArray& line : readRegularFile(FileSystem::encode(fileName)).split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[')) {
            inSection = t == '[' + section.toUtf8() + ']';
            continue;
        }
        const qsizetype eq = t.indexOf('=');
        if (!inSection || eq <= 0 || t.startsWith(';') || t.startsWith('#'))
            continue;
        const QString key = QString::fromUtf8(t.left(eq).trimmed());
        const QString value = unescapeValue(t.mid(eq + 1));
        if (printable(key, t.left(eq).trimmed()) && value != QLatin1String("@Invalid()"))
            m_values.insert(key, value);
    }
}

void SettingsStore::setConfigFolder(const QString& folder) {
    configFolder() = folder;
}

QString SettingsStore::read(const QString& key, const QString& fallback) const {
    return m_values.value(key, fallback);
}

void SettingsStore::write(const QString& key, const QString& text) {
    m_values.insert(key, text);
}

bool SettingsStore::save() {
    QByteArray target = FileSystem::encode(m_fileName);
    mode_t mode = 0600;
    struct stat st {};
    if (::lstat(target.constData(), &st) != 0) {
        if (errno != ENOENT || !QDir().mkpath(QFileInfo(m_fileName).absolutePath()))
            return false;
    } else {
        // Through a link only to a regular file; never in place of anything else.
        if (S_ISLNK(st.st_mode)) {
            char real[PATH_MAX];
            if (!::realpath(target.constData(), real))
                return false;
            target = real;
        }
        if (::stat(target.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        mode = st.st_mode & 07777;
    }
    QByteArray content = '[' + section.toUtf8() + "]\n";
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        content += it.key().toUtf8() + '=' + escapeValue(it.value()) + '\n';
    return FileSystem::replaceFile(target, content, mode, true, m_writeCall).ok();
}
