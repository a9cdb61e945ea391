#include "remote/remote_address.h"

#include "base/name_text.h"

#include <QUrl>
#include <cctype>
#include <sys/stat.h>

namespace {

// A host name, an IPv4 address or a bracketed IPv6 one; never an option to ssh.
bool plausibleHost(QByteArrayView host) {
    if (host.isEmpty() || host.startsWith('-'))
        return false;
    if (host.startsWith('[') && host.endsWith(']'))
        return host.size() > 2;
    for (const char c : host) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_'))
            return false;
    }
    return true;
}

bool plausibleUser(QByteArrayView user) {
    return !user.startsWith('-') && !user.contains('/') && !user.contains(':');
}

} // namespace

QByteArray RemoteAddress::written() const {
    return (user.isEmpty() ? QByteArray() : user + '@') + host + ':' + path;
}

std::optional<RemoteAddress> remoteAddress(const QString& given) {
    if (given.startsWith(QLatin1String("sftp://"))) {
        const QUrl url(given, QUrl::StrictMode);
        QByteArray host = url.host(QUrl::FullyEncoded).toUtf8();
        if (host.contains(':'))
            host = '[' + host + ']';
        if (!url.isValid() || !plausibleHost(host))
            return std::nullopt;
        RemoteAddress a;
        a.user = url.userName(QUrl::FullyDecoded).toUtf8();
        a.host = host;
        a.port = url.port(0);
        // Percent escapes stand for bytes, which need not be UTF-8.
        a.path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (!plausibleUser(a.user))
            return std::nullopt;
        return a;
    }
    if (given.startsWith(QLatin1Char('/')) || given.startsWith(QLatin1String("./")))
        return std::nullopt;
    const QByteArray bytes = nameBytes(given);
    // An IPv6 address in brackets holds colons of its own.
    qsizetype colon = -1;
    if (const qsizetype at = bytes.indexOf('@'); bytes.indexOf('[', at + 1) == at + 1) {
        const qsizetype close = bytes.indexOf(']', at + 1);
        colon = close > 0 && bytes.size() > close + 1 && bytes[close + 1] == ':' ? close + 1 : -1;
    } else {
        colon = bytes.indexOf(':');
    }
    const qsizetype slash = bytes.indexOf('/');
    if (colon <= 0 || (slash >= 0 && slash < colon))
        return std::nullopt;
    struct stat st {};
    if (::lstat(bytes.constData(), &st) == 0)
        return std::nullopt; // a local file of that name
    RemoteAddress a;
    QByteArray login = bytes.left(colon);
    if (const qsizetype at = login.lastIndexOf('@'); at >= 0) {
        a.user = login.left(at);
        login = login.mid(at + 1);
    }
    a.host = login;
    a.path = bytes.mid(colon + 1);
    if (!plausibleHost(a.host) || !plausibleUser(a.user))
        return std::nullopt;
    return a;
}
