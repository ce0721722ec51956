// Bookmark names, page numbers and the generated table of contents.
#include "BookmarkFile.h"

static QList<BookmarkRecord> recordsOf(const QString &path)
{
    QList<BookmarkRecord> records;
    readBookmarkRecords(path, records);
    return records;
}
#include "ViewFixture.h"

#include <QtTest>

class tst_Contents : public QObject
{
    Q_OBJECT

    static QStringList flat(const QString &path)
    {
        QStringList out;
        for (const BookmarkRecord &r : recordsOf(path))
            out << r.title + QLatin1Char('@') + r.position;
        return out;
    }

private Q_SLOTS:
    void bookmarkNames_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("six words with the sixth space") << QByteArray("one two three four five six seven eight")
                                                        << "one two three four five six ";
        QTest::newRow("leading spaces become one") << QByteArray("  lead words") << " lead words";
        QTest::newRow("joined lines lose the line feed") << QByteArray("first line\nnext one") << "first linenext one";
        QTest::newRow("runs of spaces") << QByteArray("a    b") << "a b";
        QTest::newRow("tags appear as read") << QByteArray("<b>x</b> y") << "<b>x</b> y";
    }
    void bookmarkNames()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, name);
        ViewFixture f;
        QCOMPARE(f.view->getBookmarkName(), QString());  // no document yet
        f.view->fileOpen(f.write(QStringLiteral("n.txt"), text));
        const qint64 end = f.view->file.pos();
        QCOMPARE(f.view->getBookmarkName(), name);
        QCOMPARE(f.view->file.pos(), end);
    }

    void contents_data()
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
    }
    void contents()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(QStringList, entries);
        ViewFixture f(300, 200);
        f.view->fileOpen(f.write(name, text));
        const qint64 position = f.view->file.pos();
        const qint64 start = f.view->pageStart.position;
        const QString path = f.dir.filePath(QStringLiteral("out.cnt"));
        f.view->generateContents(path);
        QCOMPARE(flat(path), entries);
        QCOMPARE(f.view->file.pos(), position);
        QCOMPARE(f.view->pageStart.position, start);
        for (const BookmarkRecord &r : recordsOf(path))
            QCOMPARE(r.paragraph, QStringLiteral("1"));
    }

    void contentsPageNumbersFollowTheHeading()
    {
        ViewFixture f(300, 200);
        QByteArray text(10000, 'x');
        text += "\n\nLate heading\n";
        f.view->fileOpen(f.write(QStringLiteral("late.txt"), text));
        const QString path = f.dir.filePath(QStringLiteral("late.cnt"));
        f.view->generateContents(path);
        const QList<BookmarkRecord> records = recordsOf(path);
        QCOMPARE(records.size(), 1);
        QCOMPARE(records[0].page, QStringLiteral("6"));  // 10015 x 5 / 10015 + 1
    }
};

QTEST_MAIN(tst_Contents)
#include "tst_contents.moc"
