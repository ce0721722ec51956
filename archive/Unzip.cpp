#include "Unzip.h"
#include "CopyMeter.h"
#include "FileIo.h"
#include "ZipArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// The user is told which kind of archive could not be opened; the detail says why.
const char ZipMessage[] = "Error openning .zip file!";
const char GzipMessage[] = "Error openning .gz file!";

constexpr size_t Chunk = 1 << 16;

Status failure(const char *message, Status::Code code, const std::string &detail)
{
    return Status::error(code, message, detail);
}
Status writeFailed(const char *message)
{
    return failure(message, Status::Code::WriteFailed, std::string("cannot write the copy: ") + std::strerror(errno));
}

} // namespace

Unzip::Unzip(int inputFd, CopyMeter &meter) : m_inputFd(inputFd), m_meter(meter) {}

QString Unzip::firstFileName(int inputFd)
{
    ZipArchive archive(inputFd);
    if (!archive.open().isOk())
        return QString();
    const int first = archive.firstFile();
    return first < 0 ? QString() : archive.entries()[size_t(first)].name;
}

Status Unzip::uncompress(int outputFd)
{
    ZipArchive archive(m_inputFd);
    const Status opened = archive.open();
    if (!opened.isOk())
        return failure(ZipMessage, opened.code(), opened.detail());
    if (!m_meter.read(archive.bytesRead()))
        return m_meter.stopStatus();
    const int first = archive.firstFile();
    if (first < 0)
        return failure(ZipMessage, Status::Code::Unsupported,
                       archive.entries().empty() ? "the archive is empty" : "the archive holds folders but no file");
    if (archive.entries()[size_t(first)].encrypted)
        return failure(ZipMessage, Status::Code::Protected, "the first file is encrypted");
    if (!m_meter.fits(archive.entries()[size_t(first)].size))
        return m_meter.stopStatus();

    Status written;  // why the copy stopped, when it was not the archive's fault
    const Status read = archive.read(first, [&](const char *data, size_t size) {
        if (!m_meter.admit(size))
            written = m_meter.stopStatus();
        else if (!fileio::writeAll(outputFd, data, size))
            written = writeFailed(ZipMessage);
        else if (!m_meter.read(archive.bytesRead()))
            written = m_meter.stopStatus();
        return written.isOk();
    });
    if (!written.isOk())
        return written;
    if (!read.isOk())
        return failure(ZipMessage, read.code(), read.detail());
    return Status::ok();
}

Status Unzip::ungzip(int outputFd)
{
    // zlib closes what it is given: a duplicate, started at the beginning of the file.
    const int inputFd = ::fcntl(m_inputFd, F_DUPFD_CLOEXEC, 0);
    if (inputFd < 0 || ::lseek(inputFd, 0, SEEK_SET) != 0) {
        const Status failed = failure(GzipMessage, Status::Code::Unreadable, std::string("cannot read the file: ") + std::strerror(errno));
        if (inputFd >= 0)
            ::close(inputFd);
        return failed;
    }
    gzFile input = gzdopen(inputFd, "rb");
    if (!input) {
        ::close(inputFd);
        return failure(GzipMessage, Status::Code::Unreadable, "out of memory");
    }
    gzbuffer(input, 1 << 17);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[Chunk]);
    Status status = buffer ? Status::ok() : failure(GzipMessage, Status::Code::TooLarge, "out of memory");
    while (status.isOk()) {
        const int got = gzread(input, buffer.get(), unsigned(Chunk));
        if (got == 0)
            break;
        if (got < 0)
            status = failure(GzipMessage, Status::Code::Damaged, "the compressed data are damaged");
        else if (!m_meter.admit(size_t(got)))
            status = m_meter.stopStatus();
        else if (!fileio::writeAll(outputFd, buffer.get(), size_t(got)))
            status = writeFailed(GzipMessage);
        else if (!m_meter.read(uint64_t(gzoffset(input))))
            status = m_meter.stopStatus();
    }
    // A stream cut short reads as a normal end; gzclose reports it (Z_BUF_ERROR).
    if (gzclose(input) != Z_OK && status.isOk())
        status = failure(GzipMessage, Status::Code::Damaged, "the compressed data are cut short or damaged");
    return status;
}
