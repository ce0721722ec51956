#pragma once

#include <QByteArray>
#include <QString>

// Unpacks a zip archive's first member or a gzip file into a descriptor the caller opened.
// The bytes are copied unchanged: no decoding, no line-end conversion.
class Unzip
{
public:
    explicit Unzip(const QString &inputName);

    // The first member in the archive's directory. False when the archive cannot be read, the
    // member's data is damaged or does not match its stored checksum or size, or a write fails;
    // the descriptor then holds a partial copy.
    bool uncompress(int outputFd);

    // The gzip data decompressed; a file that is not gzip-compressed is copied as it is.
    // False on corrupt or truncated data or a failed write.
    bool ungzip(int outputFd);

private:
    QByteArray m_inputName; // 8-bit file-system encoding of the archive path
};
