// The Palm converter against the test-only compressor and an independent model; damage fails cleanly.
#include "PalmBuilder.h"
#include "TestFiles.h"
#include "makedoc9.h"
#include <QtTest>

using namespace PalmBuilder;

namespace {

struct Converted { int result; QByteArray text, rim; };

// Converts `database` through files, as the program does; "<missing>" for a file not written.
Converted convert(const QByteArray &database)
{
    TestFolder dir;
    const QString text = dir.filePath("book.txt"), rim = dir.filePath("book.rim");
    const int result = makedoc9::Decomp(QFile::encodeName(dir.write("book.pdb", database)).constData(),
                                        QFile::encodeName(text).constData(), QFile::encodeName(rim).constData()).result;
    return {result, readFile(text), readFile(rim)};
}

// Independent model of a Plucker conversion: each paragraph followed by the end-of-paragraph codes;
// per paragraph a rim entry of id and paragraph (16 bits) and text offset (32 bits), little-endian.
using Records = QList<QPair<unsigned, QList<QByteArray>>>;
QPair<QByteArray, QByteArray> model(const Records &records)
{
    QByteArray text, rim;
    for (const auto &[id, paragraphs] : records) {
        for (int i = 0; i < paragraphs.size(); ++i) {
            const auto at = uint32_t(text.size());
            for (unsigned b : {id & 0xFF, id >> 8, unsigned(i), 0u, at & 0xFF, (at >> 8) & 0xFF, at >> 16, 0u})
                rim.append(char(b));
            text += paragraphs[i] + endOfParagraph();
        }
    }
    return {text, rim};
}

} // namespace

class tst_makedoc9 : public QObject
{
    Q_OBJECT

private slots:
    void decompress_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<unsigned>("capacity");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QByteArray>("output"); // for damaged input: what was produced before
        QTest::newRow("literal, run of one, space pair") << QByteArray("A\x01" "B\xC1") << 9u << false << QByteArray("AB A");
        QTest::newRow("overlapping copy") << QByteArray("x\x80\x0F") << 11u << false << QByteArray(11, 'x');
        QTest::newRow("farthest distance") << QByteArray(2047, 'q') + "\xBF\xF8" << 2050u << false << QByteArray(2050, 'q');
        QTest::newRow("reference before the start") << QByteArray("ab\x80\x18") << 99u << true << QByteArray("ab");
        QTest::newRow("literal run cut off") << QByteArray("ab\x05xy") << 99u << true << QByteArray("ab");
        QTest::newRow("byte past capacity") << QByteArray("abcde") << 4u << true << QByteArray("abcd");
        QTest::newRow("run past capacity") << QByteArray("a\x03xyz") << 3u << true << QByteArray("a");
        QTest::newRow("copy past capacity") << QByteArray("abc\x80\x1F") << 8u << true << QByteArray("abc");
        QTest::newRow("space pair past capacity") << QByteArray("abc\xC1") << 4u << true << QByteArray("abc");
        QTest::newRow("no room at all") << QByteArray("a") << 0u << true << QByteArray();
        // Round trips through the test-only compressor, at the sizes where its codes change.
        QList<QByteArray> plain{sampleText(4096, 1, false), sampleText(4096, 2, true), QByteArray(4096, '\x81')};
        for (int size : {1, 10, 11, 2048, 2049})
            plain << sampleText(size, quint32(size), false) + sampleText(size, quint32(size), true);
        for (const QByteArray &p : plain)
            QTest::addRow("round trip of %d bytes", int(p.size())) << palmDocCompress(p) << unsigned(p.size()) << false << p;
    }
    void decompress()
    {
        QFETCH(QByteArray, input);
        QFETCH(unsigned, capacity);
        QFETCH(bool, damaged);
        QFETCH(QByteArray, output);
        // Exactly `capacity` bytes, so that the address sanitizer sees any write past them.
        std::vector<unsigned char> out(capacity ? capacity : 1);
        bool gotDamaged = !damaged;
        const unsigned n = makedoc9::Decompress(reinterpret_cast<const uchar *>(input.constData()), out.data(),
                                                unsigned(input.size()), capacity, &gotDamaged);
        QCOMPARE(gotDamaged, damaged);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), int(n)), output);
    }

    void convertDatabase_data()
    {
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("text"); // only where the conversion succeeds
        QTest::addColumn<QByteArray>("rim");

        // ---- PalmDoc: text only, no rim; bytes 0x01..0x08 and 0x80..0xFF are easily garbled.
        QByteArray awkward = sampleText(9000, 7, false);
        for (int i = 0; i < awkward.size(); i += 13)
            awkward[i] = char(i % 2 ? 0x01 + (i % 8) : 0x80 + (i % 128));
        const QByteArray a("first record "), b("second record"), none("<missing>");
        auto fails = [&](const char *name, const QByteArray &database) {
            QTest::newRow(name) << database << 0 << QByteArray() << none;
        };
        // Declared text length 3 throughout: it is never trusted.
        auto book = [](unsigned compression, unsigned count, QList<QByteArray> texts) {
            return database("TEXtREAd", QList<QByteArray>{palmDocHeader(compression, 3, count)} + texts);
        };
        QTest::newRow("stored") << palmDocBook(awkward, 1) << 2 << awkward << none;
        QTest::newRow("compressed, odd record size, trailing bookmarks the header does not count")
            << palmDocBook(awkward, 2, 1000, {"BOOKMARK\x01\x02\x03", QByteArray(40, '\xEE')}) << 2 << awkward << none;
        QTest::newRow("only the header record") << book(2, 0, {}) << 2 << QByteArray() << none;
        QTest::newRow("header counts more records") << book(1, 9, {a, b}) << 2 << a + b << none;
        fails("unsupported compression", book(17480, 2, {a, b}));
        fails("header record too short", database("TEXtREAd", {QByteArray("\x00\x01\x00", 3), a}));
        fails("record decompressing past 32768 bytes", book(2, 1, {palmDocCompress(QByteArray(40000, 'z'))}));
        fails("compressed record longer than any output", book(2, 1, {QByteArray(70000, 'a')}));
        fails("wrong type", palmDocBook("some text", 1).replace(60, 8, "TEXtREAD"));

        // ---- Plucker: text records in order, images and unknown records skipped.
        const QList<QByteArray> home{"Contents", Code::linkToRecord(0x0203) + "Chapter one" + Code::endLink(),
                                     Code::linkToParagraph(0x0203, 2) + "third" + Code::endLink(), ""};
        const QList<QByteArray> chapter{Code::style(1) + "Chapter one" + Code::style(0),
                                        "It was " + Code::italicOn() + "dark" + Code::italicOff() + ".",
                                        Code::underlineOn() + "Bytes \x80\xFF\x01 too" + Code::lineBreak(),
                                        sampleText(3000, 5, false)};
        const auto [text, rim] = model({{1, home}, {0x0203, chapter}, {65535, {"last"}}});
        for (auto [compression, packing] : QList<QPair<int, Packing>>{{2, Packing::Zlib}, {1, Packing::PalmDoc}, {7, Packing::Raw}}) {
            QTest::addRow("Plucker, compression %d, packing %d", compression, int(packing))
                << pluckerDocument(compression, {pluckerTextRecord(1, home, packing), pluckerRecord(7, 2, {}, 500, QByteArray(500, 'B')),
                                                 pluckerTextRecord(0x0203, chapter, packing), pluckerRecord(9, 4, {1, 2, 3}, 0, "junk"),
                                                 pluckerTextRecord(65535, {"last"}, packing)})
                << 1 << text << rim;
        }

        // ---- Plucker records that do not hold what they declare.
        const QByteArray three = zlibCompress("abc"), eop = endOfParagraph();
        auto doc = [](const QByteArray &record, unsigned compression = 2) { return pluckerDocument(compression, {record}); };
        fails("65535 declared, 3 real, paragraph of 65535", doc(pluckerRecord(1, 1, {65535}, 65535, three)));
        QTest::newRow("65535 declared, 3 real, paragraphs of 3")
            << doc(pluckerRecord(1, 1, {1, 2}, 65535, three)) << 1 << "a" + eop + "bc" + eop << model({{1, {"a", "bc"}}}).second;
        fails("zlib text larger than declared", doc(pluckerRecord(1, 1, {2}, 2, three)));
        fails("raw paragraphs longer than the text", doc(pluckerRecord(1, 0, {3, 4}, 7, "abcdef")));
        QTest::newRow("raw data longer than declared") << doc(pluckerRecord(1, 0, {3, 4}, 2, "abcdefg")) << 1
                                                       << "abc" + eop + "defg" + eop << model({{1, {"abc", "defg"}}}).second;
        fails("paragraph table past the record", doc(pluckerRecord(1, 0, {1}, 1, "a").left(10)));
        fails("record shorter than its header", doc(QByteArray("\x00\x01\x00", 3)));
        fails("PalmDoc record short of its declared size", doc(pluckerRecord(1, 1, {4}, 5, palmDocCompress("abcd")), 1));
        fails("compressed record, unknown compression", doc(pluckerRecord(1, 1, {3}, 3, "abc"), 3));
        fails("unknown record type", pluckerDocument(2, {pluckerTextRecord(1, {"kept"}, Packing::Zlib), pluckerRecord(2, 11, {}, 0, {})}));
        fails("index record too short", database("DataPlkr", {QByteArray(1, '\0')}));
        const QByteArray two = pluckerDocument(2, {pluckerTextRecord(1, {"one"}, Packing::Raw), pluckerTextRecord(2, {"two"}, Packing::Raw)});
        fails("offsets running backwards", QByteArray(two).replace(78 + 16 + 3, 1, "\x60"));
    }
    void convertDatabase()
    {
        QFETCH(QByteArray, database);
        QFETCH(int, result);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, rim);
        const Converted c = convert(database);
        QCOMPARE(c.result, result);
        if (result) { // a failed conversion makes no promise about what it wrote so far
            QCOMPARE(c.text, text);
            QCOMPARE(c.rim, rim);
        }
    }

    void cutAndFlipped()
    {
        const QList<QByteArray> paragraphs{"one " + Code::linkToParagraph(2, 1) + "link" + Code::endLink(), "two", "",
                                           sampleText(300, 9, true)};
        for (const QByteArray &database :
             {palmDocBook(sampleText(700, 3, false) + sampleText(300, 4, true), 2, 256, {"bm"}),
              pluckerDocument(2, {pluckerTextRecord(1, paragraphs, Packing::Zlib), pluckerRecord(3, 2, {}, 3, "img"),
                                  pluckerTextRecord(2, paragraphs, Packing::Raw)}),
              pluckerDocument(1, {pluckerTextRecord(1, paragraphs, Packing::PalmDoc)})}) {
            const Converted whole = convert(database);
            QVERIFY(whole.result != 0);
            for (int at = 0; at < database.size(); ++at) {
                // Cut short: a clean failure or, cut between codes of the last record, a prefix.
                const Converted c = convert(database.left(at));
                QVERIFY2(c.result == 0 || (c.result == whole.result && whole.text.startsWith(c.text)), qPrintable(QString::number(at)));
                // Flipped: anything may come out, but nothing out of range (the sanitizers watch).
                for (char mask : {char(0xFF), char(0x01), char(0x80)}) {
                    QByteArray damaged = database;
                    damaged[at] = char(damaged[at] ^ mask);
                    const int result = convert(damaged).result;
                    QVERIFY(result >= 0 && result <= 2);
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_makedoc9)
#include "tst_makedoc9.moc"
