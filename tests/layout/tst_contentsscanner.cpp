// The table of contents found in one pass: named HTML anchors, or short lines after blank lines.
#include "BookmarkFile.h"
#include "ContentsScanner.h"
#include "Document.h"
#include "TestFiles.h"

#include <QtTest>

namespace {
// "title@position/page" of every entry found in `text` saved as `name`.
QStringList scan(const QString &name, const QByteArray &text)
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
        out << r.title + QLatin1Char('@') + r.position + QLatin1Char('/') + r.page;
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
        auto row = [](const char *tag, const char *name, const QByteArray &text, const QStringList &entries) {
            QTest::newRow(tag) << QString(name) << text << entries;
        };
        row("plain headings", "book.txt", "Title\n\nChapter 1\nsome text\n\n\n  Chapter 2\nmore\n",
            {"Chapter 1@7/1", "Chapter 2@29/1"});
        row("fifty characters is a heading, fifty-one is not", "len.txt",
            "x\n\n" + QByteArray(51, 'a') + "\n\n" + QByteArray(50, 'b') + "\n",
            {QString(50, u'b') + "@56/1"});
        row("a line right after a heading is not one", "d.txt", "\nHead\nNext\n", {"Head@1/1"});
        row("carriage returns", "cr.txt", "x\r\n\r\nPart\r\n", {"Part@5/1"});
        row("no headings", "none.txt", "just\ntext\n", {});
        row("html name anchors", "a.html",
            "<A NAME=\"c1\">Chapter One</a> text <a href=x>link</a><A\tname=y>tab</a>"
            "<a name=z>The <b>One</b></A><a name=open>never",
            {"Chapter One@13/1", "The One@79/1"});
        row("a second anchor keeps the text before it", "n.html", "<a name=\"x\">Foo<a name=\"y\">Bar</a>",
            {"FooBar@27/1"});
        row("name far into a long tag", "long.html", "<a " + QByteArray(5000, 'x') + " name=z>Far</a>",
            {"Far@5011/3"});
        // The page follows the heading: 10015 x 5 / 10015 + 1.
        row("late heading", "late.txt", QByteArray(10000, 'x') + "\n\nLate heading\n",
            {"Late heading@10002/6"});
    }
    void headings()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QTEST(scan(name, text), "entries");
    }
};

QTEST_MAIN(tst_ContentsScanner)
#include "tst_contentsscanner.moc"
