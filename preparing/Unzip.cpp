#include "Unzip.h"
#include "FileIo.h"

#include <QFile>

#include <unzip.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace {
// The user is told which kind of archive could not be opened; the detail says why.
const char ZipMessage[] = "Error openning .zip file!";
const char GzipMessage[] = "Error openning .gz file!";

Status failure(const char *message, Status::Code code, const std::string &detail)
{
    return Status::error(code, message, detail);
}
Status writeFailed(const char *message)
{
    return failure(message, Status::Code::WriteFailed, std::string("cannot write the copy: ") + std::strerror(errno));
}
} // namespace

Unzip::Unzip(const QString &inputName) : m_inputName(QFile::encodeName(inputName)) {}

Status Unzip::uncompress(int outputFd)
{
    unzFile archive = unzOpen(m_inputName.constData());
    if (!archive)
        return failure(ZipMessage, Status::Code::Unreadable, "not a readable zip archive");
    struct Closer { unzFile a; ~Closer() { unzClose(a); } } closer{archive};

    unz_global_info global;
    if (unzGetGlobalInfo(archive, &global) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Damaged, "the archive's directory cannot be read");
    // Right after opening, the current member is the first one in the directory.
    unz_file_info info;
    char name[256];
    if (unzGetCurrentFileInfo(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Damaged, "the archive's first member cannot be read");
    constexpr int Chunk = 8192;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[Chunk]);
    if (!buffer)
        return failure(ZipMessage, Status::Code::TooLarge, "out of memory");
    if (unzOpenCurrentFile(archive) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Unsupported, "the first member uses a method that cannot be unpacked");

    // The directory's uncompressed size bounds what is written; data that stops short of it
    // (a cut archive) or runs past it is damaged, even where the checksum test cannot tell.
    const uLong declared = info.uncompressed_size;
    uLong total = 0;
    Status status;
    for (;;) {
        const int got = unzReadCurrentFile(archive, buffer.get(), Chunk);
        if (got == 0)
            break;
        if (got < 0 || uLong(got) > declared - total) {
            status = failure(ZipMessage, Status::Code::Damaged, "the first member's data is damaged");
            break;
        }
        if (!fileio::writeAll(outputFd, buffer.get(), size_t(got))) {
            status = writeFailed(ZipMessage);
            break;
        }
        total += uLong(got);
    }
    if (status.isOk() && total != declared)
        status = failure(ZipMessage, Status::Code::Damaged, "the first member is shorter than its directory entry says");
    if (!status.isOk()) {
        unzCloseCurrentFile(archive);
        return status;
    }
    // Closing is where a checksum mismatch of the member's data is reported.
    if (unzCloseCurrentFile(archive) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Damaged, "the first member does not match its checksum");
    return Status::ok();
}

Status Unzip::ungzip(int outputFd)
{
    gzFile input = gzopen(m_inputName.constData(), "rb");
    if (!input)
        return failure(GzipMessage, Status::Code::Unreadable, std::string("cannot open the file: ") + std::strerror(errno));
    gzbuffer(input, 1 << 17);
    char buffer[16384];
    for (;;) {
        const int got = gzread(input, buffer, sizeof buffer);
        if (got < 0) {
            gzclose(input);
            return failure(GzipMessage, Status::Code::Damaged, "the compressed data is damaged");
        }
        if (got == 0)
            break;
        if (!fileio::writeAll(outputFd, buffer, size_t(got))) {
            const Status failed = writeFailed(GzipMessage);
            gzclose(input);
            return failed;
        }
    }
    // A stream cut short reads as a normal end; gzclose reports it (Z_BUF_ERROR).
    if (gzclose(input) != Z_OK)
        return failure(GzipMessage, Status::Code::Damaged, "the compressed data is cut short or damaged");
    return Status::ok();
}
