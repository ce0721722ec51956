// MOBI books made with the test builder: the words through every compression and encoding, with
// and without trailing entries, and the copy limit on each; the metadata, links that land on their
// anchors, the book's own contents, and every broken or hostile book refused with a clear message
// and nothing kept.
#include "BookConversion.h"
#include "HuffCdic.h"
#include "MobiBook.h"
#include "MobiBuilder.h"
#include "PalmBuilder.h"
#include "TestFiles.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

Converted convert(const QByteArray &mobi, uint64_t limit = CopyMeter::DefaultLimit)
{
    return convertBook(mobi, limit, MobiBook::convert);
}

// Paragraphs with accented words, long enough for several records of any size.
QByteArray paragraphs(bool utf8, int count = 300)
{
    QByteArray body;
    const QByteArray words = utf8 ? QByteArray("caf\xC3\xA9 \xE2\x80\x93 na\xC3\xAFve \xE2\x82\xAC")
                                  : QByteArray("caf\xE9 \x96 na\xEFve \x80");
    for (int i = 0; i < count; ++i)
        body += "<p>Paragraph " + QByteArray::number(i) + ' ' + words + "</p>";
    return "<html><head><guide></guide></head><body>" + body + "</body></html>";
}

using Exth = QList<QPair<uint32_t, QByteArray>>;

const char ExpectedWords[] = "caf\xC3\xA9 \xE2\x80\x93 na\xC3\xAFve \xE2\x82\xAC";

// Where the anchor for `filepos` is in the copy, and the words after it.
QByteArray afterAnchor(const QByteArray &html, qint64 filepos)
{
    const QByteArray name = "<a name=\"f" + QByteArray::number(filepos) + "\"></a>";
    const qsizetype at = html.indexOf(name);
    return at < 0 ? QByteArray("<no anchor>") : html.mid(at + name.size(), 20);
}

} // namespace

class tst_MobiBook : public QObject
{
    Q_OBJECT

private slots:
    void wordsThroughEveryPacking_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<int>("extraFlags");
        for (const int compression : {1, 2, 17480}) {
            for (const bool utf8 : {true, false}) {
                for (const int flags : {0, 1, 0b110, 0b1011}) {
                    if (!utf8 && (flags & 1))
                        continue;  // the multibyte overlap is for UTF-8 text
                    const QByteArray name = QByteArray::number(compression) + (utf8 ? " UTF-8" : " 1252")
                                            + " flags " + QByteArray::number(flags);
                    QTest::newRow(name.constData()) << compression << utf8 << flags;
                }
            }
        }
    }
    void wordsThroughEveryPacking()
    {
        QFETCH(int, compression);
        QFETCH(bool, utf8);
        QFETCH(int, extraFlags);
        MobiBuilder::Book book;
        book.text = paragraphs(utf8);
        book.compression = unsigned(compression);
        book.encoding = utf8 ? 65001 : 1252;
        book.extraFlags = uint32_t(extraFlags);
        book.recordSize = extraFlags ? 1001 : 4096;  // trailing entries in records of an odd size
        const Converted c = convert(MobiBuilder::build(book));
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QCOMPARE(c.html.count(ExpectedWords), 300);
        QVERIFY(!c.html.contains("<guide"));
        // A copy limit below the text's size stops the copy, with nothing half-made.
        const Converted limited = convert(MobiBuilder::build(book), 5000);
        QVERIFY(limited.status.code() == Status::Code::TooLarge && limited.info == BookInfo());
    }

    void metadata_data()
    {
        QTest::addColumn<Exth>("exth");
        QTest::addColumn<uint32_t>("encoding");
        QTest::addColumn<QByteArray>("fullName");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("language");
        QTest::newRow("no name: the database's") << Exth() << 65001u << QByteArray() << "test book" << "" << "";
        QTest::newRow("EXTH title, authors, language")
            << Exth{{100, "Ada Author"}, {503, "  The   Updated Title "}, {100, "Bo Second"}, {524, "de"}} << 65001u
            << QByteArray("Full Name") << "The Updated Title" << "Ada Author & Bo Second" << "de";
        QTest::newRow("EXTH in windows-1252") << Exth{{100, "Ren\xE9 \x96 Co"}} << 1252u << QByteArray("Full Name") << "Full Name"
                                              << QString::fromUtf8("René – Co") << "";
    }
    void metadata()
    {
        QFETCH(Exth, exth);
        QFETCH(uint32_t, encoding);
        QFETCH(QByteArray, fullName);
        MobiBuilder::Book book;
        book.fullName = fullName;
        book.text = paragraphs(encoding == 65001, 3);
        book.encoding = encoding;
        book.exth = exth;
        const Converted c = convert(MobiBuilder::build(book));
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QTEST(c.info.title, "title");
        QTEST(c.info.author, "author");
        QTEST(c.info.language, "language");
        QVERIFY(c.html.contains("<title>" + c.info.title.toUtf8() + "</title>"));
    }

    // filepos links lead to anchors put at their byte of the text; the guide's toc reference
    // gives the contents, its titles read as the page shows them; page breaks end paragraphs;
    // pictures show as words.
    void linksGuideAndPageBreaks()
    {
        const QByteArray toc = "<p><a filepos=0000000000>Start &amp; end&#8217;s</a></p><p><a filepos=XXXXXXXXXX>Second "
                               "<b>chapter</b></a></p><mbp:pagebreak/>";
        QByteArray text = "<html><head><guide><reference type=\"toc\" title=\"Contents\" filepos=TTTTTTTTTT />"
                          "</guide></head><body>"
                        + toc + "<h1>First chapter</h1><p>Some words <img recindex=\"00001\"> and "
                        + QByteArray(5000, 'x') + "</p><mbp:pagebreak/><h1>Second chapter</h1><p>Here.</p>"
                        + "<p><a filepos=\"YYYYYYYYYY\">back</a></p></body></html>";
        const qint64 tocAt = text.indexOf("<p><a filepos=0000000000");
        const qint64 second = text.indexOf("<h1>Second");
        const qint64 inWords = text.indexOf("words <img");
        text.replace("TTTTTTTTTT", QByteArray::number(tocAt).rightJustified(10, '0'));
        text.replace("XXXXXXXXXX", QByteArray::number(second).rightJustified(10, '0'));
        text.replace("YYYYYYYYYY", QByteArray::number(inWords));
        MobiBuilder::Book book;
        book.text = text;
        const Converted c = convert(MobiBuilder::build(book));
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QCOMPARE(afterAnchor(c.html, second).left(18), QByteArray("<h1>Second chapter"));
        QCOMPARE(afterAnchor(c.html, inWords).left(8), QByteArray("words [p"));
        QVERIFY(c.html.contains("<a href=\"#f" + QByteArray::number(second) + "\">Second <b>chapter</b></a>"));
        QVERIFY(c.html.contains("<a href=\"#f" + QByteArray::number(inWords) + "\">back</a>"));
        QVERIFY(c.html.contains("words [picture] and"));
        QCOMPARE(c.html.count("<p></p>"), 2);
        QVERIFY(!c.html.contains("mbp:") && !c.html.contains("filepos"));
        QCOMPARE(c.info.contents.size(), 2);
        QCOMPARE(c.info.contents[0].title, QStringLiteral("Start & end\u2019s"));
        QCOMPARE(c.info.contents[1].title, QStringLiteral("Second chapter"));
        QCOMPARE(c.info.contents[1].position, c.html.indexOf("<a name=\"f" + QByteArray::number(second)));
        // A place at the very start, before the book's own head, is anchored where the words begin.
        QVERIFY(c.info.contents[0].position > c.html.indexOf("<body>"));
    }

    void ncxIndexGivesTheContents()
    {
        MobiBuilder::Book book;
        book.text = paragraphs(true, 40);
        const qint64 tenth = book.text.indexOf("<p>Paragraph 10 ");
        const qint64 twentieth = book.text.indexOf("<p>Paragraph 20 ");
        book.moreRecords = MobiBuilder::ncxIndex({{"Part One", 0, 0}, {"Tenth", uint32_t(tenth), 1},
                                                  {"Twentieth", uint32_t(twentieth), 1},
                                                  {"Nowhere", 0x7FFFFFF, 0}});
        book.ncxIndex = uint32_t(book.firstMoreRecord());
        const Converted c = convert(MobiBuilder::build(book));
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QCOMPARE(c.info.contents.size(), 3);
        QCOMPARE(c.info.contents[1].title, QStringLiteral("Tenth"));
        QCOMPARE(c.info.contents[1].level, 1);
        QCOMPARE(c.info.contents[1].position, c.html.indexOf("<a name=\"f" + QByteArray::number(tenth) + "\""));
        QVERIFY(afterAnchor(c.html, tenth).startsWith("<p>Paragraph 10 "));
        QVERIFY(afterAnchor(c.html, twentieth).startsWith("<p>Paragraph 20 "));
    }

    void brokenAndHostileBooks_data()
    {
        QTest::addColumn<QByteArray>("mobi");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        MobiBuilder::Book good;
        good.text = paragraphs(true, 150);
        const QList<QByteArray> records = MobiBuilder::records(good);
        auto with = [&](int k, const QByteArray &record) {
            QList<QByteArray> changed = records;
            changed[k] = record;
            return PalmBuilder::database("BOOKMOBI", changed);
        };
        const int damaged = int(Status::Code::Damaged);
        QTest::newRow("zero records") << PalmBuilder::database("BOOKMOBI", {}) << damaged << "damaged";
        QTest::newRow("record 0 short") << with(0, records[0].left(10)) << damaged << "damaged";
        QTest::newRow("no MOBI header") << with(0, records[0].left(16) + QByteArray(300, 'z')) << damaged << "damaged";
        MobiBuilder::Book b = good;
        b.headerLengthOverride = 0x7FFFFFF0;
        QTest::newRow("header length past record 0") << MobiBuilder::build(b) << damaged << "damaged";
        b = good;
        b.textRecordsOverride = 60000;
        b.firstNonTextOverride = 0;
        QTest::newRow("text records past the file") << MobiBuilder::build(b) << damaged << "damaged";
        QByteArray cut = MobiBuilder::build(good);
        // A record that ends past the file: the same check as an offset far past the end.
        QTest::newRow("file cut short") << cut.left(cut.size() / 2) << damaged << "damaged";
        QTest::newRow("record list cut") << MobiBuilder::build(good).left(78 + 8) << damaged << "damaged";
        QTest::newRow("PalmDoc record garbage") << with(2, QByteArray(200, '\xC0') + "\x80") << damaged << "damaged";
        QByteArray flags = records[0];
        flags[243] = 2;  // a size entry announced, but the records end in text
        QTest::newRow("trailing entries lie") << with(0, flags) << damaged << "damaged";
        b = good;
        b.encryption = 2;
        QTest::newRow("encrypted") << MobiBuilder::build(b) << int(Status::Code::Protected)
                                   << "This book is protected and cannot be opened.";
        b = good;
        b.compression = 3;
        QTest::newRow("unknown compression") << MobiBuilder::build(b) << int(Status::Code::Unsupported) << "compressed";
        b = good;
        b.compression = 17480;
        const int huff = int(MobiBuilder::records(good).size());  // right after the text
        QList<QByteArray> huffRecords = MobiBuilder::records(b);
        huffRecords[huff] = "HUFX" + huffRecords[huff].mid(4);
        QTest::newRow("Huffman table damaged") << PalmBuilder::database("BOOKMOBI", huffRecords) << damaged << "damaged";
        huffRecords = MobiBuilder::records(b);
        huffRecords[huff + 1].truncate(40);
        QTest::newRow("phrase list cut") << PalmBuilder::database("BOOKMOBI", huffRecords) << damaged << "damaged";
        QTest::newRow("not a MOBI book") << PalmBuilder::palmDocBook("text", 1) << int(Status::Code::Unsupported)
                                         << "not a MOBI";
    }
    void brokenAndHostileBooks()
    {
        QFETCH(QByteArray, mobi);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Converted c = convert(mobi);
        QCOMPARE(int(c.status.code()), code);
        QVERIFY2(QString::fromStdString(c.status.message()).contains(message), c.status.message().c_str());
        QCOMPARE(c.info, BookInfo());
    }

    // Lies that cost nothing: the text length, EXTH records longer than their block, a full name
    // outside record 0, and a KF8 book whose skeleton, fragment or flow table is missing or
    // damaged (its text shown as it stands). The words and the title still show.
    void harmlessLies_data()
    {
        QTest::addColumn<QByteArray>("mobi");
        QTest::addColumn<QByteArray>("words");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("title");
        const QByteArray words(ExpectedWords);
        MobiBuilder::Book b;
        b.text = paragraphs(true, 50);
        b.textLengthOverride = 0xFFFFFFF0;
        QTest::newRow("text length huge") << MobiBuilder::build(b) << words << 50 << "Full Name";
        b.textLengthOverride = MobiBuilder::None;
        b.exth = {{100, "Ada"}, {503, "Title"}};
        QList<QByteArray> records = MobiBuilder::records(b);
        const int exth = int(records[0].indexOf("EXTH"));
        records[0][exth + 12 + 8 + 3 + 4 + 3] = '\x7F';  // the second record's length
        QTest::newRow("EXTH length lies") << PalmBuilder::database("BOOKMOBI", records) << words << 50 << "Full Name";
        records = MobiBuilder::records(b);
        records[0][84] = '\x7F';
        QTest::newRow("full name outside record 0") << PalmBuilder::database("BOOKMOBI", records) << words << 50 << "Title";

        const QByteArray azw3 = readFile(QStringLiteral(FOLIUM_TEST_DATA "/data/forking.azw3"));
        const int record0 = int(qFromBigEndian<quint32>(azw3.constData() + 78));
        const QByteArray forking = "jumps brown alice fox party tea party queen lazy fox party";
        for (const auto &[name, field, value] : {std::tuple{"no skeleton table", 252, QByteArray("\xFF\xFF\xFF\xFF")},
                                                 {"fragment table not an index", 248, QByteArray("\0\0\0\1", 4)},
                                                 {"no flow table", 192, QByteArray("\xFF\xFF\xFF\xFF")}})
            QTest::newRow(name) << QByteArray(azw3).replace(record0 + field, 4, value) << forking << 1
                                << "The Garden of Forking Tests";
    }
    void harmlessLies()
    {
        QFETCH(QByteArray, mobi);
        QFETCH(QByteArray, words);
        const Converted c = convert(mobi);
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QTEST(int(c.html.count(words)), "count");
        QTEST(c.info.title, "title");
    }

    // Books made by another program from one EPUB: an old-style MOBI and a KF8 book. Both give
    // the metadata, the contents in the text's order at their headings, and the words.
    void booksMadeElsewhere_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("chapters");
        QTest::addColumn<int>("sectionLevel");  // the old-style index of this book is flat
        QTest::newRow("MOBI") << "forking.mobi" << 1 << 0;
        QTest::newRow("AZW3 (KF8)") << "forking.azw3" << 7 << 1;
    }
    void booksMadeElsewhere()
    {
        QFETCH(QString, file);
        QFETCH(int, chapters);
        const Converted c = convert(readFile(QStringLiteral(FOLIUM_TEST_DATA "/data/") + file));
        QVERIFY2(c.status.isOk(), (c.status.message() + " " + c.status.detail()).c_str());
        QCOMPARE(c.info.title, QStringLiteral("The Garden of Forking Tests"));
        QCOMPARE(c.info.author, QStringLiteral("Ada Example"));
        QCOMPARE(c.info.language, QStringLiteral("en"));
        QCOMPARE(c.info.chapters, chapters);
        QStringList titles;
        for (const BookInfo::Entry &entry : std::as_const(c.info.contents)) {
            titles.append(entry.title);
            const QByteArray after = c.html.mid(entry.position, 400);
            QVERIFY2(after.contains(entry.title.toUtf8()), after.constData());
        }
        QCOMPARE(titles, QStringList({"Chapter 1", "Chapter 2", "Chapter 3", "Chapter 4", "The Section", "Chapter 5"}));
        QTEST(c.info.contents[4].level, "sectionLevel");
        QVERIFY(c.html.contains("jumps brown alice fox party tea party queen lazy fox party"));
        QVERIFY(!c.html.contains("kindle:") && !c.html.contains("filepos"));
        QCOMPARE(unresolvedLinks(c.html), QStringList());  // every link leads to an anchor that is there
    }

    void huffCdicRoundTrip_data()
    {
        QTest::addColumn<QList<QByteArray>>("records");
        QTest::newRow("prose") << QList<QByteArray>{sampleText(4096, 1), sampleText(4096, 2), sampleText(100, 3)};
        QTest::newRow("every byte") << QList<QByteArray>{sampleText(4096, 4, true), QByteArray()};
        QTest::newRow("one word") << QList<QByteArray>{QByteArray(3000, 'a'), "a"};
    }
    void huffCdicRoundTrip()
    {
        QFETCH(QList<QByteArray>, records);
        const MobiBuilder::HuffCdicEncoded encoded = MobiBuilder::huffCdicCompress(records);
        HuffCdic decoder;
        QVERIFY2(decoder.load(encoded.huff, encoded.cdics), qPrintable(decoder.error()));
        for (int k = 0; k < records.size(); ++k) {
            QByteArray out;
            QVERIFY2(decoder.decompress(encoded.records[k], out, 1 << 16), qPrintable(decoder.error()));
            QCOMPARE(out, records[k]);
        }
        // An output bound smaller than the record is refused, not passed.
        QByteArray out;
        QVERIFY(!decoder.decompress(encoded.records[0], out, int(records[0].size()) / 2));
        QVERIFY(out.size() <= records[0].size() / 2);
    }

    // Damaged codes and phrases: every outcome bounded, never a crash or a hang.
    void huffCdicDamage()
    {
        const QList<QByteArray> records{sampleText(4096, 7), sampleText(4096, 8)};
        const MobiBuilder::HuffCdicEncoded encoded = MobiBuilder::huffCdicCompress(records);
        QRandomGenerator random(99);
        for (int round = 0; round < 200; ++round) {
            QByteArray huff = encoded.huff, cdic = encoded.cdics[0], record = encoded.records[0];
            QByteArray &target = round % 3 == 0 ? huff : round % 3 == 1 ? cdic : record;
            for (int i = 0; i < 4; ++i)
                target[int(random.bounded(int(target.size())))] = char(random.bounded(256));
            HuffCdic decoder;
            if (!decoder.load(huff, QList<QByteArray>{cdic} + encoded.cdics.mid(1)))
                continue;
            QByteArray out;
            decoder.decompress(record, out, 8192);
            QVERIFY(out.size() <= 8192);
        }
    }
};

QTEST_MAIN(tst_MobiBook)
#include "tst_mobibook.moc"
