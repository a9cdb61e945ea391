#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <functional>

// Records written once in order and read back once in order, in bounded
// memory: for a report whose first line needs what its last row tells (the
// widths of its columns), and whose folder rows learn their status only
// after the rows below them. Past a few MiB the records go on to an unnamed
// temporary file, as `sort` spills.
class RowSpool {
public:
    RowSpool() = default;
    ~RowSpool();
    RowSpool(const RowSpool&) = delete;
    RowSpool& operator=(const RowSpool&) = delete;

    // Appends a record of a status byte and the bytes; returns where it is.
    // Throws FsError when the temporary file cannot be written.
    qint64 append(quint8 status, QByteArrayView bytes);
    // Changes the status byte of a record appended earlier.
    void setStatus(qint64 record, quint8 status);
    // Gives every record back in order. Throws FsError on a read error.
    void replay(const std::function<void(quint8 status, QByteArrayView bytes)>& record);
    // Forgets every record: the next is appended at the start again.
    void clear() {
        m_tail.resize(0);
        m_spilled = 0;
    }

private:
    void spill();
    QByteArray m_tail;     // the records past those in the file
    QByteArray m_replayed; // the records being given back
    qint64 m_spilled = 0;  // bytes in the file
    int m_fd = -1;
};
