// FictionBook 2 books made with the test builder and one made by a third-party tool: what the
// reader shows of them, their metadata and contents, note links that lead to anchors of the copy,
// declared code pages, the zipped form, and every broken or hostile book refused with a message.
#include "BookConversion.h"
#include "Fb2Book.h"
#include "Fb2Builder.h"
#include "LayoutFixture.h"
#include "SourcePreparer.h"
#include "ZipBuilder.h"

#include <QtTest>

namespace {

Converted convert(const QByteArray &book, bool zipped = false, uint64_t limit = CopyMeter::DefaultLimit)
{
    return convertBook(book, limit, [zipped](int source, int out, CopyMeter &meter, BookInfo &info) {
        return Fb2Book::convert(source, zipped, out, meter, info);
    });
}

// Every kind of element a book's text has: nested sections, an untitled one, an epigraph, a
// poem, a citation, pictures in a line and on their own, links to a note, into the text, out to
// the web and to nowhere, and a picture stored in the book.
Fb2Builder richBook()
{
    using B = Fb2Builder;
    Fb2Builder book;
    book.title("Tales &amp; Verses")
        .author("Ada", "Lovelace", "B.")
        .author({}, {}, {}, "Nick")
        .body(
            "<title><p>Tales</p><p>and Verses</p></title>"
            "<epigraph><p>Said once.</p><text-author>Someone</text-author></epigraph>" +
            B::section(
                "One",
                "<p>First <emphasis>words</emphasis> here.</p><empty-line/><subtitle>A subtitle</subtitle>"
                "<section id=\"s11\"><title><p>One point one</p></title><p>Deeper<a l:href=\"#n1\" "
                "type=\"note\">[1]</a> and <a l:href=\"#\xc3\xbc\">there</a>.</p>" +
                    B::section("Deepest", "<p id=\"\xc3\xbc\">Bottom.</p>") + "</section>") +
            B::section("Two",
                       "<poem><title><p>Poem</p></title><stanza><v>Line one</v><v>Line two</v></stanza>"
                       "<stanza><v>Line three</v></stanza></poem><cite><p>Cited</p><text-author>Writer"
                       "</text-author></cite><p>A picture <image l:href=\"#pic\"/> inline, "
                       "<a l:href=\"http://example.org/?a=1&amp;b=2\">web</a>, "
                       "<a l:href=\"javascript:x()\">script</a>.</p><image l:href=\"#pic\" alt=\"A map\"/>") +
            "<section><p>Untitled.</p></section>")
        .body("<section id=\"n1\"><title><p>1</p></title><p>The note. <a "
              "l:href=\"#s11\">Back</a></p></section>",
              "notes")
        .binary("pic", QByteArray(3000, 'P'));
    return book;
}

} // namespace

class tst_Fb2Book : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The words in reading order, each block on its own, the notes after the text; the picture's
    // data nowhere.
    void shownAsTheReaderShowsIt()
    {
        LayoutFixture f;
        f.open(QStringLiteral("fb2-tales.fb2"), richBook().build());  // a name no other test prepares
        QVERIFY(f.document.isBook());
        QCOMPARE(f.lines(2000),
                 (QStringList{"Tales", "and Verses|", "Said once.|", "Someone|",
                              "One|", "First words here.|", QString::fromUtf8("\u00A0|"), "A subtitle|",
                              "One point one|", "Deeper[1] and there.|", "Deepest|", "Bottom.|",
                              "Two|", "Poem|", "Line one", "Line two|", "Line three|", "Cited|", "Writer|",
                              "A picture [picture] inline, web, script.|", "[A map]|", "Untitled.|",
                              "1|", "The note. Back|", "|"}));
    }

    // Metadata from title-info only; a contents entry for each titled section at its heading,
    // nested by depth, and one for the notes; the same bytes every time; links that lead somewhere.
    void metadataContentsAndLinks()
    {
        const Converted c = convert(richBook().build());
        QVERIFY2(c.status.isOk(), c.status.message().c_str());
        QCOMPARE(c.info.title, QStringLiteral("Tales & Verses"));
        QCOMPARE(c.info.author, QStringLiteral("Ada B. Lovelace, Nick"));
        QCOMPARE(c.info.language, QStringLiteral("en"));
        QCOMPARE(c.info.chapters, 3);
        const QList<std::tuple<QString, int, QByteArray>> expected{
            {"One", 0, "<h1>One</h1>"},
            {"One point one", 1, "<h2>One point one</h2>"},
            {"Deepest", 2, "<h3>Deepest</h3>"},
            {"Two", 0, "<h1>Two</h1>"},
            {"Notes", 0, "<div><a name=\"n1\">"}};
        QCOMPARE(c.info.contents.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            const auto &[title, level, at] = expected[i];
            QCOMPARE(c.info.contents[i].title, title);
            QCOMPARE(c.info.contents[i].level, level);
            QVERIFY2(c.html.mid(c.info.contents[i].position).startsWith(at),
                     c.html.mid(c.info.contents[i].position, 40));
        }
        // Neither the annotation nor document-info's author is part of the text.
        QVERIFY(!c.html.contains("Not part of the text") && !c.html.contains("maker"));
        QCOMPARE(convert(richBook().build()).html, c.html);

        // Links within the book lead to anchors the copy has; web addresses stay; others are no link.
        QCOMPARE(unresolvedLinks(c.html), QStringList());
        QVERIFY(c.html.contains("<a href=\"#n1\">[1]</a>"));
        QVERIFY(c.html.contains("<a href=\"#%C3%BC\">there</a>"));
        QVERIFY(c.html.contains("<a href=\"#s11\">Back</a>"));
        QVERIFY(c.html.contains("<a href=\"http://example.org/?a=1&amp;b=2\">web</a>"));
        QVERIFY(c.html.contains("<a>script</a>"));
        QVERIFY(c.html.indexOf("<a name=\"n1\">") > c.html.indexOf("Untitled."));
    }

    void declaredEncodings_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QByteArray>("word");  // "Привет" or "Café" in that encoding
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("zipped");
        const QString privet = QString::fromUtf8("Привет");
        QTest::newRow("windows-1251 zipped")
            << QByteArray("Windows-1251") << QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2") << privet << true;
        QTest::newRow("koi8-r") << QByteArray("koi8-r") << QByteArray("\xf0\xd2\xc9\xd7\xc5\xd4") << privet
                                << false;
        QTest::newRow("ISO-8859-1") << QByteArray("ISO-8859-1") << QByteArray("Caf\xe9")
                                    << QString::fromUtf8("Café") << false;
    }
    void declaredEncodings()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QByteArray, word);
        QFETCH(QString, expected);
        QFETCH(bool, zipped);
        Fb2Builder book;
        book.encoding(encoding).title(word).author(word, "X").body(
            Fb2Builder::section(word, "<p>" + word + "!</p>"));
        const Converted c = zipped ? convert(book.zipped(), true) : convert(book.build());
        QVERIFY2(c.status.isOk(), c.status.message().c_str());
        QCOMPARE(c.info.title, expected);
        QCOMPARE(c.info.author, expected + QStringLiteral(" X"));
        QCOMPARE(c.info.contents.value(0).title, expected);
        QVERIFY(c.html.contains("<p>" + expected.toUtf8() + "!</p>"));
    }

    void picturesAreSkipped_data()
    {
        QTest::addColumn<int>("cut");  // where the end tag starts, before a 64 KiB boundary of the reading
        for (const int cut : {0, 1, 2, 5, 7, 8, 9})
            QTest::addRow("end tag %d bytes before a boundary", cut) << cut;
    }
    // Picture data cost nothing in the copy, wherever the reading's chunks cut their end tag; what
    // follows a picture is read on.
    void picturesAreSkipped()
    {
        QFETCH(int, cut);
        const QByteArray book = Fb2Builder().body("<p>text</p>").build();
        const QByteArray start =
            book.left(book.indexOf("</FictionBook>")) + "<binary id=\"p\" content-type=\"image/png\">";
        const QByteArray data(int(65536 - cut - start.size()), 'A');
        const Converted c = convert(start + data +
                                    "</binary ><binary id=\"q\"/><body name=\"notes\"><p>after</p></body>"
                                    "</FictionBook>");
        QVERIFY2(c.status.isOk(), c.status.message().c_str());
        QVERIFY(c.html.size() < 300 && c.html.contains("<p>after</p>"));
    }

    void brokenAndHostileBooks_data()
    {
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<bool>("zipped");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QByteArray good = Fb2Builder().body(Fb2Builder::section("One", "<p>text</p>")).build();
        const int damaged = int(Status::Code::Damaged);
        QTest::newRow("not XML") << QByteArray("Just some words, no book.") << false << damaged
                                 << "XML breaks at line 1";
        QTest::newRow("empty") << QByteArray() << false << damaged << "ends before its text does";
        QTest::newRow("other XML") << QByteArray("<?xml version=\"1.0\"?><html><body><p>x</p></body></html>")
                                   << false << int(Status::Code::Unsupported) << "not a FictionBook file";
        QTest::newRow("unknown encoding")
            << QByteArray("<?xml version=\"1.0\" "
                          "encoding=\"x-no-such\"?><FictionBook><body><p>caf\xe9</p></body></FictionBook>")
            << false << int(Status::Code::Unsupported) << "an encoding this reader does not know (x-no-such)";
        QTest::newRow("cut short") << good.left(good.size() - 40) << false << damaged
                                   << "ends before its text does";
        QTest::newRow("no body") << QByteArray("<FictionBook><description/></FictionBook>") << false
                                 << damaged << "no body";
        QTest::newRow("entity expansion")
            << QByteArray(
                   "<?xml version=\"1.0\"?><!DOCTYPE FictionBook [<!ENTITY a "
                   "\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">"
                   "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c "
                   "\"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                   "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]><FictionBook><body><p>&d;&d;&d;&d;&d;</p>"
                   "</body></FictionBook>")
            << false << damaged << "XML breaks";
        QTest::newRow("nested too deeply") << Fb2Builder()
                                                  .body(QByteArray("<section>").repeated(300) + "<p>x</p>" +
                                                        QByteArray("</section>").repeated(300))
                                                  .build()
                                           << false << damaged << "nested too deeply";
        QTest::newRow("text after the book") << good + "<FictionBook/>" << false << damaged << "XML breaks";
        QTest::newRow("zip with no file")
            << zipArchive({ZipMember{"folder/", {}, false, 0x10}}) << true << damaged << "holds no book";
        QTest::newRow("not a zip") << QByteArray("PK\x03\x04 no zip archive at all") << true
                                   << int(Status::Code::Unreadable) << "not a readable zip file";
        QByteArray damagedZip = Fb2Builder().body("<p>" + sampleText(20000, 3) + "</p>").zipped();
        damagedZip[damagedZip.size() / 2] = char(damagedZip[damagedZip.size() / 2] ^ 0x55);
        QTest::newRow("zip damaged") << damagedZip << true << damaged << "cannot be unpacked";
    }
    void brokenAndHostileBooks()
    {
        QFETCH(QByteArray, book);
        QFETCH(bool, zipped);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Converted c = convert(book, zipped);
        QCOMPARE(int(c.status.code()), code);
        QVERIFY2(QString::fromStdString(c.status.message()).contains(message), c.status.message().c_str());
        QCOMPARE(c.info, BookInfo());  // nothing half-made
    }

    // Hostile parts that still leave a book: a megabyte id and link that no anchor is made for,
    // an external entity that is never loaded, an id that would break out of the anchor's quotes.
    void hostilePartsLeftOut()
    {
        const QByteArray huge(1 << 20, 'i');
        const Converted c = convert(
            "<?xml version=\"1.0\"?><!DOCTYPE FictionBook [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
            "<FictionBook xmlns:l=\"http://www.w3.org/1999/xlink\"><body><p id=\"" +
            huge + "\">a <a l:href=\"#" + huge +
            "\">b</a> &x; <a l:href=\"#q\">c</a></p><p id=\"q&quot;&gt;&lt;x\">d</p></body></FictionBook>");
        QVERIFY2(c.status.isOk(), c.status.message().c_str());
        QVERIFY(c.html.size() < 1000);
        QVERIFY(c.html.contains("<a>b</a>") && !c.html.contains("root:"));
        QVERIFY(c.html.contains("<a name=\"q&quot;&gt;&lt;x\"></a><p>d</p>"));
    }

    // The size limit stops a book whose copy grows past it (that the preparer then keeps nothing:
    // tst_epubbook); a .fb2.zip, and a .zip whose first file is an .fb2, are prepared as books and
    // reused.
    void limitAndPreparer()
    {
        const QByteArray book =
            Fb2Builder().body(("<p>" + QByteArray(100, 'x') + "</p>").repeated(2000)).build();
        QCOMPARE(convert(book, false, 100000).status.code(), Status::Code::TooLarge);

        TestFolder folder;
        for (const QString &name : {QStringLiteral("book.fb2.zip"), QStringLiteral("book.zip")}) {
            const QString path = folder.write(name, richBook().zipped());
            const SourcePreparer::Result first = SourcePreparer(folder.path()).prepare(path);
            QVERIFY2(first.status.isOk(), first.status.message().c_str());
            QVERIFY(first.book && first.info.title == QStringLiteral("Tales & Verses"));
            const SourcePreparer::Result again = SourcePreparer(folder.path()).prepare(path);
            QCOMPARE(again.textPath, first.textPath);
            QVERIFY(again.info == first.info);
            QCOMPARE(QFileInfo(again.textPath).lastModified(), QFileInfo(first.textPath).lastModified());
        }
    }

    // A book made by a third-party converter: chapters, footnotes and non-ASCII words.
    void bookFromAnotherTool()
    {
        const Converted c = convert(readFile(QStringLiteral(FOLIUM_TEST_DATA "/pandoc.fb2")));
        QVERIFY2(c.status.isOk(), c.status.message().c_str());
        QCOMPARE(c.info.title, QString::fromUtf8("Über Straßen und Wege"));
        QCOMPARE(c.info.author, QString::fromUtf8("Ольга Петрова, Jean Dupont"));
        QCOMPARE(c.info.language, QStringLiteral("de"));
        QStringList titles;
        for (const BookInfo::Entry &e : c.info.contents)
            titles << QString(e.level, QLatin1Char(' ')) + e.title;
        QCOMPARE(titles, (QStringList{"Erstes Kapitel", " Ein Abschnitt", "Zweites Kapitel",
                                      "Drittes Kapitel", "Notes"}));
        QCOMPARE(unresolvedLinks(c.html), QStringList());
        QVERIFY(c.html.contains("<a href=\"#n2\">[2]</a>"));
        QVERIFY(c.html.contains("Привет, мир!"));
    }
};

QTEST_MAIN(tst_Fb2Book)
#include "tst_fb2book.moc"
