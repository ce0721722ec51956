#include "Unzip.h"
#include "FileIo.h"

#include <QFile>

#include <unzip.h>
#include <zlib.h>

#include <cerrno>
#include <memory>
#include <unistd.h>

Unzip::Unzip(const QString &inputName) : m_inputName(QFile::encodeName(inputName)) {}

bool Unzip::uncompress(int outputFd)
{
    unzFile archive = unzOpen(m_inputName.constData());
    if (!archive)
        return false;
    struct Closer { unzFile a; ~Closer() { unzClose(a); } } closer{archive};

    unz_global_info global;
    if (unzGetGlobalInfo(archive, &global) != UNZ_OK)
        return false;
    // Right after opening, the current member is the first one in the directory.
    unz_file_info info;
    char name[256];
    if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    constexpr int Chunk = 8192;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[Chunk]);
    if (!buffer)
        return false;
    if (unzOpenCurrentFile(archive) != UNZ_OK)
        return false;

    // The directory's uncompressed size bounds what is written; data that stops short of it
    // (a cut archive) or runs past it is damaged, even where the checksum test cannot tell.
    const uLong declared = info.uncompressed_size;
    uLong total = 0;
    bool failed = false;
    for (;;) {
        const int got = unzReadCurrentFile(archive, buffer.get(), Chunk);
        if (got == 0)
            break;
        if (got < 0 || uLong(got) > declared - total || !writeAll(outputFd, buffer.get(), size_t(got))) {
            failed = true;
            break;
        }
        total += uLong(got);
    }
    if (failed || total != declared) {
        unzCloseCurrentFile(archive);
        return false;
    }
    // Closing is where a checksum mismatch of the member's data is reported.
    return unzCloseCurrentFile(archive) == UNZ_OK;
}

bool Unzip::ungzip(int outputFd)
{
    gzFile input = gzopen(m_inputName.constData(), "rb");
    if (!input)
        return false;
    gzbuffer(input, 1 << 17);
    char buffer[16384];
    for (;;) {
        const int got = gzread(input, buffer, sizeof buffer);
        if (got < 0) {
            gzclose(input);
            return false;
        }
        if (got == 0)
            break;
        if (!writeAll(outputFd, buffer, size_t(got))) {
            gzclose(input);
            return false;
        }
    }
    // A stream cut short reads as a normal end; gzclose reports it (Z_BUF_ERROR).
    return gzclose(input) == Z_OK;
}
