#pragma once

#include "Status.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Random access to the members of a zip archive open on a descriptor: its directory once, then
// any member by name, streamed in chunks and checked against its size and checksum.
//
// Failures come back as statuses with a generic message ("The archive is damaged.") and a detail
// that names the member; callers that know what the archive is put their own message on them.
class ZipArchive
{
public:
    static constexpr int MaxEntries = 100000;

    struct Entry
    {
        QString name;  // as stored ("OEBPS/chapter1.xhtml"), taken as UTF-8
        uint64_t size = 0;  // uncompressed, as the directory declares it
        bool folder = false;
        bool encrypted = false;
    };

    // `fd` is a regular file open for reading; it stays the caller's and is read with pread only.
    explicit ZipArchive(int fd);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    // Reads the directory. Fails on what is not a zip archive, a damaged directory, or more than
    // MaxEntries members.
    Status open();
    const std::vector<Entry> &entries() const { return m_entries; }
    // The index of the member named exactly `name` (the first of that name), or -1.
    int find(const QString &name) const { return m_byName.value(name, -1); }
    // The first member that is a file, not a folder; -1 when there is none.
    int firstFile() const;

    // Receives a member's bytes in order, a chunk at a time; false stops the reading (the sink
    // keeps its own reason).
    using Sink = std::function<bool(const char *data, size_t size)>;
    // Streams member `index` to `sink`. A member larger than `limit` is refused before reading
    // (TooLarge); data that run past or stop short of the declared size, or fail the checksum, are
    // Damaged; an encrypted member is Protected. When the sink refuses: Cancelled.
    Status read(int index, const Sink &sink, uint64_t limit = UINT64_MAX);
    // The whole member in memory, at most `limit` bytes.
    Status readAll(int index, QByteArray &bytes, uint64_t limit);

    // Bytes of the archive read so far, for progress.
    uint64_t bytesRead() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
    std::vector<Entry> m_entries;
    QHash<QString, int> m_byName;
};
