#include "makedoc9.h"
#include "CopyMeter.h"
#include "FileIo.h"
#include "PalmDatabase.h"
#include "PalmDoc.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace makedoc9 {

namespace {

constexpr unsigned PalmDocRecordCapacity = 32768;
// Every PalmDoc code yields at least one output byte per two input bytes, so a record longer
// than this cannot decompress into PalmDocRecordCapacity and is damaged without looking further.
constexpr uint64_t PalmDocMaxInput = 2 * uint64_t(PalmDocRecordCapacity);

// Line feed, then end of link, italic off, underline off, font style 0: no style or link
// carries over into the next paragraph.
const unsigned char EndOfParagraph[10] = {0x0A, 0x00, 0x08, 0x00, 0x48, 0x00, 0x68, 0x00, 0x11, 0x00};

using palm::be16;

bool readAt(int fd, uint64_t offset, void *buffer, size_t n) { return fileio::readExactlyAt(fd, offset, buffer, n); }

Conversion failure(Status::Code code, const std::string &detail);
Conversion writeFailed();

// Buffered appends to a descriptor; `written` counts every byte accepted so far. With a meter,
// bytes past its limit are refused before anything is written.
class Sink
{
public:
    Sink(int fd, CopyMeter *meter) : m_fd(fd), m_meter(meter) {}
    bool put(const unsigned char *p, size_t n)
    {
        if (m_meter && !m_meter->admit(n))
            return false;
        written += n;
        if (m_buffer.size() + n > Capacity && !flush())
            return false;
        if (n >= Capacity)
            return check(fileio::writeAll(m_fd, p, n));
        m_buffer.insert(m_buffer.end(), p, p + n);
        return true;
    }
    bool flush()
    {
        if (m_ok && !m_buffer.empty())
            check(fileio::writeAll(m_fd, m_buffer.data(), m_buffer.size()));
        m_buffer.clear();
        return m_ok;
    }
    // Why a put or a flush failed: the meter stopped the work, or a write failed.
    Conversion failure() const
    {
        if (m_meter && m_meter->stopped())
            return {Failed, m_meter->stopStatus()};
        errno = m_error;
        return writeFailed();
    }
    uint64_t written = 0;

private:
    static constexpr size_t Capacity = 1 << 16;
    bool check(bool written)
    {
        if (!written) {
            m_ok = false;
            m_error = errno;
        }
        return m_ok;
    }
    int m_fd;
    CopyMeter *m_meter;
    bool m_ok = true;
    int m_error = 0;
    std::vector<unsigned char> m_buffer;
};

struct Database
{
    palm::Database records;
    CopyMeter &meter;

    int fd() const { return records.fd(); }
    // Tells the meter that the records before k are read; false when it stopped the work.
    bool reached(unsigned k) const { return meter.read(records.offset(k)); }
    Conversion stopped() const { return {Failed, meter.stopStatus()}; }
    bool span(unsigned k, uint64_t &start, uint64_t &length) const { return records.span(k, start, length); }
};

// Every failure shows the user one sentence; the detail says what was wrong with the database.
Conversion failure(Status::Code code, const std::string &detail)
{
    return {Failed, Status::error(code, "Unsupported Palm Document!", detail)};
}
Conversion damaged(const std::string &detail) { return failure(Status::Code::Damaged, detail); }
Conversion unsupported(const std::string &detail) { return failure(Status::Code::Unsupported, detail); }
Conversion writeFailed()
{
    return failure(Status::Code::WriteFailed, std::string("cannot write the converted text: ") + std::strerror(errno));
}
std::string recordText(unsigned k) { return "record " + std::to_string(k); }

// zlib's one-call uncompress of `length` bytes into `output` (room for `outputSize` bytes);
// *produced receives the bytes really written.
int inflate(const unsigned char *input, unsigned char *output, unsigned length, unsigned outputSize, unsigned *produced)
{
    unsigned char spare;
    uLongf room = outputSize;
    const int result = ::uncompress(outputSize ? output : &spare, &room, input, length);
    *produced = result == Z_OK ? unsigned(room) : 0;
    return result;
}

Conversion convertPalmDoc(const Database &db, Sink &text)
{
    // Record 0, the document header: compression (2 bytes: 1 stored, 2 compressed), unused (2),
    // text length (4, often wrong in real files, not used), text record count (2), record size (2).
    if (db.records.count() == 0)
        return damaged("the database has no records");
    uint64_t start, length;
    unsigned char header[10];
    if (!db.span(0, start, length) || length < sizeof header || !readAt(db.fd(), start, header, sizeof header))
        return damaged("the document header is cut short");
    const unsigned compression = be16(header);
    if (compression != 1 && compression != 2)
        return unsupported("compression " + std::to_string(compression) + " is not PalmDoc's");
    // Records after the text (stored bookmarks, metadata) are not text.
    const unsigned textRecords = std::min<unsigned>(be16(header + 8), db.records.count() - 1);

    std::vector<unsigned char> raw;
    std::vector<unsigned char> plain(PalmDocRecordCapacity);
    for (unsigned k = 1; k <= textRecords; ++k) {
        if (!db.reached(k))
            return db.stopped();
        if (!db.span(k, start, length) || (compression == 2 && length > PalmDocMaxInput))
            return damaged(recordText(k) + " lies outside the file or is too long");
        const uint64_t chunk = std::min<uint64_t>(length, uint64_t(1) << 16);
        raw.resize(size_t(chunk));
        if (compression == 1) {
            for (uint64_t done = 0; done < length;) {
                const size_t n = size_t(std::min<uint64_t>(chunk, length - done));
                if (!readAt(db.fd(), start + done, raw.data(), n))
                    return damaged(recordText(k) + " cannot be read");
                if (!text.put(raw.data(), n))
                    return text.failure();
                done += n;
            }
            continue;
        }
        if (!readAt(db.fd(), start, raw.data(), size_t(length)))
            return damaged(recordText(k) + " cannot be read");
        bool bad = false;
        const unsigned produced = Decompress(raw.data(), plain.data(), unsigned(length), PalmDocRecordCapacity, &bad);
        if (bad)
            return damaged(recordText(k) + " does not decompress");
        if (!text.put(plain.data(), produced))
            return text.failure();
    }
    if (!text.flush())
        return text.failure();
    return {PalmDoc, Status::ok()};
}

Conversion convertPlucker(const Database &db, Sink &text, Sink *rim)
{
    // Record 0, the index record: uid (2), compression of the text records (2: 1 PalmDoc, 2 zlib),
    // then reserved-record entries that nothing here needs.
    if (db.records.count() == 0)
        return damaged("the database has no records");
    uint64_t start, length;
    unsigned char index[4];
    if (!db.span(0, start, length) || length < sizeof index || !readAt(db.fd(), start, index, sizeof index))
        return damaged("the index record is cut short");
    const unsigned compression = be16(index + 2);

    std::vector<unsigned char> table, raw, plain;
    for (unsigned k = 1; k < db.records.count(); ++k) {
        if (!db.reached(k))
            return db.stopped();
        // Record header: id (2), paragraph count (2), text size after decompression (2),
        // type (1: 0 text, 1 compressed text, 2..10 other kinds, above unknown), flags (1);
        // then per paragraph: size (2), attributes (2); then the text data.
        unsigned char header[8];
        if (!db.span(k, start, length) || length < sizeof header || !readAt(db.fd(), start, header, sizeof header))
            return damaged(recordText(k) + " is cut short");
        const unsigned id = be16(header);
        const unsigned paragraphs = be16(header + 2);
        const unsigned size = be16(header + 4);
        const unsigned type = header[6];
        if (type > 10)
            return unsupported("Unknown type " + std::to_string(type) + " in " + recordText(k));
        if (type >= 2)
            continue;

        const uint64_t tableBytes = 4 * uint64_t(paragraphs);
        if (sizeof header + tableBytes > length)
            return damaged(recordText(k) + ": its paragraph table runs past the record");
        table.resize(size_t(tableBytes));
        if (tableBytes && !readAt(db.fd(), start + sizeof header, table.data(), table.size()))
            return damaged(recordText(k) + " cannot be read");
        uint64_t needed = 0;
        for (unsigned i = 0; i < paragraphs; ++i)
            needed += be16(&table[4 * i]);
        const uint64_t dataStart = start + sizeof header + tableBytes;
        const uint64_t dataLength = length - sizeof header - tableBytes;

        const unsigned char *body = nullptr;
        uint64_t available = 0;
        if (type == 0) {
            available = dataLength;
            if (needed > available)
                return damaged(recordText(k) + ": its paragraphs run past its text");
            plain.resize(size_t(needed));
            if (needed && !readAt(db.fd(), dataStart, plain.data(), plain.size()))
                return damaged(recordText(k) + " cannot be read");
            body = plain.data();
        } else {
            if (compression != 1 && compression != 2)
                return unsupported("compression " + std::to_string(compression) + " is not Plucker's");
            // PalmDoc data longer than this cannot come to `size` bytes (see PalmDocMaxInput).
            if ((compression == 1 && dataLength > 2 * uint64_t(size) + 2)
                || dataLength > std::numeric_limits<unsigned>::max())
                return damaged(recordText(k) + " is longer than its text can be");
            raw.resize(size_t(dataLength));
            if (dataLength && !readAt(db.fd(), dataStart, raw.data(), raw.size()))
                return damaged(recordText(k) + " cannot be read");
            plain.resize(size);
            unsigned produced = 0;
            if (compression == 2) {
                if (inflate(raw.data(), plain.data(), unsigned(dataLength), size, &produced) != Z_OK)
                    return damaged(recordText(k) + " does not inflate");
            } else {
                bool bad = false;
                produced = Decompress(raw.data(), plain.data(), unsigned(dataLength), size, &bad);
                if (bad || produced != size)
                    return damaged(recordText(k) + " does not decompress to its size");
            }
            // The header's size is only a claim: paragraphs may use only what was produced.
            available = produced;
            if (needed > available)
                return damaged(recordText(k) + ": its paragraphs run past its text");
            body = plain.data();
        }

        for (unsigned i = 0; i < paragraphs; ++i) {
            const uint64_t at = text.written;
            if (at > std::numeric_limits<uint32_t>::max())
                return unsupported("the text passes 4 GiB, past what the paragraph index can address");
            if (rim) {
                const unsigned char entry[8] = {
                    uint8_t(id), uint8_t(id >> 8), uint8_t(i), uint8_t(i >> 8),
                    uint8_t(at), uint8_t(at >> 8), uint8_t(at >> 16), uint8_t(at >> 24)};
                if (!rim->put(entry, sizeof entry))
                    return rim->failure();
            }
            const unsigned paragraphSize = be16(&table[4 * i]);
            if ((paragraphSize && !text.put(body, paragraphSize)) || !text.put(EndOfParagraph, sizeof EndOfParagraph))
                return text.failure();
            body += paragraphSize;
        }
    }
    if (!text.flush())
        return text.failure();
    if (rim && !rim->flush())
        return rim->failure();
    return {Plucker, Status::ok()};
}

} // namespace

Conversion Decomp(int sourceFd, int textFd, int rimFd, CopyMeter *meter)
{
    struct stat st;
    if (::fstat(sourceFd, &st) != 0 || st.st_size < 0)
        return failure(Status::Code::Unreadable, std::strerror(errno));
    palm::Header header;
    if (!palm::readHeader(sourceFd, header))
        return damaged("shorter than a database header");
    const bool plucker = header.is("DataPlkr");
    const bool palmDoc = header.is("TEXtREAd");
    if (!plucker && !palmDoc)
        return unsupported("neither a PalmDoc nor a Plucker database");

    CopyMeter unlimited(UINT64_MAX);
    Database db{palm::Database(sourceFd, uint64_t(st.st_size)), meter ? *meter : unlimited};
    if (!db.records.readRecordList(header))
        return damaged("the record list is cut short");

    Sink text(textFd, &db.meter);
    if (palmDoc)
        return convertPalmDoc(db, text);
    if (rimFd < 0)
        return convertPlucker(db, text, nullptr);
    Sink rim(rimFd, nullptr); // 8 bytes a paragraph, and every paragraph adds 10 or more to the text
    return convertPlucker(db, text, &rim);
}

Conversion Decomp(const char *source, const char *text, const char *rim)
{
    if (rim)
        ::unlink(rim);
    const int sourceFd = fileio::openRegularForReading(source);
    if (sourceFd < 0)
        return failure(Status::Code::Unreadable, std::string("cannot open the database: ") + std::strerror(errno));
    const int textFd = ::open(text, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (textFd < 0) {
        const Conversion failed = writeFailed();
        ::close(sourceFd);
        return failed;
    }
    const int rimFd = rim ? ::open(rim, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666) : -1;
    Conversion result = Decomp(sourceFd, textFd, rimFd);
    if (::close(textFd) != 0 && result.result != Failed)
        result = writeFailed();
    if (rimFd >= 0) {
        if (::close(rimFd) != 0 && result.result != Failed)
            result = writeFailed();
        if (result.result != Plucker)
            ::unlink(rim);
    }
    ::close(sourceFd);
    return result;
}

unsigned Decompress(const unsigned char *input, unsigned char *output, unsigned length, unsigned outputSize,
                    bool *damaged)
{
    return palm::palmDocDecompress(input, output, length, outputSize, damaged);
}

} // namespace makedoc9
