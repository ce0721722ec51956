#pragma once

#include "Status.h"

#include <QByteArray>
#include <QStringView>
#include <cstring>

class CopyMeter;

// The prepared HTML copy of a book as it is written: buffered writes to a descriptor, each byte
// counted by the meter, and the offset reached, which is where anchors and contents entries point.
class BookOutput
{
public:
    BookOutput(int fd, CopyMeter &meter);
    ~BookOutput() = default;

    // False once a write failed or the meter stopped; status() says why.
    bool write(const char *data, size_t size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), size_t(bytes.size())); }
    bool write(const char *text) { return write(text, std::strlen(text)); }
    // Text as HTML character data: "&", "<" and ">" escaped; with `attribute`, quotes too; with
    // `foldLineFeeds`, line feeds and carriage returns written as spaces.
    bool writeText(QStringView text, bool attribute = false, bool foldLineFeeds = false);
    bool flush();
    // Drops everything from `offset` on (a part written before is kept), for starting a part over.
    bool truncateTo(qint64 offset);

    qint64 offset() const { return m_written + m_buffer.size(); }
    const Status &status() const { return m_status; }

private:
    bool fail(Status status);

    int m_fd;
    CopyMeter &m_meter;
    QByteArray m_buffer;
    qint64 m_written = 0;  // bytes already in the file
    Status m_status;
};
