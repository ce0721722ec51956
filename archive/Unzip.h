#pragma once

#include "Status.h"

#include <QString>

class CopyMeter;

// Unpacks a zip archive's first file or a gzip file into a descriptor the caller opened. The bytes
// are copied unchanged: no decoding, no line-end conversion. Every byte written passes through the
// meter, which stops the work past its size limit or when the caller cancels; on any failure the
// output descriptor holds a partial copy and the status says why.
class Unzip
{
public:
    // `inputFd` is a regular file open for reading; it stays the caller's and is never closed or
    // moved here (a zip is read with pread, a gzip file through a duplicate from offset 0).
    Unzip(int inputFd, CopyMeter &meter);

    // The first member in the archive's directory that is a file, not a folder. Fails when the
    // archive cannot be read or holds no file, the member's data is damaged or does not match its
    // stored checksum or size, a write fails, or the meter stops the work.
    Status uncompress(int outputFd);

    // The name of the archive's first file member ("OEBPS/chapter.xhtml"), as uncompress() picks
    // it; empty when it has none or cannot be read. Reads the directory only.
    static QString firstFileName(int inputFd);

    // The gzip data decompressed; a file that is not gzip-compressed is copied as it is.
    // Fails on corrupt or truncated data, a failed write, or when the meter stops the work.
    Status ungzip(int outputFd);

private:
    int m_inputFd;
    CopyMeter &m_meter;
};
