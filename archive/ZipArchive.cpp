#include "ZipArchive.h"

#include "ZipSource.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

namespace {
constexpr size_t Chunk = 1 << 16;
const char DamagedMessage[] = "The archive is damaged.";

Status damaged(const QString &member, const char *what)
{
    return Status::error(Status::Code::Damaged, DamagedMessage, member.toStdString() + ": " + what);
}
} // namespace

struct ZipArchive::Private
{
    ZipSource source;
    unzFile archive = nullptr;
    std::vector<unz64_file_pos> positions;
    ~Private()
    {
        if (archive)
            unzClose(archive);
    }
};

ZipArchive::ZipArchive(int fd) : d(std::make_unique<Private>())
{
    d->source.fd = fd;
    d->source.size = 0;
}

ZipArchive::~ZipArchive() = default;

uint64_t ZipArchive::bytesRead() const
{
    return d->source.bytesRead;
}

Status ZipArchive::open()
{
    struct stat st;
    if (::fstat(d->source.fd, &st) != 0)
        return Status::error(Status::Code::Unreadable, "The archive cannot be read.", std::strerror(errno));
    d->source.size = uint64_t(st.st_size);
    zlib_filefunc64_def functions = d->source.functions();
    d->archive = unzOpen2_64("archive", &functions);
    if (!d->archive)
        return Status::error(Status::Code::Unreadable, "The file is not a zip archive.", "no readable zip directory");

    // Names and extra fields are at most 65535 bytes each.
    std::vector<char> name(65536);
    std::vector<unsigned char> extra(65536);
    unz_file_info64 info;
    int at = unzGoToFirstFile(d->archive);
    for (; at == UNZ_OK; at = unzGoToNextFile(d->archive)) {
        if (m_entries.size() >= size_t(MaxEntries))
            return Status::error(Status::Code::TooLarge, "The archive holds too many files.",
                                 "more than " + std::to_string(MaxEntries) + " members");
        unz64_file_pos position;
        if (unzGetCurrentFileInfo64(d->archive, &info, name.data(), name.size(), extra.data(), extra.size(), nullptr, 0)
                != UNZ_OK
            || unzGetFilePos64(d->archive, &position) != UNZ_OK)
            return Status::error(Status::Code::Damaged, DamagedMessage, "the directory cannot be read");
        Entry entry;
        entry.name = QString::fromUtf8(name.data(), int(std::min<uint64_t>(info.size_filename, name.size() - 1)));
        entry.size = zipentry::uncompressedSize(info, extra.data());
        entry.folder = zipentry::isFolder(info, name.data());
        entry.encrypted = (info.flag & 1) != 0;
        m_byName.insert(entry.name, int(m_entries.size()));  // later duplicates overwrite below
        m_entries.push_back(std::move(entry));
        d->positions.push_back(position);
    }
    if (at != UNZ_END_OF_LIST_OF_FILE)
        return Status::error(Status::Code::Damaged, DamagedMessage, "the directory cannot be read");
    // The first member of a name wins, as the directory lists them.
    for (int i = int(m_entries.size()) - 1; i >= 0; --i)
        m_byName.insert(m_entries[size_t(i)].name, i);
    return Status::ok();
}

int ZipArchive::firstFile() const
{
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (!m_entries[i].folder)
            return int(i);
    }
    return -1;
}

Status ZipArchive::read(int index, const Sink &sink, uint64_t limit)
{
    if (!d->archive || index < 0 || size_t(index) >= m_entries.size())
        return Status::error(Status::Code::NotFound, "The archive has no such file.", "no member " + std::to_string(index));
    const Entry &entry = m_entries[size_t(index)];
    if (entry.encrypted)
        return Status::error(Status::Code::Protected, "The file in the archive is encrypted.", entry.name.toStdString());
    if (entry.size > limit)
        return Status::error(Status::Code::TooLarge, "A file in the archive is too large.",
                             entry.name.toStdString() + ": " + std::to_string(entry.size) + " bytes");
    if (unzGoToFilePos64(d->archive, &d->positions[size_t(index)]) != UNZ_OK)
        return damaged(entry.name, "its directory entry cannot be read");
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[Chunk]);
    if (!buffer)
        return Status::error(Status::Code::TooLarge, "Out of memory.", entry.name.toStdString());
    if (unzOpenCurrentFile(d->archive) != UNZ_OK)
        return Status::error(Status::Code::Unsupported, "A file in the archive uses a method that cannot be unpacked.",
                             entry.name.toStdString());

    // With a size in the zip64 extra field minizip counts against 0xFFFFFFFF and so never checks
    // the checksum: the data are then read to the real size and checked here. Either way the
    // declared size bounds what is passed on; data that stop short of it or run past it are
    // damaged, even where the checksum cannot tell.
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(d->archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        unzCloseCurrentFile(d->archive);
        return damaged(entry.name, "its directory entry cannot be read");
    }
    const bool checkHere = info.uncompressed_size == zipentry::Zip64Marker || info.compressed_size == zipentry::Zip64Marker;
    const uint64_t declared = entry.size;
    uint64_t total = 0;
    uLong crc = crc32(0, nullptr, 0);
    Status status;
    for (;;) {
        const size_t want = checkHere && declared - total < Chunk ? size_t(declared - total) : Chunk;
        if (want == 0)
            break;
        const int got = unzReadCurrentFile(d->archive, buffer.get(), unsigned(want));
        if (got == 0)
            break;
        if (got < 0 || uint64_t(got) > declared - total) {
            status = damaged(entry.name, "its data are damaged");
            break;
        }
        if (!sink(buffer.get(), size_t(got))) {
            status = Status::error(Status::Code::Cancelled, "Stopped.", entry.name.toStdString());
            break;
        }
        if (checkHere)
            crc = crc32_z(crc, reinterpret_cast<const Bytef *>(buffer.get()), size_t(got));
        total += uint64_t(got);
    }
    if (status.isOk() && total != declared)
        status = damaged(entry.name, "it is shorter than its directory entry says");
    if (status.isOk() && checkHere && crc != info.crc)
        status = damaged(entry.name, "it does not match its checksum");
    // Closing is where minizip reports a checksum mismatch of the member's data.
    const int closed = unzCloseCurrentFile(d->archive);
    if (status.isOk() && closed != UNZ_OK)
        status = damaged(entry.name, "it does not match its checksum");
    return status;
}

Status ZipArchive::readAll(int index, QByteArray &bytes, uint64_t limit)
{
    bytes.clear();
    if (index >= 0 && size_t(index) < m_entries.size() && m_entries[size_t(index)].size <= limit)
        bytes.reserve(qsizetype(m_entries[size_t(index)].size));
    return read(index, [&bytes](const char *data, size_t size) {
        bytes.append(data, qsizetype(size));
        return true;
    }, limit);
}
