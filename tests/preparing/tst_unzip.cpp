// Zip and gzip unpacking with the real minizip and zlib, on archives the tests write themselves.
#include "Unzip.h"
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

} // namespace

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

    // Unpacks `bytes` (written as a .zip or .gz) to a file: the output, or `failed`.
    QByteArray unpack(const QByteArray &bytes, bool zip, int fd = -1)
    {
        const QString in = path(zip ? "in.zip" : "in.gz"), out = path("out");
        QFile::remove(in); // a null `bytes` leaves no file at all
        file(in, bytes);
        const int outFd = fd >= 0 ? fd : ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        Unzip u(in);
        const bool ok = (zip ? u.uncompress(outFd) : u.ungzip(outFd)).isOk();
        if (fd < 0)
            ::close(outFd);
        return ok ? file(out) : failed;
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
