// The table of contents found in one pass: named HTML anchors, or short lines after blank lines.
#include "BookmarkFile.h"
#include "ContentsScanner.h"
#include "Document.h"
#include "TestFiles.h"

#include <QtTest>

namespace {
// "title@position" of every entry found in `text` saved as `name`, and the records themselves.
QStringList scan(const QString &name, const QByteArray &text, QList<BookmarkRecord> *records = nullptr)
{
    TestFolder folder;
    Document document;
    document.open(folder.write(name, text));
    document.setReadAsHtml(false);
    const QString path = folder.filePath(QStringLiteral("out.cnt"));
    BookmarkFileWriter writer(path);
    ContentsScanner(document).scan(writer, [](int) { return true; });
    writer.commit();
    QList<BookmarkRecord> read;
    readBookmarkRecords(path, read);
    QStringList out;
    for (const BookmarkRecord &r : std::as_const(read))
        out << r.title + QLatin1Char('@') + r.position;
    if (records)
        *records = read;
    return out;
}
} // namespace

class tst_ContentsScanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headings_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("plain headings") << "book.txt"
                                        << QByteArray("Title\n\nChapter 1\nsome text\n\n\n  Chapter 2\nmore\n")
                                        << QStringList{"Chapter 1@7", "Chapter 2@29"};
        QTest::newRow("fifty characters is a heading, fifty-one is not")
            << "len.txt" << QByteArray("x\n\n" + QByteArray(51, 'a') + "\n\n" + QByteArray(50, 'b') + "\n")
            << QStringList{QString(50, u'b') + "@56"};
        QTest::newRow("a line right after a heading is not one") << "d.txt" << QByteArray("\nHead\nNext\n")
                                                                 << QStringList{"Head@1"};
        QTest::newRow("carriage returns") << "cr.txt" << QByteArray("x\r\n\r\nPart\r\n") << QStringList{"Part@5"};
        QTest::newRow("no headings") << "none.txt" << QByteArray("just\ntext\n") << QStringList{};
        QTest::newRow("html name anchors")
            << "a.html" << QByteArray("<A NAME=\"c1\">Chapter One</a> text <a href=x>link</a>"
                                      "<A\tname=y>tab</a><a name=z>The <b>One</b></A><a name=open>never")
            << QStringList{"Chapter One@13", "The One@79"};
        QTest::newRow("a second anchor keeps the text before it") << "n.html" << QByteArray("<a name=\"x\">Foo<a name=\"y\">Bar</a>")
                                                                  << QStringList{"FooBar@27"};
        QTest::newRow("name far into a long tag") << "long.html" << "<a " + QByteArray(5000, 'x') + " name=z>Far</a>"
                                                  << QStringList{"Far@5011"};
    }
    void headings()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, entries);
        QList<BookmarkRecord> records;
        QCOMPARE(scan(name, text, &records), entries);
        for (const BookmarkRecord &r : std::as_const(records))
            QCOMPARE(r.paragraph, QStringLiteral("1"));
    }

    void pageNumbersFollowTheHeading()
    {
        QList<BookmarkRecord> records;
        scan(QStringLiteral("late.txt"), QByteArray(10000, 'x') + "\n\nLate heading\n", &records);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].page, QStringLiteral("6"));  // 10015 x 5 / 10015 + 1
    }
};

QTEST_MAIN(tst_ContentsScanner)
#include "tst_contentsscanner.moc"
