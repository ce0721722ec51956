// EPUB books made with the test builder: reading order, metadata and contents, links rewritten to
// anchors, what the markup reader then shows, and every broken or hostile book refused with a
// message that names the problem.
#include "BookConversion.h"
#include "EpubBook.h"
#include "EpubBuilder.h"
#include "LayoutFixture.h"
#include "SourcePreparer.h"

#include <QtTest>

namespace {

Converted convert(const QByteArray &epub)
{
    return convertBook(epub, CopyMeter::DefaultLimit, EpubBook::convert);
}

// A book of three chapters, one of them out of the reading order, with links across chapters,
// into sections, out to the web and to a member that is no chapter.
EpubBuilder linkedBook(EpubBuilder::Version version)
{
    EpubBuilder book(version);
    book.metadata("Links &amp; Anchors", "Ada Author", "de")
        .chapter("text/one.xhtml", "<h1 id=\"top\">One</h1><p>See <a href=\"two.xhtml#sec\">the section</a>, "
                                   "<a href=\"../notes.xhtml\">the notes</a>, <a href=\"http://example.org/x?a=1&amp;b=2\">"
                                   "the web</a>, <a href=\"../images/map.png\">a map</a> and "
                                   "<a href=\"javascript:alert(1)\">a script</a>.</p>")
        .chapter("notes.xhtml", "<p id=\"n1\">A note. <a href=\"text/one.xhtml\">Back</a></p>", false)
        .chapter("text/two.xhtml", "<h1>Two</h1><p>before</p><h2 id=\"sec\">Section</h2><p>after "
                                   "<a href=\"#top\">same chapter, no such id</a></p>")
        .manifestItem("images/map.png", "image/png")
        .member("OEBPS/images/map.png", "not really a picture")
        .contents({{"One", "text/one.xhtml", 0}, {"Two", "text/two.xhtml", 0}, {"Section", "text/two.xhtml#sec", 1}});
    return book;
}

} // namespace

class tst_EpubBook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readingOrderMetadataAndContents_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("EPUB 2 with an NCX") << int(EpubBuilder::Version::Epub2);
        QTest::newRow("EPUB 3 with a navigation document") << int(EpubBuilder::Version::Epub3);
    }
    // Linear chapters first, then the rest, each behind its start anchor; the contents point at
    // the anchors of their targets, nested levels kept. Links within the book lead to anchors, web
    // addresses stay, anything else is no link; the element a link targets gets the anchor.
    void readingOrderMetadataAndContents()
    {
        QFETCH(int, version);
        const Converted c = convert(linkedBook(EpubBuilder::Version(version)).build());
        QVERIFY2(c.status.isOk(), c.status.detail().c_str());
        QCOMPARE(c.info.title, QStringLiteral("Links & Anchors"));
        QCOMPARE(c.info.author, QStringLiteral("Ada Author"));
        QCOMPARE(c.info.language, QStringLiteral("de"));
        QCOMPARE(c.info.chapters, 3);
        const qsizetype one = c.html.indexOf("<a name=\"s0\">"), two = c.html.indexOf("<a name=\"s1\">"),
                        notes = c.html.indexOf("<a name=\"s2\">");
        QVERIFY(one > 0 && one < c.html.indexOf(">One<") && one < two && two < notes);
        QVERIFY(c.html.indexOf(">Two<") > two && c.html.indexOf("A note.") > notes);
        QList<QPair<QString, int>> titles;
        for (const BookInfo::Entry &entry : c.info.contents) {
            titles.append({entry.title, entry.level});
            QVERIFY(c.html.mid(entry.position).startsWith("<a name=\""));
        }
        QCOMPARE(titles, (QList<QPair<QString, int>>{{"One", 0}, {"Two", 0}, {"Section", 1}}));
        QVERIFY(c.html.mid(c.info.contents[2].position).startsWith("<a name=\"s1.sec\"></a><h2>Section</h2>"));
        QCOMPARE(convert(linkedBook(EpubBuilder::Version(version)).build()).html, c.html);  // the same bytes

        QVERIFY(c.html.contains("<a href=\"#s1.sec\">the section</a>"));
        QVERIFY(c.html.contains("<a href=\"#s2\">the notes</a>"));
        QVERIFY(c.html.contains("<a href=\"http://example.org/x?a=1&amp;b=2\">the web</a>"));
        QVERIFY(c.html.contains("<a>a map</a>") && c.html.contains("<a>a script</a>"));
        QVERIFY(c.html.contains("<a href=\"#s0\">Back</a>"));
        QVERIFY(!c.html.contains("margin"));  // styles are left out
    }

    // What the markup reader shows of a book: pictures as their alt text, named entities without
    // a DTD, pre's line feeds kept and no others, a chapter that is no XML still read, and
    // right-to-left words in their logical order.
    void shownAsTheReaderShowsIt()
    {
        EpubBuilder book;
        book.chapter("a.xhtml", "<p>caf&eacute;&nbsp;au lait <img src=\"x.png\" alt=\"A  cup\"/> "
                                "<img src=\"y.png\"/></p>\n<p>next\nline</p><pre>a\n b</pre><script>hidden()</script>")
            .rawChapter("b.xhtml", "<html><body><p>broken <b>markup &nbsp; here</p></body></html>")
            .chapter("c.xhtml", "<p dir=\"rtl\">\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd</p>");
        LayoutFixture f;
        f.open(QStringLiteral("book.epub"), book.build());
        QVERIFY(f.document.isBook());
        QCOMPARE(f.lines(2000), (QStringList{QString::fromUtf8("café\u00A0au lait [A cup] [picture]|"),
                                             "next line|", "a", QString::fromUtf8("\u00A0b|"), QString::fromUtf8("broken markup \u00A0 here|"),
                                             QString::fromUtf8("\u05e9\u05dc\u05d5\u05dd \u05e2\u05d5\u05dc\u05dd|"), "|"}));
    }

    void brokenAndHostileBooks_data()
    {
        QTest::addColumn<QByteArray>("epub");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        using B = EpubBuilder;
        const QByteArray chapter = "<p>text</p>";
        auto book = [&chapter] { return B().chapter("c.xhtml", chapter); };
        QTest::newRow("no container") << book().without("META-INF/container.xml").build() << int(Status::Code::Damaged)
                                       << "META-INF/container.xml";
        QTest::newRow("no package") << book().without("OEBPS/content.opf").build() << int(Status::Code::Damaged)
                                    << "OEBPS/content.opf is missing";
        QTest::newRow("chapter missing") << book().without("OEBPS/c.xhtml").build() << int(Status::Code::Damaged)
                                         << "OEBPS/c.xhtml is missing";
        QTest::newRow("package not XML") << book().member("OEBPS/content.opf", "<package><metadata>").build()
                                         << int(Status::Code::Damaged) << "content.opf is not well-formed XML";
        QTest::newRow("no chapters") << B().build() << int(Status::Code::Damaged) << "lists no chapters";
        QTest::newRow("package outside the book")
            << book().member("META-INF/container.xml", "<container><rootfiles><rootfile full-path=\"../../etc/x.opf\"/>"
                                                       "</rootfiles></container>").build()
            << int(Status::Code::Damaged) << "outside itself";
        QTest::newRow("chapter outside the book")
            << B().chapter("../../../evil.xhtml", chapter).build() << int(Status::Code::Damaged) << "outside itself";
        QTest::newRow("entity expansion")
            << book().member("OEBPS/content.opf",
                             "<!DOCTYPE p [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;"
                             "&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;"
                             "&c;&c;&c;&c;&c;&c;\">]><package><metadata>&d;&d;&d;&d;</metadata></package>").build()
            << int(Status::Code::Damaged) << "not well-formed";
        QTest::newRow("content encrypted")
            << book().member("META-INF/encryption.xml",
                             "<encryption><EncryptedData><EncryptionMethod Algorithm=\"http://www.w3.org/2001/04/"
                             "xmlenc#aes128-cbc\"/><CipherData><CipherReference URI=\"OEBPS/c.xhtml\"/></CipherData>"
                             "</EncryptedData></encryption>").build()
            << int(Status::Code::Protected) << "This book is protected and cannot be opened.";
        QTest::newRow("package too large")
            << book().member("OEBPS/content.opf", QByteArray(17 * 1024 * 1024, ' ')).build() << int(Status::Code::TooLarge)
            << "too large: OEBPS/content.opf";
        QTest::newRow("not a zip") << QByteArray("PK\x03\x04 this is not a zip archive at all") << int(Status::Code::Unreadable)
                                   << "not a readable EPUB";
        // Fonts obfuscated as EPUB allows do not make a book protected.
        QTest::newRow("fonts obfuscated, not encrypted")
            << book().manifestItem("f.otf", "application/vnd.ms-opentype")
                   .member("META-INF/encryption.xml",
                           "<encryption><EncryptedData><EncryptionMethod Algorithm=\"http://www.idpf.org/2008/"
                           "embedding\"/><CipherData><CipherReference URI=\"OEBPS/f.otf\"/></CipherData>"
                           "</EncryptedData></encryption>").build()
            << int(Status::Code::Ok) << "";
    }
    void brokenAndHostileBooks()
    {
        QFETCH(QByteArray, epub);
        QFETCH(int, code);
        QFETCH(QString, message);
        const Converted c = convert(epub);
        QCOMPARE(int(c.status.code()), code);
        QVERIFY2(QString::fromStdString(c.status.message()).contains(message), c.status.message().c_str());
    }

    // The size limit stops a book whose text grows past it, and the preparer keeps nothing of it;
    // a zip that is an EPUB inside is prepared as a book, and reused with its description.
    void limitAndReuse()
    {
        const QByteArray big = ("<p>" + QByteArray(100, 'x') + "</p>").repeated(2000);
        const QByteArray epub = EpubBuilder().chapter("c.xhtml", big).build();
        TestFolder folder;
        SourcePreparer limited(folder.path());
        limited.setMaxCopySize(100000);
        const QString path = folder.write(QStringLiteral("book.zip"), epub);
        QCOMPARE(limited.prepare(path).status.code(), Status::Code::TooLarge);
        QCOMPARE(QDir(folder.filePath(QStringLiteral("folium"))).entryList(QDir::Files | QDir::Hidden).size(), 0);

        SourcePreparer preparer(folder.path());
        const SourcePreparer::Result first = preparer.prepare(path);
        QVERIFY(first.status.isOk() && first.book && !first.plucker);
        const SourcePreparer::Result again = SourcePreparer(folder.path()).prepare(path);
        QCOMPARE(again.textPath, first.textPath);
        QVERIFY(again.book && again.info == first.info);
        QCOMPARE(QFileInfo(again.textPath).lastModified(), QFileInfo(first.textPath).lastModified());
    }
};

QTEST_MAIN(tst_EpubBook)
#include "tst_epubbook.moc"
