#pragma once

#include "Status.h"

#include <QByteArray>
#include <QString>

// Unpacks a zip archive's first member or a gzip file into a descriptor the caller opened.
// The bytes are copied unchanged: no decoding, no line-end conversion. On failure the descriptor
// holds a partial copy and the status says why.
class Unzip
{
public:
    explicit Unzip(const QString &inputName);

    // The first member in the archive's directory. Fails when the archive cannot be read, the
    // member's data is damaged or does not match its stored checksum or size, or a write fails.
    Status uncompress(int outputFd);

    // The gzip data decompressed; a file that is not gzip-compressed is copied as it is.
    // Fails on corrupt or truncated data or a failed write.
    Status ungzip(int outputFd);

private:
    QByteArray m_inputName; // 8-bit file-system encoding of the archive path
};
