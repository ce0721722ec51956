#include "Unzip.h"
#include "CopyMeter.h"
#include "FileIo.h"

#include <unzip.h>
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
// A 32-bit size field holding this says the real size is in the zip64 extra field.
constexpr uint64_t Zip64Marker = 0xFFFFFFFFu;

Status failure(const char *message, Status::Code code, const std::string &detail)
{
    return Status::error(code, message, detail);
}
Status writeFailed(const char *message)
{
    return failure(message, Status::Code::WriteFailed, std::string("cannot write the copy: ") + std::strerror(errno));
}

// The archive as minizip's file functions see it: pread on the descriptor the caller opened and
// checked, so no path is opened a second time and nothing can be swapped in between.
struct ZipSource
{
    int fd;
    uint64_t size;
    uint64_t position = 0;
    uint64_t bytesRead = 0; // for progress: the directory is read as well as the member
    bool failed = false;
};

voidpf ZCALLBACK openSource(voidpf opaque, const void *, int mode)
{
    return (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ ? opaque : nullptr;
}
uLong ZCALLBACK readSource(voidpf, voidpf stream, void *buffer, uLong size)
{
    auto *source = static_cast<ZipSource *>(stream);
    const ssize_t got = fileio::readAt(source->fd, source->position, buffer, size_t(size));
    if (got < 0) {
        source->failed = true;
        return 0;
    }
    source->position += uint64_t(got);
    source->bytesRead += uint64_t(got);
    return uLong(got);
}
uLong ZCALLBACK writeSource(voidpf, voidpf, const void *, uLong) { return 0; }
ZPOS64_T ZCALLBACK tellSource(voidpf, voidpf stream) { return static_cast<ZipSource *>(stream)->position; }
long ZCALLBACK seekSource(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    auto *source = static_cast<ZipSource *>(stream);
    switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: source->position = offset; return 0;
    case ZLIB_FILEFUNC_SEEK_CUR: source->position += offset; return 0; // past the end reads nothing
    case ZLIB_FILEFUNC_SEEK_END: source->position = source->size + offset; return 0;
    }
    return -1;
}
int ZCALLBACK closeSource(voidpf, voidpf) { return 0; } // the descriptor stays the caller's
int ZCALLBACK sourceError(voidpf, voidpf stream) { return static_cast<ZipSource *>(stream)->failed ? -1 : 0; }

uint64_t le(const unsigned char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

// The uncompressed size from a directory entry's zip64 extra field (id 1), which holds 8-byte
// values for those 32-bit fields that read 0xFFFFFFFF, uncompressed size first. minizip 1.1
// built for 64 bits misses this field, so its own idea of the size stays 0xFFFFFFFF.
uint64_t zip64UncompressedSize(const unsigned char *extra, size_t length, uint64_t fallback)
{
    for (size_t at = 0; length - at >= 4;) {
        const unsigned id = unsigned(le(extra + at, 2));
        const size_t size = size_t(le(extra + at + 2, 2));
        if (size > length - at - 4)
            break;
        if (id == 1 && size >= 8)
            return le(extra + at + 4, 8);
        at += 4 + size;
    }
    return fallback;
}

// Folders are entries named with a trailing slash, or empty entries with a folder's MS-DOS
// attribute or Unix mode.
bool isFolder(const unz_file_info64 &info, const char *name)
{
    const size_t length = info.size_filename;
    if (length > 0 && (name[length - 1] == '/' || name[length - 1] == '\\'))
        return true;
    const bool folderAttribute = (info.external_fa & 0x10) != 0 || ((info.external_fa >> 16) & 0170000) == 0040000;
    return info.uncompressed_size == 0 && folderAttribute;
}
} // namespace

Unzip::Unzip(int inputFd, CopyMeter &meter) : m_inputFd(inputFd), m_meter(meter) {}

QString Unzip::firstFileName(int inputFd)
{
    struct stat st;
    if (::fstat(inputFd, &st) != 0)
        return QString();
    ZipSource source{inputFd, uint64_t(st.st_size)};
    zlib_filefunc64_def functions{openSource, readSource, writeSource, tellSource,
                                  seekSource, closeSource, sourceError, &source};
    unzFile archive = unzOpen2_64("archive", &functions);
    if (!archive)
        return QString();
    struct Closer { unzFile a; ~Closer() { unzClose(a); } } closer{archive};
    std::vector<char> name(65536);
    unz_file_info64 info;
    for (int at = unzGoToFirstFile(archive); at == UNZ_OK; at = unzGoToNextFile(archive)) {
        if (unzGetCurrentFileInfo64(archive, &info, name.data(), name.size(), nullptr, 0, nullptr, 0) != UNZ_OK)
            return QString();
        if (!isFolder(info, name.data()))
            return QString::fromUtf8(name.data(), int(std::min<uint64_t>(info.size_filename, name.size() - 1)));
    }
    return QString();
}

Status Unzip::uncompress(int outputFd)
{
    struct stat st;
    if (::fstat(m_inputFd, &st) != 0)
        return failure(ZipMessage, Status::Code::Unreadable, std::strerror(errno));
    ZipSource source{m_inputFd, uint64_t(st.st_size)};
    zlib_filefunc64_def functions{openSource, readSource, writeSource, tellSource,
                                  seekSource, closeSource, sourceError, &source};
    unzFile archive = unzOpen2_64("archive", &functions);
    if (!archive)
        return failure(ZipMessage, Status::Code::Unreadable, "not a readable zip archive");
    struct Closer { unzFile a; ~Closer() { unzClose(a); } } closer{archive};

    // Names and extra fields are at most 65535 bytes each.
    std::vector<char> name(65536);
    std::vector<unsigned char> extra(65536);
    unz_file_info64 info;
    int at = unzGoToFirstFile(archive);
    uint64_t folders = 0;
    for (; at == UNZ_OK; at = unzGoToNextFile(archive)) {
        if (unzGetCurrentFileInfo64(archive, &info, name.data(), name.size(), extra.data(), extra.size(), nullptr, 0)
            != UNZ_OK)
            return failure(ZipMessage, Status::Code::Damaged, "the archive's directory cannot be read");
        if (!isFolder(info, name.data()))
            break;
        ++folders;
        if (!m_meter.read(source.bytesRead))
            return m_meter.stopStatus();
    }
    if (at == UNZ_END_OF_LIST_OF_FILE)
        return failure(ZipMessage, Status::Code::Unsupported,
                       folders ? "the archive holds folders but no file" : "the archive is empty");
    if (at != UNZ_OK)
        return failure(ZipMessage, Status::Code::Damaged, "the archive's directory cannot be read");
    if (info.flag & 1)
        return failure(ZipMessage, Status::Code::Protected, "the first file is encrypted");

    // With a size in the zip64 extra field minizip counts against 0xFFFFFFFF and so never checks
    // the checksum: the data are then read to the real size and checked here.
    const bool checkHere = info.uncompressed_size == Zip64Marker || info.compressed_size == Zip64Marker;
    const uint64_t declared = info.uncompressed_size == Zip64Marker
        ? zip64UncompressedSize(extra.data(), info.size_file_extra, Zip64Marker)
        : info.uncompressed_size;
    if (!m_meter.fits(declared))
        return m_meter.stopStatus();
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[Chunk]);
    if (!buffer)
        return failure(ZipMessage, Status::Code::TooLarge, "out of memory");
    if (unzOpenCurrentFile(archive) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Unsupported, "the first file uses a method that cannot be unpacked");

    // The directory's uncompressed size bounds what is written; data that stop short of it
    // (a cut archive) or run past it are damaged, even where the checksum test cannot tell.
    uint64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    Status status;
    for (;;) {
        const size_t want = checkHere && declared - total < Chunk ? size_t(declared - total) : Chunk;
        if (want == 0)
            break;
        const int got = unzReadCurrentFile(archive, buffer.get(), unsigned(want));
        if (got == 0)
            break;
        if (got < 0 || uint64_t(got) > declared - total) {
            status = failure(ZipMessage, Status::Code::Damaged, "the first file's data are damaged");
            break;
        }
        if (!m_meter.admit(size_t(got))) {
            status = m_meter.stopStatus();
            break;
        }
        if (!fileio::writeAll(outputFd, buffer.get(), size_t(got))) {
            status = writeFailed(ZipMessage);
            break;
        }
        if (checkHere)
            crc = crc32_z(crc, reinterpret_cast<const Bytef *>(buffer.get()), size_t(got));
        total += uint64_t(got);
        if (!m_meter.read(source.bytesRead)) {
            status = m_meter.stopStatus();
            break;
        }
    }
    if (status.isOk() && total != declared)
        status = failure(ZipMessage, Status::Code::Damaged, "the first file is shorter than its directory entry says");
    if (status.isOk() && checkHere && crc != info.crc)
        status = failure(ZipMessage, Status::Code::Damaged, "the first file does not match its checksum");
    if (!status.isOk()) {
        unzCloseCurrentFile(archive);
        return status;
    }
    // Closing is where minizip reports a checksum mismatch of the member's data.
    if (unzCloseCurrentFile(archive) != UNZ_OK)
        return failure(ZipMessage, Status::Code::Damaged, "the first file does not match its checksum");
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
