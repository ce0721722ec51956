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
    // What a zip (its first member that is a file) or a gzip file unpacks to, or `failed`.
    void unpacks_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<bool>("zip");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<QByteArray>("text");
        const QByteArray big = sampleText(300000, 1, true), crlf("a\r\nb\0c\xFF", 7);
        for (bool deflated : {false, true}) {
            const char *method = deflated ? "deflated" : "stored";
            QTest::addRow("%s, first of three", method) << zipOf({crlf, "second", "third"}, deflated) << true << false << crlf;
            QTest::addRow("%s, many chunks", method) << zipOf({big, "x"}, deflated) << true << false << big;
            QTest::addRow("%s, empty", method) << zipOf({"", "not this"}, deflated) << true << false << QByteArray("");
        }
        QTest::newRow("gzip") << gzipped(crlf) << false << false << crlf;
        QTest::newRow("gzip, empty") << gzipped("") << false << false << QByteArray("");
        QTest::newRow("gzip, many chunks") << gzipped(big) << false << false << big;
        QTest::newRow("gzip, two streams") << gzipped("first part, ") + gzipped("second part") << false << false
                                           << QByteArray("first part, second part");
        // A file named .gz that is not compressed at all is copied as it is.
        const QByteArray plain = "plain text, not gzip at all\n" + sampleText(40000, 5, true);
        QTest::newRow("not gzip at all") << plain << false << false << plain;

        // Folders are named with a trailing slash or, empty, carry a folder's MS-DOS attribute or Unix mode.
        const ZipMember text{"book/text", "the text"}, empty{"book/empty", ""};
        const ZipMember dosFolder{"book", "", true, 0x10}, unixFolder{"book", "", true, 0040755u << 16};
        QTest::newRow("folder entry first") << zipArchive({{"book/", ""}, text}) << true << false << text.data;
        QTest::newRow("MS-DOS folder attribute") << zipArchive({dosFolder, text}) << true << false << text.data;
        QTest::newRow("Unix folder mode") << zipArchive({unixFolder, text}) << true << false << text.data;
        QTest::newRow("an empty file is a file") << zipArchive({{"book/", ""}, empty, text}) << true << false << QByteArray("");
        QTest::newRow("only folders") << zipArchive({{"a/", ""}, dosFolder}) << true << false << failed;

        // Zip64 archives: minizip's own zip64 local headers, and directory entries whose sizes sit in
        // the zip64 extra field (minizip 1.1 misses those and then checks no checksum).
        const QByteArray long64 = sampleText(200000, 11, true);
        for (int level : {0, 6}) {
            const QByteArray zip64 = zipArchive({{"big.txt", long64, level != 0}}, true);
            QByteArray flipped = sizesInZip64Extra(zip64);
            flipped[200] ^= 1; // inside the member's data
            QTest::addRow("zip64 headers, level %d", level) << zip64 << true << false << long64;
            QTest::addRow("sizes in the extra field, level %d", level) << sizesInZip64Extra(zip64) << true << false << long64;
            QTest::addRow("extra field, flipped data, level %d", level) << flipped << true << false << failed;
            QTest::addRow("extra field, size one more, level %d", level) << sizesInZip64Extra(zip64, 1) << true << false << failed;
            QTest::addRow("extra field, size one less, level %d", level) << sizesInZip64Extra(zip64, -1) << true << false << failed;
        }

        // Damaged data, a checksum wrong everywhere, no members or a full disk.
        const QByteArray small = sampleText(5000, 2, true);
        QByteArray stored = zipOf({small, "second"}, false);
        stored[stored.indexOf(small) + 100] ^= 1;
        QTest::newRow("stored data off their checksum") << stored << true << false << failed;
        // The same wrong checksum in the local header and the directory: only the data can tell.
        const uLong right = crc32(0, reinterpret_cast<const Bytef *>(small.constData()), uInt(small.size()));
        const QByteArray crc(reinterpret_cast<const char *>(&right), 4);
        QTest::newRow("checksum wrong everywhere")
            << zipOf({small}).replace(crc, QByteArray(crc).replace(0, 1, "\x55")) << true << false << failed;
        QTest::newRow("no members") << zipOf({}) << true << false << failed;
        for (int fromEnd : {6, 2}) { // the checksum, the length
            QByteArray gzip = gzipped(small);
            gzip[gzip.size() - fromEnd] ^= 1;
            QTest::addRow("gzip trailer, byte %d from the end", fromEnd) << gzip << false << false << failed;
        }
        QTest::newRow("zip onto a full disk") << zipOf({small}) << true << true << failed;
        QTest::newRow("gzip onto a full disk") << gzipped(small) << false << true << failed;
    }
    void unpacks()
    {
        QFETCH(QByteArray, archive);
        QFETCH(bool, zip);
        QFETCH(bool, fullDisk);
        const int full = fullDisk ? ::open("/dev/full", O_WRONLY) : -1;
        if (fullDisk && full < 0)
            QSKIP("no /dev/full");
        QTEST(unpack(archive, zip, full), "text");
        if (full >= 0)
            ::close(full);
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
