#pragma once

#include <QIODevice>

// A write-only device that accepts `limit` bytes, then fails every write.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(qint64 limit) : m_limit(limit) { open(QIODevice::WriteOnly); }
    qint64 written() const { return m_written; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override {
        if (m_written >= m_limit) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 n = std::min(len, m_limit - m_written);
        m_written += n;
        return n;
    }

private:
    qint64 m_limit;
    qint64 m_written = 0;
};
