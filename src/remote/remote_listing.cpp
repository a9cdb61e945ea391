#include "remote/remote_listing.h"

#include "remote/ssh_link.h"

#include <charconv>
#include <cstring>

namespace {

// Each record: eight fields, tab-separated, then the path and the link's
// target, each ended by a NUL, the only byte no name holds.
constexpr int fieldCount = 8;

} // namespace

QByteArray remoteRecordFormat(const char* path) {
    return QByteArray("-printf \"%y\\t%Y\\t%s\\t%T@\\t%C@\\t%m\\t%D\\t%i\\t\\0") + path +
           "\\0%l\\0\"";
}

namespace {

// "1700000000.1234567890" (or "-5.5000000000") as seconds and nanoseconds.
bool parseTime(QByteArrayView text, struct timespec& t) {
    const bool negative = text.startsWith('-');
    const qsizetype dot = text.indexOf('.');
    const QByteArrayView whole = text.first(dot < 0 ? text.size() : dot).sliced(negative ? 1 : 0);
    long long seconds = 0;
    if (whole.isEmpty() || std::from_chars(whole.begin(), whole.end(), seconds).ptr != whole.end())
        return false;
    long nanoseconds = 0;
    if (dot >= 0) {
        const QByteArrayView fraction = text.sliced(dot + 1);
        for (qsizetype i = 0; i < 9; ++i) {
            const char c = i < fraction.size() ? fraction[i] : '0';
            if (c < '0' || c > '9')
                return false;
            nanoseconds = nanoseconds * 10 + (c - '0');
        }
    }
    if (negative && nanoseconds > 0) { // -5.5 is 6 seconds before, plus half a second
        seconds += 1;
        nanoseconds = 1000000000 - nanoseconds;
    }
    t.tv_sec = time_t(negative ? -seconds : seconds);
    t.tv_nsec = nanoseconds;
    return true;
}

template <typename Number> bool parseNumber(QByteArrayView text, Number& n, int base = 10) {
    return !text.isEmpty() && std::from_chars(text.begin(), text.end(), n, base).ptr == text.end();
}

} // namespace

QByteArray remoteListingCommand(int levels, bool follow) {
    // The folders are sh's arguments, never read as shell text, each
    // starting with "/" or "./" (never an option to find), listed one after
    // the other by one find, each followed if it is a link (as cd would),
    // nothing below them unless `follow`. `env` sets the messages' language whatever the
    // user's shell.
    return QByteArray("env LC_ALL=C xargs -0 -r sh -c 'exec find ") + (follow ? "-L" : "-H") +
           " \"$@\" " +
           (levels > 0 ? "-maxdepth " + QByteArray::number(levels) + ' ' : QByteArray()) +
           remoteRecordFormat("%P") + "' sh";
}

QByteArray remoteStatCommand(bool follow) {
    return QByteArray("env LC_ALL=C xargs -0 -r sh -c 'exec find ") + (follow ? "-H" : "-P") +
           " \"$@\" -maxdepth 0 " + remoteRecordFormat("%p") + "' sh";
}

bool RemoteListingReader::parse(QByteArrayView record, RemoteEntry& e) const {
    QByteArrayView fields[fieldCount];
    for (int i = 0; i < fieldCount; ++i) {
        const qsizetype tab = record.indexOf('\t');
        if (tab < 0)
            return false;
        fields[i] = record.first(tab);
        record = record.sliced(tab + 1);
    }
    if (!record.isEmpty() || fields[0].size() != 1 || fields[1].size() != 1)
        return false;
    e.type = fields[0][0];
    e.target = fields[1][0];
    return parseNumber(fields[2], e.size) && parseTime(fields[3], e.modified) &&
           parseTime(fields[4], e.changed) && parseNumber(fields[5], e.mode, 8) &&
           parseNumber(fields[6], e.device) && parseNumber(fields[7], e.inode);
}

void RemoteListingReader::feed(QByteArrayView bytes) {
    if (m_failed)
        return;
    m_pending.append(bytes);
    qsizetype at = 0;
    RemoteEntry e;
    for (;;) {
        // The fields, the path, the target: three NULs make a record.
        const qsizetype end1 = m_pending.indexOf('\0', at);
        const qsizetype end2 = end1 < 0 ? -1 : m_pending.indexOf('\0', end1 + 1);
        const qsizetype end3 = end2 < 0 ? -1 : m_pending.indexOf('\0', end2 + 1);
        if (end3 < 0)
            break;
        if (!parse(QByteArrayView(m_pending).sliced(at, end1 - at), e)) {
            m_failed = true;
            return;
        }
        e.path = m_pending.mid(end1 + 1, end2 - end1 - 1);
        e.linkTarget = m_pending.mid(end2 + 1, end3 - end2 - 1);
        m_entry(e);
        at = end3 + 1;
    }
    m_pending.remove(0, at);
}

QByteArray listRemote(const SshLink& link, const QByteArray& folder, int levels,
                      const std::function<void(const RemoteEntry&)>& entry,
                      const std::atomic<bool>* cancel, bool follow) {
    return listRemote(link, std::vector<QByteArray>{folder.isEmpty() ? QByteArray(".") : folder},
                      levels, entry, cancel, follow);
}

QByteArray listRemote(const SshLink& link, const std::vector<QByteArray>& folders, int levels,
                      const std::function<void(const RemoteEntry&)>& entry,
                      const std::atomic<bool>* cancel, bool follow) {
    QByteArray input;
    for (const QByteArray& folder : folders)
        input +=
            (folder.startsWith('/') || folder.startsWith("./") ? folder : "./" + folder) + '\0';
    RemoteListingReader reader(entry);
    const ChildResult r = link.run(
        remoteListingCommand(levels, follow), input,
        [&](QByteArrayView piece) { reader.feed(piece); }, cancel);
    if (r.exitCode == 0 && reader.complete())
        return {};
    if (!r.errors.trimmed().isEmpty())
        return r.errors.trimmed();
    if (r.startError)
        return "ssh could not start: " + QByteArray(std::strerror(r.startError));
    return reader.complete() ? QByteArray("the listing ended early")
                             : QByteArray("the host's find did not list as GNU find does");
}
