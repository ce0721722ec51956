// The Palm converter: PalmDoc decompression, PalmDoc and Plucker databases into text and rim
// bytes, and damaged databases failing cleanly.
#include "PalmBuilder.h"
#include "makedoc9.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace PalmBuilder;

namespace {

struct Converted
{
    int result = -1;
    QByteArray text;
    QByteArray rim;
    bool rimExists = false;
};

QByteArray bytes(std::initializer_list<unsigned> list)
{
    QByteArray out;
    for (unsigned b : list)
        out.append(char(b));
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Converted convert(const QByteArray &database)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("book.pdb"), text = dir.filePath("book.txt"), rim = dir.filePath("book.rim");
    QFile f(source);
    f.open(QIODevice::WriteOnly);
    f.write(database);
    f.close();
    Converted c;
    c.result = makedoc9::Decomp(QFile::encodeName(source).constData(), QFile::encodeName(text).constData(),
                                QFile::encodeName(rim).constData());
    c.text = readAll(text);
    c.rimExists = QFile::exists(rim);
    c.rim = readAll(rim);
    return c;
}

// The independent model of a Plucker conversion: paragraphs of the text records in order, each
// followed by the end-of-paragraph sequence; one little-endian rim entry per paragraph.
struct Model
{
    QByteArray text, rim;
    void add(unsigned id, const QList<QByteArray> &paragraphs)
    {
        for (int i = 0; i < paragraphs.size(); ++i) {
            const uint32_t at = uint32_t(text.size());
            rim += bytes({id & 0xFF, id >> 8, unsigned(i) & 0xFF, unsigned(i) >> 8, at & 0xFF, (at >> 8) & 0xFF,
                          (at >> 16) & 0xFF, at >> 24});
            text += paragraphs[i] + endOfParagraph();
        }
    }
};

QByteArray randomText(int size, quint32 seed, bool binary)
{
    QRandomGenerator g(seed);
    static const char words[][8] = {"the ", "cat ", "sat ", "on ", "a ", "mat. ", "Palm ", "\n"};
    QByteArray out;
    while (out.size() < size) {
        if (binary)
            out.append(char(g.bounded(256)));
        else
            out.append(words[g.bounded(8)]);
    }
    out.resize(size);
    return out;
}

} // namespace

class tst_makedoc9 : public QObject
{
    Q_OBJECT

private slots:
    void decompress_data();
    void decompress();
    void decompressDamaged_data();
    void decompressDamaged();
    void decompressRoundTrip_data();
    void decompressRoundTrip();

    void palmDoc_data();
    void palmDoc();

    void pluckerParagraphs();
    void plucker_data();
    void plucker();
    void pluckerUnknownType();
    void pluckerBounds_data();
    void pluckerBounds();

    void notPalm();
    void cutAndFlipped_data();
    void cutAndFlipped();
};

void tst_makedoc9::decompress_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("literal, run of one, space pair") << bytes({0x41, 0x01, 0x42, 0xC1}) << bytes({0x41, 0x42, 0x20, 0x41});
    QTest::newRow("distance 3 count 5") << QByteArray("abcd\x80\x1A") << QByteArray("abcdbcdbc");
    QTest::newRow("distance 1 count 10 overlaps") << QByteArray("x\x80\x0F") << QByteArray(11, 'x');
    QTest::newRow("0x00 and 0x09..0x7F stand for themselves")
        << bytes({0x00, 0x09, 0x7F, 0x20}) << bytes({0x00, 0x09, 0x7F, 0x20});
    QTest::newRow("run of 8 high bytes")
        << bytes({0x08, 0x80, 0x81, 0xFF, 0x01, 0x02, 0x08, 0xC0, 0x00})
        << bytes({0x80, 0x81, 0xFF, 0x01, 0x02, 0x08, 0xC0, 0x00});
    QTest::newRow("farthest distance") << QByteArray(2047, 'q') + bytes({0xBF, 0xF8}) << QByteArray(2050, 'q');
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void tst_makedoc9::decompress()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    std::vector<unsigned char> out(32768);
    bool damaged = true;
    const unsigned n = makedoc9::Decompress(reinterpret_cast<const uchar *>(input.constData()), out.data(),
                                            unsigned(input.size()), unsigned(out.size()), &damaged);
    QVERIFY(!damaged);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), int(n)), output);
}

void tst_makedoc9::decompressDamaged_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<unsigned>("capacity");
    QTest::addColumn<QByteArray>("producedBefore");
    QTest::newRow("reference before the start") << QByteArray("ab\x80\x18") << 100u << QByteArray("ab");
    QTest::newRow("distance 0") << QByteArray("ab\x80\x02") << 100u << QByteArray("ab");
    QTest::newRow("literal run cut off") << QByteArray("ab\x05xy") << 100u << QByteArray("ab");
    QTest::newRow("pair cut off") << QByteArray("ab\x80") << 100u << QByteArray("ab");
    QTest::newRow("byte past capacity") << QByteArray("abcde") << 4u << QByteArray("abcd");
    QTest::newRow("run past capacity") << QByteArray("a\x03xyz") << 3u << QByteArray("a");
    QTest::newRow("copy past capacity") << QByteArray("abc\x80\x1F") << 8u << QByteArray("abc");
    QTest::newRow("space pair past capacity") << QByteArray("abc\xC1") << 4u << QByteArray("abc");
    QTest::newRow("no room at all") << QByteArray("a") << 0u << QByteArray();
}

void tst_makedoc9::decompressDamaged()
{
    QFETCH(QByteArray, input);
    QFETCH(unsigned, capacity);
    QFETCH(QByteArray, producedBefore);
    // Exactly `capacity` bytes, so that the address sanitizer sees any write past them.
    std::vector<unsigned char> out(capacity ? capacity : 1);
    bool damaged = false;
    const unsigned n = makedoc9::Decompress(reinterpret_cast<const uchar *>(input.constData()), out.data(),
                                            unsigned(input.size()), capacity, &damaged);
    QVERIFY(damaged);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), int(n)), producedBefore);
}

void tst_makedoc9::decompressRoundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("words") << randomText(4096, 1, false);
    QTest::newRow("binary") << randomText(4096, 2, true);
    QTest::newRow("one byte repeated") << QByteArray(4096, '\x81');
    QTest::newRow("short") << QByteArray("a b");
    for (int size : {1, 2, 3, 9, 10, 11, 2047, 2048, 2049})
        QTest::newRow(qPrintable(QStringLiteral("mixed %1").arg(size)))
            << randomText(size, quint32(size), false) + randomText(size, quint32(size), true);
}

void tst_makedoc9::decompressRoundTrip()
{
    QFETCH(QByteArray, plain);
    const QByteArray packed = palmDocCompress(plain);
    std::vector<unsigned char> out(size_t(plain.size()));
    bool damaged = true;
    const unsigned n = makedoc9::Decompress(reinterpret_cast<const uchar *>(packed.constData()), out.data(),
                                            unsigned(packed.size()), unsigned(out.size()), &damaged);
    QVERIFY(!damaged);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), int(n)), plain);
}

void tst_makedoc9::palmDoc_data()
{
    QTest::addColumn<QByteArray>("database");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("text");

    // Bytes 0x01..0x08 and 0x80..0xFF are exactly the ones a decompression would garble.
    QByteArray awkward = randomText(9000, 7, false);
    for (int i = 0; i < awkward.size(); i += 13)
        awkward[i] = char(i % 2 ? 0x01 + (i % 8) : 0x80 + (i % 128));

    QTest::newRow("stored text is copied") << palmDocBook(awkward, 1) << 2 << awkward;
    QTest::newRow("compressed text is decompressed") << palmDocBook(awkward, 2) << 2 << awkward;
    QTest::newRow("odd record size") << palmDocBook(awkward, 2, 1000) << 2 << awkward;
    QTest::newRow("trailing bookmark records are not text")
        << palmDocBook(awkward, 2, 4096, {QByteArray("BOOKMARK\x01\x02\x03", 11), QByteArray(40, '\xEE')}) << 2 << awkward;
    QTest::newRow("only the header record") << database("TEXtREAd", {palmDocHeader(2, 0, 0)}) << 2 << QByteArray();

    const QByteArray a("first record "), b("second record");
    QTest::newRow("header counts fewer records than stored")
        << database("TEXtREAd", {palmDocHeader(1, 26, 1), a, b}) << 2 << a;
    QTest::newRow("header counts more records than stored")
        << database("TEXtREAd", {palmDocHeader(1, 26, 9), a, b}) << 2 << a + b;
    QTest::newRow("declared text length is ignored")
        << database("TEXtREAd", {palmDocHeader(1, 3, 2), a, b}) << 2 << a + b;
    QTest::newRow("compression 0 is unsupported") << database("TEXtREAd", {palmDocHeader(0, 26, 2), a, b}) << 0 << QByteArray();
    QTest::newRow("compression 17480 is unsupported")
        << database("TEXtREAd", {palmDocHeader(17480, 26, 2), a, b}) << 0 << QByteArray();
    QTest::newRow("header record too short") << database("TEXtREAd", {QByteArray("\x00\x01\x00", 3), a}) << 0 << QByteArray();
    QTest::newRow("no records at all") << database("TEXtREAd", {}) << 0 << QByteArray();

    const QByteArray tooLong = palmDocCompress(QByteArray(40000, 'z'));
    QTest::newRow("record decompressing past 32768 bytes")
        << database("TEXtREAd", {palmDocHeader(2, 40000, 1), tooLong}) << 0 << QByteArray();
    QTest::newRow("reference before the record's start")
        << database("TEXtREAd", {palmDocHeader(2, 10, 2), QByteArray("abc"), QByteArray("\x80\x18")}) << 0 << QByteArray();
    QTest::newRow("compressed record longer than any output")
        << database("TEXtREAd", {palmDocHeader(2, 10, 1), QByteArray(70000, 'a')}) << 0 << QByteArray();
}

void tst_makedoc9::palmDoc()
{
    QFETCH(QByteArray, database);
    QFETCH(int, result);
    QFETCH(QByteArray, text);
    const Converted c = convert(database);
    QCOMPARE(c.result, result);
    if (result) // a failed conversion makes no promise about the text written so far
        QCOMPARE(c.text, text);
    QVERIFY(!c.rimExists);
}

void tst_makedoc9::pluckerParagraphs()
{
    // One text record of paragraphs of 5, 0 and 7 bytes: 42 bytes, offsets 0, 15 and 25.
    const QByteArray doc = pluckerDocument(2, {pluckerTextRecord(300, {"Hello", "", "World!!"}, Packing::Raw)});
    const Converted c = convert(doc);
    QCOMPARE(c.result, 1);
    QCOMPARE(c.text.size(), 42);
    QCOMPARE(c.text, "Hello" + endOfParagraph() + endOfParagraph() + "World!!" + endOfParagraph());
    QCOMPARE(c.rim, bytes({0x2C, 0x01, 0, 0, 0, 0, 0, 0, 0x2C, 0x01, 1, 0, 15, 0, 0, 0, 0x2C, 0x01, 2, 0, 25, 0, 0, 0}));
}

void tst_makedoc9::plucker_data()
{
    QTest::addColumn<int>("compression");
    QTest::addColumn<int>("packing");
    QTest::newRow("zlib records") << 2 << int(Packing::Zlib);
    QTest::newRow("PalmDoc records") << 1 << int(Packing::PalmDoc);
    QTest::newRow("raw records, zlib document") << 2 << int(Packing::Raw);
    QTest::newRow("raw records, unknown compression") << 7 << int(Packing::Raw);
}

void tst_makedoc9::plucker()
{
    QFETCH(int, compression);
    QFETCH(int, packing);
    const auto pack = Packing(packing);
    const QList<QByteArray> home{"Contents", Code::linkToRecord(0x0203) + "Chapter one" + Code::endLink(),
                                 Code::linkToParagraph(0x0203, 2) + "third paragraph" + Code::endLink(), ""};
    const QList<QByteArray> chapter{Code::style(1) + "Chapter one" + Code::style(0),
                                    "It was " + Code::italicOn() + "dark" + Code::italicOff() + ".",
                                    Code::underlineOn() + "Bytes \x80\xFF\x01 too" + Code::underlineOff() + Code::lineBreak(),
                                    randomText(3000, 5, false)};
    const QByteArray doc = pluckerDocument(unsigned(compression),
                                           {pluckerTextRecord(1, home, pack), pluckerImageRecord(7, QByteArray(500, '\x42')),
                                            pluckerTextRecord(0x0203, chapter, pack),
                                            pluckerRecord(9, 4, {1, 2, 3}, 0, QByteArray("junk")),
                                            pluckerTextRecord(65535, {"last"}, pack)});
    Model m;
    m.add(1, home);
    m.add(0x0203, chapter);
    m.add(65535, {"last"});
    const Converted c = convert(doc);
    QCOMPARE(c.result, 1);
    QCOMPARE(c.text, m.text);
    QCOMPARE(c.rim, m.rim);
}

void tst_makedoc9::pluckerUnknownType()
{
    const QByteArray doc = pluckerDocument(2, {pluckerTextRecord(1, {"kept so far"}, Packing::Zlib),
                                               pluckerRecord(2, 11, {}, 0, QByteArray()),
                                               pluckerTextRecord(3, {"never"}, Packing::Zlib)});
    QTemporaryDir dir;
    const QString out = dir.filePath("stdout");
    fflush(stdout);
    const int saved = dup(1);
    const int fd = ::open(QFile::encodeName(out).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    ::close(fd);
    const Converted c = convert(doc);
    fflush(stdout);
    dup2(saved, 1);
    ::close(saved);
    QCOMPARE(c.result, 0);
    QCOMPARE(readAll(out), QByteArray("Unknown type 11\n"));
    QVERIFY(!c.text.contains("never"));
}

void tst_makedoc9::pluckerBounds_data()
{
    QTest::addColumn<QByteArray>("database");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("text");

    const QByteArray three = zlibCompress("abc");
    QTest::newRow("65535 declared, 3 real, paragraph of 65535")
        << pluckerDocument(2, {pluckerRecord(1, 1, {65535}, 65535, three)}) << 0 << QByteArray();
    QTest::newRow("65535 declared, 3 real, paragraphs of 3")
        << pluckerDocument(2, {pluckerRecord(1, 1, {1, 2}, 65535, three)}) << 1
        << "a" + endOfParagraph() + "bc" + endOfParagraph();
    QTest::newRow("zlib text larger than declared")
        << pluckerDocument(2, {pluckerRecord(1, 1, {2}, 2, three)}) << 0 << QByteArray();
    QTest::newRow("corrupt zlib") << pluckerDocument(2, {pluckerRecord(1, 1, {3}, 3, "\x78\x9C\xFF\xFF")}) << 0 << QByteArray();
    QTest::newRow("raw paragraphs longer than the text")
        << pluckerDocument(2, {pluckerRecord(1, 0, {3, 4}, 7, "abcdef")}) << 0 << QByteArray();
    QTest::newRow("raw data longer than declared")
        << pluckerDocument(2, {pluckerRecord(1, 0, {3, 4}, 2, "abcdefg")}) << 1
        << "abc" + endOfParagraph() + "defg" + endOfParagraph();
    QTest::newRow("paragraph table past the record")
        << pluckerDocument(2, {pluckerRecord(1, 0, {1}, 1, "a").left(10)}) << 0 << QByteArray();
    QTest::newRow("record shorter than its header")
        << pluckerDocument(2, {QByteArray("\x00\x01\x00", 3)}) << 0 << QByteArray();
    QTest::newRow("PalmDoc record short of its declared size")
        << pluckerDocument(1, {pluckerRecord(1, 1, {4}, 5, palmDocCompress("abcd"))}) << 0 << QByteArray();
    QTest::newRow("PalmDoc record past its declared size")
        << pluckerDocument(1, {pluckerRecord(1, 1, {3}, 3, palmDocCompress("abcd"))}) << 0 << QByteArray();
    QTest::newRow("compressed record, unknown compression")
        << pluckerDocument(3, {pluckerRecord(1, 1, {3}, 3, "abc")}) << 0 << QByteArray();
    QTest::newRow("index record too short") << database("DataPlkr", {QByteArray("\x00", 1)}) << 0 << QByteArray();
    QTest::newRow("no records at all") << database("DataPlkr", {}) << 0 << QByteArray();

    QByteArray backwards = pluckerDocument(2, {pluckerTextRecord(1, {"one"}, Packing::Raw),
                                               pluckerTextRecord(2, {"two"}, Packing::Raw)});
    backwards[78 + 16 + 3] = char(0x60); // record 2 now starts before record 1
    QTest::newRow("offsets running backwards") << backwards << 0 << QByteArray();
    QByteArray pastEnd = pluckerDocument(2, {pluckerTextRecord(1, {"one"}, Packing::Raw)});
    pastEnd[78 + 8 + 1] = char(0x7F);
    QTest::newRow("offset past the end") << pastEnd << 0 << QByteArray();
    QByteArray table = pluckerDocument(2, {pluckerTextRecord(1, {"one"}, Packing::Raw)});
    table.chop(table.size() - 80);
    QTest::newRow("record list cut short") << table << 0 << QByteArray();
}

void tst_makedoc9::pluckerBounds()
{
    QFETCH(QByteArray, database);
    QFETCH(int, result);
    QFETCH(QByteArray, text);
    const Converted c = convert(database);
    QCOMPARE(c.result, result);
    if (result)
        QCOMPARE(c.text, text);
}

void tst_makedoc9::notPalm()
{
    QByteArray doc = palmDocBook("some text", 1);
    doc.replace(60, 8, "TEXtREAD");
    const Converted c = convert(doc);
    QCOMPARE(c.result, 0);
    QCOMPARE(c.text, QByteArray());
    QCOMPARE(convert(QByteArray(77, 'x')).result, 0);
    QCOMPARE(convert(QByteArray()).result, 0);
}

void tst_makedoc9::cutAndFlipped_data()
{
    QTest::addColumn<QByteArray>("database");
    const QList<QByteArray> paragraphs{"one " + Code::linkToParagraph(2, 1) + "link" + Code::endLink(), "two", "",
                                       randomText(300, 9, true)};
    QTest::newRow("PalmDoc compressed") << palmDocBook(randomText(700, 3, false) + randomText(300, 4, true), 2, 256, {"bm"});
    QTest::newRow("PalmDoc stored") << palmDocBook(randomText(600, 3, false), 1, 200);
    QTest::newRow("Plucker zlib") << pluckerDocument(2, {pluckerTextRecord(1, paragraphs, Packing::Zlib),
                                                         pluckerImageRecord(3, "img"),
                                                         pluckerTextRecord(2, paragraphs, Packing::Raw)});
    QTest::newRow("Plucker PalmDoc") << pluckerDocument(1, {pluckerTextRecord(1, paragraphs, Packing::PalmDoc),
                                                            pluckerTextRecord(2, paragraphs, Packing::Raw)});
}

void tst_makedoc9::cutAndFlipped()
{
    QFETCH(QByteArray, database);
    const Converted whole = convert(database);
    QVERIFY(whole.result != 0);
    // Cut short: either a clean failure or, where the cut falls between codes of the last
    // record, a prefix of the full text.
    for (int size = 0; size < database.size(); ++size) {
        const Converted c = convert(database.left(size));
        QVERIFY2(c.result == 0 || whole.text.startsWith(c.text), qPrintable(QString::number(size)));
        QVERIFY(c.result == 0 || c.result == whole.result);
    }
    // Flipped: anything may come out, but nothing out of range (the sanitizers watch).
    for (int at = 0; at < database.size(); ++at) {
        for (char mask : {char(0xFF), char(0x01), char(0x80)}) {
            QByteArray damaged = database;
            damaged[at] = char(damaged[at] ^ mask);
            const Converted c = convert(damaged);
            QVERIFY(c.result >= 0 && c.result <= 2);
        }
    }
}

QTEST_APPLESS_MAIN(tst_makedoc9)
#include "tst_makedoc9.moc"
