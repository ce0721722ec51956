// Zip and gzip unpacking with the real minizip and zlib, on archives the tests write themselves.
#include "CopyMeter.h"
#include "FileIo.h"
#include "Unzip.h"
#include "ZipBuilder.h"
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <zip.h>
#include <zlib.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QByteArray failed("(failed)");

QByteArray noise(int size, quint32 seed) // compressible, all byte ranges
{
    QRandomGenerator g(seed);
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(g.bounded(64) + (g.bounded(4) == 0 ? 0x80 : 0x20));
    return out;
}

QByteArray file(const QString &path, const QByteArray &bytes = {})
{
    QFile f(path);
    if (!bytes.isNull() && f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0)
        f.close();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

struct Member
{
    QByteArray name;
    QByteArray data;
    uLong attributes = 0; // external: MS-DOS attributes, Unix mode in the upper half
};

} // namespace

Q_DECLARE_METATYPE(Member)

class tst_Unzip : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    // A zip of `members` (level 0: stored), or for level -1 one gzip stream per member, concatenated.
    QByteArray archive(const QList<QByteArray> &members, int level = 6)
    {
        const QByteArray name = QFile::encodeName(path("archive"));
        QByteArray gzips;
        zipFile z = level >= 0 ? zipOpen(name.constData(), APPEND_STATUS_CREATE) : nullptr;
        for (const QByteArray &m : members) {
            if (z) {
                zip_fileinfo info{};
                zipOpenNewFileInZip(z, "member", &info, nullptr, 0, nullptr, 0, nullptr, level ? Z_DEFLATED : 0, level);
                zipWriteInFileInZip(z, m.constData(), unsigned(m.size()));
                zipCloseFileInZip(z);
            } else {
                gzFile g = gzopen(name.constData(), "wb");
                gzwrite(g, m.constData(), unsigned(m.size()));
                gzclose(g);
                gzips += file(path("archive"));
            }
        }
        if (z)
            zipClose(z, nullptr);
        return z ? file(path("archive")) : gzips;
    }

    // A zip of named members through minizip's 64-bit writer (`zip64`: zip64 local headers).
    QByteArray zipOf(const QList<Member> &members, int level = 6, bool zip64 = false)
    {
        QList<ZipMember> zipped;
        for (const Member &m : members)
            zipped << ZipMember{m.name, m.data, level != 0, m.attributes};
        return zipArchive(zipped, zip64);
    }

    // Unpacks `bytes` (written as a .zip or .gz) into `outFd`, or a file when -1, under `meter`.
    Status unpackStatus(const QByteArray &bytes, bool zip, CopyMeter &meter, int fd = -1)
    {
        const QString in = path(zip ? "in.zip" : "in.gz"), out = path("out");
        QFile::remove(in); // a null `bytes` leaves no file at all
        file(in, bytes);
        const int inFd = fileio::openRegularForReading(QFile::encodeName(in).constData());
        const int outFd = fd >= 0 ? fd : ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        Unzip u(inFd, meter);
        const Status status = zip ? u.uncompress(outFd) : u.ungzip(outFd);
        if (fd < 0)
            ::close(outFd);
        if (inFd >= 0)
            ::close(inFd);
        return status;
    }
    // The output, or `failed`.
    QByteArray unpack(const QByteArray &bytes, bool zip, int fd = -1)
    {
        CopyMeter meter;
        return unpackStatus(bytes, zip, meter, fd).isOk() ? file(path("out")) : failed;
    }

private slots:
    void roundTrips()
    {
        const QByteArray big = noise(300000, 1), crlf("a\r\nb\0c\xFF", 7);
        for (int level : {0, 9}) { // stored and deflated: the first member only
            QCOMPARE(unpack(archive({crlf, "second", "third"}, level), true), crlf);
            QCOMPARE(unpack(archive({big, "x"}, level), true), big); // many chunks
            QCOMPARE(unpack(archive({"", "not this"}, level), true), QByteArray(""));
        }
        for (const QList<QByteArray> &streams : {QList<QByteArray>{crlf}, {""}, {big}, {"first part, ", "second part"}})
            QCOMPARE(unpack(archive(streams, -1), false), streams.join());
        // A file named .gz that is not compressed at all is copied as it is.
        const QByteArray plain = "plain text, not gzip at all\n" + noise(40000, 5);
        QCOMPARE(unpack(plain, false), plain);
    }

    // The first member that is a file: folders are named with a trailing slash or, empty, carry
    // a folder's MS-DOS attribute or Unix mode.
    void firstFile_data()
    {
        QTest::addColumn<QList<Member>>("members");
        QTest::addColumn<QByteArray>("text");
        const Member text{"book/text", "the text"}, empty{"book/empty", ""};
        QTest::newRow("folder entry first") << QList<Member>{{"book/", ""}, text} << text.data;
        QTest::newRow("MS-DOS folder attribute") << QList<Member>{{"book", "", 0x10}, text} << text.data;
        QTest::newRow("Unix folder mode") << QList<Member>{{"book", "", 0040755u << 16}, text} << text.data;
        QTest::newRow("an empty file is a file") << QList<Member>{{"book/", ""}, empty, text} << QByteArray("");
        QTest::newRow("only folders") << QList<Member>{{"a/", ""}, {"b", "", 0x10}} << failed;
    }
    void firstFile()
    {
        QFETCH(QList<Member>, members);
        QFETCH(QByteArray, text);
        CopyMeter meter;
        const Status status = unpackStatus(zipOf(members), true, meter);
        QCOMPARE(status.isOk() ? file(path("out")) : failed, text);
        QVERIFY(status.isOk() || status.detail() == "the archive holds folders but no file");
    }

    // Zip64 archives: minizip's own zip64 local headers, and directory entries whose sizes sit in the
    // zip64 extra field (minizip 1.1 misses those and then checks no checksum).
    void zip64_data()
    {
        QTest::addColumn<QByteArray>("archive");
        QTest::addColumn<QByteArray>("text");
        const QByteArray text = noise(200000, 11);
        for (int level : {0, 6}) {
            const QByteArray plain = zipOf({{"big.txt", text}}, level, true);
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
        const QByteArray text = noise(100000, 12), zeros(4 << 20, '\0');
        for (bool zip : {true, false}) {
            const QByteArray packed = zip ? zipOf({{"t", text}}) : archive({text}, -1);
            const char *kind = zip ? "zip" : "gzip";
            QTest::addRow("%s, exactly the limit", kind) << packed << zip << qint64(text.size()) << qint64(text.size());
            QTest::addRow("%s, one byte over", kind) << packed << zip << qint64(text.size() - 1) << qint64(-1);
            QTest::addRow("%s of 4 MiB of zeros, 1 MiB limit", kind)
                << (zip ? zipOf({{"z", zeros}}) : archive({zeros}, -1)) << zip << qint64(1 << 20) << qint64(-1);
        }
        QTest::newRow("zip64 extra field of 4 MiB, 1 MiB limit")
            << sizesInZip64Extra(zipOf({{"z", zeros}}, 9, true)) << true << qint64(1 << 20) << qint64(-1);
    }
    void limit()
    {
        QFETCH(QByteArray, archive);
        QFETCH(bool, zip);
        QFETCH(qint64, limit);
        QFETCH(qint64, size);
        CopyMeter meter{quint64(limit)};
        const Status status = unpackStatus(archive, zip, meter);
        const qint64 written = QFileInfo(path("out")).size();
        QCOMPARE(status.code(), size < 0 ? Status::Code::TooLarge : Status::Code::Ok);
        QVERIFY(written <= limit);
        // A zip's directory tells the size before anything is written.
        QCOMPARE(written, size >= 0 ? size : zip ? 0 : written);
    }

    void zipDamaged()
    {
        const QByteArray text = noise(5000, 2);
        QByteArray stored = archive({text, "second"}, 0);
        stored[stored.indexOf(text) + 100] ^= 1;
        QCOMPARE(unpack(stored, true), failed); // data that do not match their checksum
        // The same wrong checksum in the local header and the directory: only the data can tell.
        const uLong right = crc32(0, reinterpret_cast<const Bytef *>(text.constData()), uInt(text.size()));
        const QByteArray le(reinterpret_cast<const char *>(&right), 4);
        QCOMPARE(unpack(archive({text}).replace(le, QByteArray(le).replace(0, 1, "\x55")), true), failed);
        QCOMPARE(unpack(archive({}), true), failed); // no members

        // Cut anywhere before the end record (whose comment length a cut may spare): failure.
        const QByteArray first = noise(3000, 3), whole = archive({first, "more"});
        for (int at = 0; at < whole.size(); ++at) {
            const QByteArray cut = unpack(whole.left(at), true);
            QVERIFY2(cut == failed || (cut == first && at > whole.size() - 22), qPrintable(QString::number(at)));
        }
    }

    void gzipDamaged()
    {
        const QByteArray text = noise(4000, 7), whole = archive({text}, -1);
        for (int fromEnd : {6, 2}) { // the checksum, the length
            QByteArray damaged = whole;
            damaged[damaged.size() - fromEnd] ^= 1;
            QCOMPARE(unpack(damaged, false), failed);
        }
        // Cut anywhere from 2 bytes on, where the file starts like gzip: failure.
        for (int at = 2; at < whole.size(); ++at)
            QVERIFY2(unpack(whole.left(at), false) == failed, qPrintable(QString::number(at)));
    }

    void writeFailure()
    {
        const int full = ::open("/dev/full", O_WRONLY);
        if (full < 0)
            QSKIP("no /dev/full");
        QCOMPARE(unpack(archive({noise(1000, 8)}), true, full), failed);
        QCOMPARE(unpack(archive({noise(1000, 8)}, -1), false, full), failed);
        ::close(full);
    }
};

QTEST_APPLESS_MAIN(tst_Unzip)
#include "tst_unzip.moc"
