// Paging forward and back: the ring of page starts, computed previous pages, and their bounds.
#include "ViewFixture.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
// Prose with indented paragraph starts, wrapped at about 70 columns like a plain-text book.
QByteArray prose(int paragraphs, bool marks = true, quint32 seed = 5)
{
    QRandomGenerator rng(seed);
    QByteArray text;
    for (int p = 0; p < paragraphs; ++p) {
        if (marks)
            text += "  ";
        const int words = 10 + rng.bounded(150);
        int column = 0;
        for (int w = 0; w < words; ++w) {
            const int len = 1 + rng.bounded(10);
            for (int k = 0; k < len; ++k)
                text += char('a' + rng.bounded(26));
            column += len + 1;
            if (column > 70) {
                text += '\n';
                column = 0;
            } else {
                text += ' ';
            }
        }
        text += ".\n";
    }
    return text;
}
} // namespace

class tst_Paging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backThroughTheRingRetracesForwardPages()
    {
        ViewFixture f(300, 200);
        f.view->fileOpen(f.write(QStringLiteral("ring.txt"), prose(60)));
        QList<qint64> starts{f.view->pageStart.position};
        for (int i = 0; i < 5; ++i) {
            f.view->nextPage();
            starts << f.view->pageStart.position;
        }
        QCOMPARE(f.view->historyDepth, 5);
        for (int i = 4; i >= 0; --i) {
            // Drawing the page costs one fit per line, as drawing it forward did; nothing more.
            const qint64 before = f.view->fitterCalls();
            f.view->previousPage();
            const qint64 backCalls = f.view->fitterCalls() - before;
            QCOMPARE(f.view->pageStart.position, starts[i]);
            const qint64 redraw = f.view->fitterCalls();
            f.view->file.seek(starts[i]);
            f.view->lineNewParagraph = f.view->pageStart.paragraph;
            f.view->printPage();
            QCOMPARE(backCalls, f.view->fitterCalls() - redraw);
        }
        QCOMPARE(f.view->historyDepth, 0);
    }

    // With a text height that is not a multiple of the line pitch, a computed previous page
    // holds exactly the lines that forward reading puts before the page it precedes.
    void computedPageEndsWhereTheNextBegins_data()
    {
        QTest::addColumn<bool>("reparagraph");
        QTest::addColumn<bool>("marks");
        QTest::addColumn<QString>("name");
        QTest::newRow("paragraphs") << true << true << "p.txt";
        QTest::newRow("no reparagraphing") << false << true << "n.txt";
        QTest::newRow("no paragraph marks at all") << true << false << "m.txt";
        QTest::newRow("html") << false << true << "h.html";
    }
    void computedPageEndsWhereTheNextBegins()
    {
        QFETCH(bool, reparagraph);
        QFETCH(bool, marks);
        QFETCH(QString, name);
        ViewFixture f(300, 200 + 6 + 7);  // text height 207: 13 lines of 15 px and 12 px over
        f.view->reparagraph = reparagraph;
        QByteArray text = prose(marks ? 400 : 4000, marks);
        if (name.endsWith(QLatin1String(".html")))
            text.replace(".\n  ", ".\n<p>");
        f.view->fileOpen(f.write(name, text));
        QList<qint64> starts{f.view->pageStart.position};
        while (!f.view->file.atEnd() && starts.size() < 120) {
            f.view->nextPage();
            starts << f.view->pageStart.position;
        }
        QVERIFY(starts.size() > 50);
        for (int i = int(starts.size()) - 1; i > 0; i -= 7) {
            f.view->pageStart.position = starts[i];
            f.view->historyDepth = 0;
            f.view->previousPage();
            QVERIFY(f.view->pageStart.position < starts[i]);
            QCOMPARE(f.view->file.pos(), starts[i]);
        }
    }

    void firstPagesGoBackToTheStart()
    {
        ViewFixture f(300, 200);
        // One paragraph of three pages and more: the search reaches the start of the file.
        QByteArray text = "  " + prose(1, false);
        while (text.size() < 6000)
            text += prose(1, false, uint(text.size()));
        f.view->fileOpen(f.write(QStringLiteral("long.txt"), text));
        f.view->nextPage();
        const qint64 second = f.view->pageStart.position;
        f.view->nextPage();
        f.view->historyDepth = 0;
        f.view->previousPage();
        QCOMPARE(f.view->pageStart.position, second);
        f.view->historyDepth = 0;
        f.view->previousPage();
        QCOMPARE(f.view->pageStart.position, qint64(0));
        QVERIFY(f.view->pageStart.paragraph);
        f.view->historyDepth = 0;
        f.view->previousPage();  // before the first page: the first page again
        QCOMPARE(f.view->pageStart.position, qint64(0));
    }

    void ringForgetsBeyond999Pages()
    {
        ViewFixture f(200, 15 + 6 + 5);  // one line a page
        f.view->reparagraph = false;
        QByteArray text;
        for (int i = 0; i < 1100; ++i)
            text += "w\n";
        f.view->fileOpen(f.write(QStringLiteral("lines.txt"), text));
        for (int i = 0; i < 1050; ++i)
            f.view->nextPage();
        QCOMPARE(f.view->pageStart.position, qint64(2 * 1050));
        QCOMPARE(f.view->historyDepth, 999);
        for (int i = 0; i < 999; ++i)
            f.view->previousPage();
        QCOMPARE(f.view->pageStart.position, qint64(2 * 51));
        QCOMPARE(f.view->historyDepth, 0);
        const qint64 calls = f.view->fitterCalls();
        f.view->previousPage();  // computed now
        QCOMPARE(f.view->pageStart.position, qint64(2 * 50));
        QVERIFY(f.view->fitterCalls() - calls > 1);
    }

    void htmlMarksOnlyBareParagraphTags()
    {
        ViewFixture f(300, 200);
        f.view->reparagraph = false;
        const QByteArray text = "<p>one\n<p class=x>two\n<P>three\n< p>four";
        f.view->fileOpen(f.write(QStringLiteral("marks.htm"), text));
        QCOMPARE(f.view->findNewParagraphBack(text.size()), qint64(text.indexOf("<P>")));
        QCOMPARE(f.view->findNewParagraphBack(text.indexOf("<P>")), qint64(0));
        QCOMPARE(f.view->file.pos(), qint64(text.indexOf("<P>") - 2));
    }
};

QTEST_MAIN(tst_Paging)
#include "tst_paging.moc"
