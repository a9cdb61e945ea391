#include "compare/row_spool.h"

#include "compare/report_pieces.h"
#include "fs/file_system.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Records held in memory before they go to the file, and the size of a read back.
constexpr qsizetype spillAt = 4 << 20;
constexpr qsizetype readSize = 1 << 20;
constexpr qsizetype headerSize = 1 + sizeof(quint32);

FsError spoolError(int error) {
    return FsError::fromErrno(error, QDir::tempPath());
}

} // namespace

RowSpool::~RowSpool() {
    if (m_fd >= 0)
        ::close(m_fd);
}

qint64 RowSpool::append(quint8 status, QByteArrayView bytes) {
    const qint64 at = m_spilled + m_tail.size();
    const auto length = quint32(bytes.size());
    char header[headerSize] = {char(status)};
    std::memcpy(header + 1, &length, sizeof length);
    appendBytes(m_tail, QByteArrayView(header, headerSize));
    appendBytes(m_tail, bytes);
    if (m_tail.size() >= spillAt)
        spill();
    return at;
}

void RowSpool::spill() {
    if (m_fd < 0) {
        const QByteArray dir = QFile::encodeName(QDir::tempPath());
        m_fd = ::open(dir.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0) { // a file system without unnamed files
            QByteArray name = dir + "/duoscope-rows-XXXXXX";
            m_fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (m_fd < 0)
                throw spoolError(errno);
            ::unlink(name.constData());
        }
    }
    for (qsizetype done = 0; done < m_tail.size();) {
        const ssize_t n = ::pwrite(m_fd, m_tail.constData() + done, size_t(m_tail.size() - done),
                                   m_spilled + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw spoolError(n < 0 ? errno : ENOSPC);
        done += n;
    }
    m_spilled += m_tail.size();
    m_tail.resize(0); // keeps its capacity
}

void RowSpool::setStatus(qint64 record, quint8 status) {
    if (record >= m_spilled) {
        m_tail[record - m_spilled] = char(status);
        return;
    }
    const char byte = char(status);
    while (::pwrite(m_fd, &byte, 1, record) != 1) {
        if (errno != EINTR)
            throw spoolError(errno);
    }
}

void RowSpool::replay(const std::function<void(quint8, QByteArrayView)>& record) {
    // Kept, as the tail is, with its capacity: a block that big allocated
    // anew each time is mapped and faulted in anew.
    QByteArray& buffer = m_replayed;
    buffer.resize(0);
    qsizetype at = 0;  // in buffer
    qint64 fileAt = 0; // next byte of the file to read
    // At least `n` bytes in the buffer from `at`, from the file while it
    // lasts, then from the records still in memory.
    auto have = [&](qsizetype n) {
        if (buffer.size() - at >= n)
            return true;
        buffer.remove(0, at);
        at = 0;
        while (buffer.size() < n && fileAt < m_spilled) {
            const qsizetype want = std::max(readSize, n - buffer.size());
            const qsizetype old = buffer.size();
            buffer.resize(old + qsizetype(std::min<qint64>(want, m_spilled - fileAt)));
            const ssize_t got =
                ::pread(m_fd, buffer.data() + old, size_t(buffer.size() - old), fileAt);
            if (got < 0 && errno == EINTR) {
                buffer.resize(old);
                continue;
            }
            if (got <= 0)
                throw spoolError(got < 0 ? errno : EIO);
            buffer.resize(old + got);
            fileAt += got;
        }
        if (buffer.size() < n && fileAt == m_spilled) {
            buffer.append(m_tail);
            m_tail.resize(0);
            fileAt = m_spilled + 1; // the tail is taken
        }
        return buffer.size() - at >= n;
    };
    while (have(headerSize)) {
        quint32 length = 0;
        std::memcpy(&length, buffer.constData() + at + 1, sizeof length);
        const auto status = quint8(buffer[at]);
        if (!have(headerSize + qsizetype(length)))
            break;
        record(status, QByteArrayView(buffer.constData() + at + headerSize, length));
        at += headerSize + qsizetype(length);
    }
}
