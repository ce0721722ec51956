#include "ZipSource.h"

#include "FileIo.h"

#include <cstring>

namespace {

voidpf ZCALLBACK openSource(voidpf opaque, const void *, int mode)
{
    return (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ ? opaque : nullptr;
}
uLong ZCALLBACK readSource(voidpf, voidpf stream, void *buffer, uLong size)
{
    auto *source = static_cast<ZipSource *>(stream);
    const long long got = source->read(source->position, buffer, size_t(size));
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
    case ZLIB_FILEFUNC_SEEK_CUR: source->position += offset; return 0;  // past the end reads nothing
    case ZLIB_FILEFUNC_SEEK_END: source->position = source->size + offset; return 0;
    }
    return -1;
}
int ZCALLBACK closeSource(voidpf, voidpf) { return 0; }  // the descriptor stays the caller's
int ZCALLBACK sourceError(voidpf, voidpf stream) { return static_cast<ZipSource *>(stream)->failed ? -1 : 0; }

uint64_t le(const unsigned char *p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

} // namespace

long long ZipSource::read(uint64_t at, void *buffer, size_t size)
{
    constexpr size_t WindowSize = 256 * 1024;
    if (size >= WindowSize / 2)
        return fileio::readAt(fd, at, buffer, size);
    if (at < windowStart || at + size > windowStart + window.size()) {
        window.resize(WindowSize);
        const ssize_t got = fileio::readAt(fd, at, window.data(), WindowSize);
        if (got < 0) {
            window.clear();
            return -1;
        }
        window.resize(size_t(got));
        windowStart = at;
    }
    const size_t available = size_t(windowStart + window.size() - at);
    const size_t n = size < available ? size : available;
    std::memcpy(buffer, window.data() + (at - windowStart), n);
    return static_cast<long long>(n);
}

zlib_filefunc64_def ZipSource::functions()
{
    return zlib_filefunc64_def{openSource, readSource, writeSource, tellSource, seekSource, closeSource, sourceError, this};
}

uint64_t zipentry::uncompressedSize(const unz_file_info64 &info, const unsigned char *extra)
{
    if (info.uncompressed_size != Zip64Marker)
        return info.uncompressed_size;
    // The zip64 field holds 8-byte values for those 32-bit fields that read 0xFFFFFFFF,
    // uncompressed size first.
    const size_t length = info.size_file_extra;
    for (size_t at = 0; length - at >= 4;) {
        const unsigned id = unsigned(le(extra + at, 2));
        const size_t size = size_t(le(extra + at + 2, 2));
        if (size > length - at - 4)
            break;
        if (id == 1 && size >= 8)
            return le(extra + at + 4, 8);
        at += 4 + size;
    }
    return info.uncompressed_size;
}

bool zipentry::isFolder(const unz_file_info64 &info, const char *name)
{
    const size_t length = info.size_filename;
    if (length > 0 && (name[length - 1] == '/' || name[length - 1] == '\\'))
        return true;
    const bool folderAttribute = (info.external_fa & 0x10) != 0 || ((info.external_fa >> 16) & 0170000) == 0040000;
    return info.uncompressed_size == 0 && folderAttribute;
}
