// Zip and gzip unpacking with the real minizip and zlib, on archives the tests write themselves.
#include "CopyMeter.h"
#include "FileIo.h"
#include "TestFiles.h"
#include "Unzip.h"
#include "ZipBuilder.h"
#include <QtTest>
#include <zlib.h>
#include <fcntl.h>
#include <unistd.h>

Q_DECLARE_METATYPE(ZipMember)

namespace {

const QByteArray failed("(failed)");

quint64 le(const QByteArray &b, int at, int bytes)
{
    return bytes ? le(b, at + 1, bytes - 1) << 8 | uchar(b[at]) : 0;
}
QByteArray leBytes(quint64 v, int bytes) { return bytes ? char(v) + leBytes(v >> 8, bytes - 1) : QByteArray(); }

// Moves the uncompressed size of a one-member archive's directory entry into a zip64 extra field
// and leaves 0xFFFFFFFF in its 32-bit field, as zip tools do for streamed or forced zip64 members;
// the local header (written with zip64 = 1) gets 0xFFFFFFFF for both sizes, its extra field the
// real ones. `sizeChange` is added to the size in the directory.
QByteArray sizesInZip64Extra(QByteArray zip, int sizeChange = 0)
{
    zip.replace(30 + int(le(zip, 26, 2)) + 4, 16, leBytes(le(zip, 22, 4), 8) + leBytes(le(zip, 18, 4), 8));
    zip.replace(18, 8, QByteArray(8, '\xFF'));
    const int end = zip.lastIndexOf("PK\x05\x06");
    const int entry = int(le(zip, end + 16, 4));
    const int extraAt = entry + 46 + int(le(zip, entry + 28, 2) + le(zip, entry + 30, 2));
    const QByteArray extra = leBytes(1, 2) + leBytes(8, 2) + leBytes(le(zip, entry + 24, 4) + sizeChange, 8);
    zip.replace(entry + 24, 4, QByteArray(4, '\xFF'));
    zip.replace(entry + 30, 2, leBytes(le(zip, entry + 30, 2) + extra.size(), 2));
    zip.replace(end + 12, 4, leBytes(le(zip, end + 12, 4) + extra.size(), 4));
    return zip.insert(extraAt, extra);
}

// A zip of `members`, all named "member".
QByteArray zipOf(const QList<QByteArray> &members, bool deflated = true)
{
    QList<ZipMember> zipped;
    for (const QByteArray &m : members)
        zipped << ZipMember{"member", m, deflated};
    return zipArchive(zipped);
}

} // namespace

class tst_Unzip : public QObject
{
    Q_OBJECT

    TestFolder m_folder;

    // Unpacks `bytes` (written as a .zip or .gz) into `fd`, or the file "out" when -1, under `meter`.
    Status unpackStatus(const QByteArray &bytes, bool zip, CopyMeter &meter, int fd = -1)
    {
        const QString in = m_folder.write(zip ? "in.zip" : "in.gz", bytes), out = m_folder.filePath("out");
        const int inFd = fileio::openRegularForReading(QFile::encodeName(in).constData());
        const int outFd = fd >= 0 ? fd : ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        Unzip u(inFd, meter);
        const Status status = zip ? u.uncompress(outFd) : u.ungzip(outFd);
        if (fd < 0)
            ::close(outFd);
        ::close(inFd);
        return status;
    }
    // The output, or `failed`.
    QByteArray unpack(const QByteArray &bytes, bool zip, int fd = -1)
    {
        CopyMeter meter;
        return unpackStatus(bytes, zip, meter, fd).isOk() ? readFile(m_folder.filePath("out")) : failed;
    }

private slots:
    void roundTrips()
    {
        const QByteArray big = sampleText(300000, 1, true), crlf("a\r\nb\0c\xFF", 7);
        for (bool deflated : {false, true}) { // the first member only
            QCOMPARE(unpack(zipOf({crlf, "second", "third"}, deflated), true), crlf);
            QCOMPARE(unpack(zipOf({big, "x"}, deflated), true), big); // many chunks
            QCOMPARE(unpack(zipOf({"", "not this"}, deflated), true), QByteArray(""));
        }
        const QList<QList<QByteArray>> gzipStreams{{crlf}, {""}, {big}, {"first part, ", "second part"}};
        for (const QList<QByteArray> &streams : gzipStreams) {
            QByteArray gzips;
            for (const QByteArray &stream : streams)
                gzips += gzipped(stream);
            QCOMPARE(unpack(gzips, false), streams.join());
        }
        // A file named .gz that is not compressed at all is copied as it is.
        const QByteArray plain = "plain text, not gzip at all\n" + sampleText(40000, 5, true);
        QCOMPARE(unpack(plain, false), plain);
    }

    // The first member that is a file: folders are named with a trailing slash or, empty, carry
    // a folder's MS-DOS attribute or Unix mode.
    void firstFile_data()
    {
        QTest::addColumn<QList<ZipMember>>("members");
        QTest::addColumn<QByteArray>("text");
        const ZipMember text{"book/text", "the text"}, empty{"book/empty", ""};
        QTest::newRow("folder entry first") << QList<ZipMember>{{"book/", ""}, text} << text.data;
        const ZipMember dosFolder{"book", "", true, 0x10}, unixFolder{"book", "", true, 0040755u << 16};
        QTest::newRow("MS-DOS folder attribute") << QList<ZipMember>{dosFolder, text} << text.data;
        QTest::newRow("Unix folder mode") << QList<ZipMember>{unixFolder, text} << text.data;
        QTest::newRow("an empty file is a file") << QList<ZipMember>{{"book/", ""}, empty, text} << QByteArray("");
        QTest::newRow("only folders") << QList<ZipMember>{{"a/", ""}, dosFolder} << failed;
    }
    void firstFile()
    {
        QFETCH(QList<ZipMember>, members);
        CopyMeter meter;
        const Status status = unpackStatus(zipArchive(members), true, meter);
        QTEST(status.isOk() ? readFile(m_folder.filePath("out")) : failed, "text");
        QVERIFY(status.isOk() || status.detail() == "the archive holds folders but no file");
    }

    // Zip64 archives: minizip's own zip64 local headers, and directory entries whose sizes sit in the
    // zip64 extra field (minizip 1.1 misses those and then checks no checksum).
    void zip64_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QByteArray>("text");
        const QByteArray text = sampleText(200000, 11, true);
        for (int level : {0, 6}) {
            const QByteArray plain = zipArchive({{"big.txt", text, level != 0}}, true);
            QTest::addRow("zip64 headers, level %d", level) << plain << text;
            QTest::addRow("sizes in the extra field, level %d", level) << sizesInZip64Extra(plain) << text;
            QByteArray flipped = sizesInZip64Extra(plain);
            flipped[200] ^= 1; // inside the member's data
            QTest::addRow("extra field, flipped data, level %d", level) << flipped << failed;
            QTest::addRow("extra field, size one more, level %d", level) << sizesInZip64Extra(plain, 1) << failed;
            QTest::addRow("extra field, size one less, level %d", level) << sizesInZip64Extra(plain, -1) << failed;
        }
    }
    void zip64()
    {
        QFETCH(QByteArray, archive);
        QFETCH(QByteArray, text);
        QCOMPARE(unpack(archive, true), text);
    }

    // The copy never passes the limit: a zip that declares more fails before writing, gzip stops there.
    void limit_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<bool>("zip");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<qint64>("size"); // of a complete copy; -1 for TooLarge
        const QByteArray text = sampleText(100000, 12, true), zeros(4 << 20, '\0');
        for (bool zip : {true, false}) {
            const QByteArray packed = zip ? zipArchive({{"t", text}}) : gzipped(text);
            const char *kind = zip ? "zip" : "gzip";
            QTest::addRow("%s, exactly the limit", kind) << packed << zip << qint64(text.size()) << qint64(text.size());
            QTest::addRow("%s, one byte over", kind) << packed << zip << qint64(text.size() - 1) << qint64(-1);
            QTest::addRow("%s of 4 MiB of zeros, 1 MiB limit", kind)
                << (zip ? zipArchive({{"z", zeros}}) : gzipped(zeros)) << zip << qint64(1 << 20) << -1LL;
        }
        QTest::newRow("zip64 extra field of 4 MiB, 1 MiB limit")
            << sizesInZip64Extra(zipArchive({{"z", zeros}}, true)) << true << qint64(1 << 20) << qint64(-1);
    }
    void limit()
    {
        QFETCH(QByteArray, archive);
        QFETCH(bool, zip);
        QFETCH(qint64, limit);
        QFETCH(qint64, size);
        CopyMeter meter{quint64(limit)};
        const Status status = unpackStatus(archive, zip, meter);
        const qint64 written = QFileInfo(m_folder.filePath("out")).size();
        QCOMPARE(status.code(), size < 0 ? Status::Code::TooLarge : Status::Code::Ok);
        QVERIFY(written <= limit);
        // A zip's directory tells the size before anything is written.
        QCOMPARE(written, size >= 0 ? size : zip ? 0 : written);
    }

    // Damaged data, a checksum wrong everywhere, no members or a full disk: failure.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<bool>("zip");
        QTest::addColumn<bool>("fullDisk");
        const QByteArray text = sampleText(5000, 2, true);
        QByteArray stored = zipOf({text, "second"}, false);
        stored[stored.indexOf(text) + 100] ^= 1;
        QTest::newRow("stored data off their checksum") << stored << true << false;
        // The same wrong checksum in the local header and the directory: only the data can tell.
        const uLong right = crc32(0, reinterpret_cast<const Bytef *>(text.constData()), uInt(text.size()));
        const QByteArray crc(reinterpret_cast<const char *>(&right), 4);
        QTest::newRow("checksum wrong everywhere")
            << zipOf({text}).replace(crc, QByteArray(crc).replace(0, 1, "\x55")) << true << false;
        QTest::newRow("no members") << zipOf({}) << true << false;
        for (int fromEnd : {6, 2}) { // the checksum, the length
            QByteArray gzip = gzipped(text);
            gzip[gzip.size() - fromEnd] ^= 1;
            QTest::addRow("gzip trailer, byte %d from the end", fromEnd) << gzip << false << false;
        }
        QTest::newRow("zip onto a full disk") << zipOf({text}) << true << true;
        QTest::newRow("gzip onto a full disk") << gzipped(text) << false << true;
    }
    void damaged()
    {
        QFETCH(QByteArray, archive);
        QFETCH(bool, zip);
        QFETCH(bool, fullDisk);
        const int full = fullDisk ? ::open("/dev/full", O_WRONLY) : -1;
        if (fullDisk && full < 0)
            QSKIP("no /dev/full");
        QCOMPARE(unpack(archive, zip, full), failed);
        if (full >= 0)
            ::close(full);
    }

    // Cut anywhere: failure. A zip's cut may spare all but its end record's comment length; a
    // gzip file is cut from 2 bytes on, where it starts like gzip.
    void cutShort()
    {
        const QByteArray first = sampleText(3000, 3, true);
        for (const QByteArray &whole : {zipOf({first, "more"}), gzipped(first)}) {
            const bool zip = whole.startsWith("PK");
            for (int at = zip ? 0 : 2; at < whole.size(); ++at) {
                const QByteArray cut = unpack(whole.left(at), zip);
                QVERIFY2(cut == failed || (zip && cut == first && at > whole.size() - 22),
                         qPrintable(QString::number(at)));
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_Unzip)
#include "tst_unzip.moc"
