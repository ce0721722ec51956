// Zip and gzip unpacking with the real minizip and zlib, on archives the tests write themselves.
#include "Unzip.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>
#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Members = QList<QPair<QByteArray, QByteArray>>; // name, data

QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator g(seed);
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(g.bounded(64) + (g.bounded(4) == 0 ? 0x80 : 0x20)); // compressible, all byte ranges
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// `level` 0 stores the members, otherwise deflates them.
QByteArray zipBytes(const QString &path, const Members &members, int level = Z_DEFAULT_COMPRESSION)
{
    zipFile z = zipOpen(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    for (const auto &m : members) {
        zip_fileinfo info{};
        zipOpenNewFileInZip(z, m.first.constData(), &info, nullptr, 0, nullptr, 0, nullptr, level ? Z_DEFLATED : 0, level);
        zipWriteInFileInZip(z, m.second.constData(), unsigned(m.second.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
    return readFile(path);
}

QByteArray gzipBytes(const QString &path, const QList<QByteArray> &streams)
{
    QByteArray all;
    for (const QByteArray &s : streams) { // each a gzip member of its own, concatenated
        gzFile g = gzopen(QFile::encodeName(path).constData(), "wb");
        gzwrite(g, s.constData(), unsigned(s.size()));
        gzclose(g);
        all += readFile(path);
    }
    writeFile(path, all);
    return all;
}

struct Outcome
{
    bool ok;
    QByteArray output;
};

Outcome run(const QString &input, bool zip, const QString &outputPath)
{
    const int fd = ::open(QFile::encodeName(outputPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Unzip u(input);
    const bool ok = zip ? u.uncompress(fd) : u.ungzip(fd);
    ::close(fd);
    return {ok, readFile(outputPath)};
}

} // namespace

class tst_Unzip : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }

    void firstMember_data();
    void firstMember();
    void zipFailures_data();
    void zipFailures();
    void zipCutAndFlipped();

    void gzip_data();
    void gzip();
    void gzipFailures_data();
    void gzipFailures();
    void gzipCutAndFlipped();

    void writeFailure_data();
    void writeFailure();

private:
    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }
    QTemporaryDir m_dir;
};

void tst_Unzip::firstMember_data()
{
    QTest::addColumn<Members>("members");
    QTest::addColumn<int>("level");
    const QByteArray big = noise(300000, 1);
    QTest::newRow("three members, deflated") << Members{{"first.txt", "the first"}, {"b.txt", "second"}, {"c", "third"}} << 6;
    QTest::newRow("three members, stored") << Members{{"first.txt", "the first"}, {"b.txt", "second"}, {"c", "third"}} << 0;
    QTest::newRow("empty first member") << Members{{"empty", ""}, {"full", "not this"}} << 6;
    QTest::newRow("first member of many chunks") << Members{{"big", big}, {"small", "x"}} << 9;
    QTest::newRow("bytes copied unchanged") << Members{{"crlf", QByteArray("a\r\nb\0c\xFF", 7)}} << 6;
}

void tst_Unzip::firstMember()
{
    QFETCH(Members, members);
    QFETCH(int, level);
    zipBytes(path("a.b.zip"), members, level);
    const Outcome o = run(path("a.b.zip"), true, path("out"));
    QVERIFY(o.ok);
    QCOMPARE(o.output, members.first().second);
}

void tst_Unzip::zipFailures_data()
{
    QTest::addColumn<QByteArray>("archive");
    const QByteArray text = noise(5000, 2);
    const Members one{{"m", text}, {"n", "second"}};

    QByteArray dataFlipped = zipBytes(path("s.zip"), one, 0);
    dataFlipped[int(dataFlipped.indexOf(text)) + 100] ^= 1;
    QTest::newRow("stored data does not match its checksum") << dataFlipped;

    // The same wrong checksum in the local header and the directory: only the data can tell.
    QByteArray crc = zipBytes(path("c.zip"), one, 6);
    const uLong right = crc32(0, reinterpret_cast<const Bytef *>(text.constData()), uInt(text.size()));
    const QByteArray le(reinterpret_cast<const char *>(&right), 4);
    QByteArray wrong = le;
    wrong[0] = char(wrong[0] ^ 0x55);
    crc.replace(le, wrong);
    QTest::newRow("stored checksum damaged") << crc;

    QTest::newRow("no members") << zipBytes(path("e.zip"), {}, 6);
    QTest::newRow("not an archive") << QByteArray("PK\x03\x04 but nothing more of a zip archive");
    QTest::newRow("empty file") << QByteArray();
}

void tst_Unzip::zipFailures()
{
    QFETCH(QByteArray, archive);
    writeFile(path("bad.zip"), archive);
    QVERIFY(!run(path("bad.zip"), true, path("out")).ok);
    QVERIFY(!run(path("missing.zip"), true, path("out")).ok);
}

void tst_Unzip::zipCutAndFlipped()
{
    const Members members{{"first", noise(3000, 3)}, {"second", "more"}};
    const QByteArray whole = zipBytes(path("w.zip"), members, 6);
    // A cut or a flip may spare everything the first member depends on (the end record's
    // comment length, a date, the second member); success must still mean the exact member.
    for (int size = 0; size < whole.size(); ++size) {
        writeFile(path("cut.zip"), whole.left(size));
        const Outcome o = run(path("cut.zip"), true, path("out"));
        QVERIFY2(!o.ok || o.output == members.first().second, qPrintable(QString::number(size)));
        QVERIFY(size > whole.size() - 22 || !o.ok);
    }
    for (int at = 0; at < whole.size(); ++at) {
        QByteArray damaged = whole;
        damaged[at] = char(damaged[at] ^ 0x41);
        writeFile(path("flip.zip"), damaged);
        const Outcome o = run(path("flip.zip"), true, path("out"));
        QVERIFY2(!o.ok || o.output == members.first().second, qPrintable(QString::number(at)));
    }
}

void tst_Unzip::gzip_data()
{
    QTest::addColumn<QList<QByteArray>>("streams");
    QTest::newRow("text") << QList<QByteArray>{"Once upon a time\r\n\xE4\xF6\xFC"};
    QTest::newRow("empty") << QList<QByteArray>{""};
    QTest::newRow("many chunks") << QList<QByteArray>{noise(200000, 4)};
    QTest::newRow("two members in a row") << QList<QByteArray>{"first part, ", "second part"};
}

void tst_Unzip::gzip()
{
    QFETCH(QList<QByteArray>, streams);
    gzipBytes(path("novel.tar.gz"), streams);
    const Outcome o = run(path("novel.tar.gz"), false, path("out"));
    QVERIFY(o.ok);
    QCOMPARE(o.output, streams.join());

    // A file named .gz that is not compressed at all is copied as it is.
    const QByteArray plain = "plain text, not gzip at all\n" + noise(40000, 5);
    writeFile(path("plain.gz"), plain);
    const Outcome p = run(path("plain.gz"), false, path("out"));
    QVERIFY(p.ok);
    QCOMPARE(p.output, plain);
}

void tst_Unzip::gzipFailures_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray good = gzipBytes(path("g.gz"), {noise(20000, 6)});
    QByteArray crc = good;
    crc[crc.size() - 6] ^= 1;
    QTest::newRow("checksum damaged") << crc;
    QByteArray length = good;
    length[length.size() - 2] ^= 1;
    QTest::newRow("length damaged") << length;
    QByteArray body = good;
    body[body.size() / 2] ^= 0x10;
    QTest::newRow("deflate data damaged") << body;
    QTest::newRow("cut in the middle") << good.left(good.size() / 2);
    QTest::newRow("only the header") << good.left(10);
}

void tst_Unzip::gzipFailures()
{
    QFETCH(QByteArray, file);
    writeFile(path("bad.gz"), file);
    QVERIFY(!run(path("bad.gz"), false, path("out")).ok);
    QVERIFY(!run(path("missing.gz"), false, path("out")).ok);
}

void tst_Unzip::gzipCutAndFlipped()
{
    const QByteArray text = noise(4000, 7);
    const QByteArray whole = gzipBytes(path("w.gz"), {text});
    // From 2 bytes on the file starts like gzip; a single byte is simply not compressed.
    for (int size = 2; size < whole.size(); ++size) {
        writeFile(path("cut.gz"), whole.left(size));
        QVERIFY2(!run(path("cut.gz"), false, path("out")).ok, qPrintable(QString::number(size)));
    }
    for (int at = 0; at < whole.size(); ++at) {
        QByteArray damaged = whole;
        damaged[at] = char(damaged[at] ^ 0x41);
        writeFile(path("flip.gz"), damaged);
        const Outcome o = run(path("flip.gz"), false, path("out"));
        // Success only with the true text, or with the file itself where the flip broke the
        // gzip signature (it is then read as uncompressed).
        QVERIFY2(!o.ok || o.output == text || (at < 2 && o.output == damaged), qPrintable(QString::number(at)));
    }
}

void tst_Unzip::writeFailure_data()
{
    QTest::addColumn<bool>("zip");
    QTest::newRow("zip") << true;
    QTest::newRow("gzip") << false;
}

void tst_Unzip::writeFailure()
{
    QFETCH(bool, zip);
    if (zip)
        zipBytes(path("x.zip"), {{"m", noise(1000, 8)}}, 6);
    else
        gzipBytes(path("x.gz"), {noise(1000, 8)});
    const int full = ::open("/dev/full", O_WRONLY);
    if (full < 0)
        QSKIP("no /dev/full");
    Unzip u(path(zip ? "x.zip" : "x.gz"));
    QVERIFY(!(zip ? u.uncompress(full) : u.ungzip(full)));
    ::close(full);
}

QTEST_APPLESS_MAIN(tst_Unzip)
#include "tst_unzip.moc"
