// Pages: where lines land and the bar; paging forward and back through the page history and by
// computing the previous page; bookmark names.
#include "PalmBuilder.h"
#include "ViewFixture.h"

#include <QImage>
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
            text += column > 70 ? '\n' : ' ';
            column = column > 70 ? 0 : column;
        }
        text += ".\n";
    }
    return text;
}

// Prose as a Plucker book whose every fourth paragraph is a heading: taller lines, ended by line
// feeds inside the paragraph. Records stay under 32 KiB. With `linked`, each heading opens with a
// link to record 17, whose argument bytes 00 11 followed by "x" read backwards like a style code.
QByteArray pluckerHeadings(const QByteArray &prose, bool linked = false)
{
    using namespace PalmBuilder;
    QList<QByteArray> records, paragraphs;
    qsizetype size = 0;
    const QList<QByteArray> all = prose.split('.');
    for (qsizetype i = 0; i < all.size(); ++i) {
        QByteArray paragraph = all[i] + '.';
        if (linked && i % 4 == 0)
            paragraph = Code::linkToRecord(17) + "x" + Code::endLink() + paragraph;
        if (i % 4 == 0)
            paragraph = Code::style(1) + paragraph;
        if (size + paragraph.size() > 30000) {
            records << pluckerTextRecord(unsigned(records.size() + 2), paragraphs, Packing::Raw);
            paragraphs.clear();
            size = 0;
        }
        paragraphs << paragraph;
        size += paragraph.size();
    }
    records << pluckerTextRecord(unsigned(records.size() + 2), paragraphs, Packing::Raw);
    return pluckerDocument(2, records);
}

// Prose turned into HTML full of what reading forward must get right: block tags with
// attributes, comments and scripts holding tags, bare "&" and "<", references, br, pre and cells.
QByteArray hostileHtml(const QByteArray &prose)
{
    QRandomGenerator rng(11);
    const QByteArray pieces[] = {
        "<div class=\"x\">", "<p style='a>b'>", "</p>\n", "<!-- <p> & </div> -->", "<br>", "&amp; ",
        "&eacute;t&eacute; ", "a & b ", "1 < 2 ", "<script>var s = '</p><p>';</script>",
        "<h2 id=h>Head</h2>", "<td>c</td><td>d</td>", "<pre>pre  text\nmore\n</pre>", "&nosuch; ",
        "<style>p { }</style>", "<li>item", "&#8212; ", "<!DOCTYPE html>",
    };
    QByteArray out;
    for (const QByteArray &line : prose.split('\n')) {
        out += line;
        out += rng.bounded(3) == 0 ? pieces[rng.bounded(int(std::size(pieces)))] : QByteArray("\n");
    }
    return out;
}

QByteArray manyWords(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "word" + QByteArray::number(i % 10) + ' ';
    return text;
}

} // namespace

class tst_Paging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The last baseline stays above the bar, which shows in red how far into the file the page
    // ends: none of it for an empty file.
    void baselinesStopAboveTheBar()
    {
        ViewFixture f(320, 320, [](ReaderSettings &s) { s.reparagraph = false; });
        f.open(QStringLiteral("b.txt"), QByteArray("line\n").repeated(40));
        QCOMPARE(f.view->pageWords().count(), 20);
        QCOMPARE(f.word(0).y, 15);
        QCOMPARE(f.word(19).y, 300);  // 315 is not above 314, the top of the bar
        QCOMPARE(f.position(), qint64(20 * 5));  // the next page starts at line 21
        const QImage image = f.view->paper().toImage();
        const int barTop = image.height() - 6;
        QCOMPARE(QColor(image.pixel(1, barTop + 1)), QColor(Qt::red));
        QCOMPARE(QColor(image.pixel(320 / 2 + 2, barTop + 1)), QColor(Qt::yellow));  // half the file
        f.open(QStringLiteral("empty.txt"), QByteArray());
        QVERIFY(f.view->documentOpen());
        QCOMPARE(QColor(f.view->paper().toImage().pixel(1, barTop + 1)), QColor(Qt::yellow));
    }

    void headingLowersItsLine()
    {
        using namespace PalmBuilder;
        ViewFixture f(300, 300);
        f.open(QStringLiteral("h.pdb"), pluckerDocument(2, {pluckerTextRecord(2, {Code::style(1) + "Head\n" + Code::style(0) + "body\nmore"}, Packing::Raw)}));
        // Each line is lowered by the largest increment on it, and the lines below move with it;
        // the heading is still in force where the second line starts.
        QCOMPARE(f.word(0).y, 15 + 2);
        QCOMPARE(f.word(1).y, 15 + 2 + 15 + 2);
        QCOMPARE(f.word(2).y, 15 + 2 + 15 + 2 + 15);
    }

    // A page full of words: justified lines end at the margin, and the tap table keeps the first
    // words and the latest.
    void justifiedLinesAndTheTapTable()
    {
        ViewFixture f(1000, 1000);
        f.open(QStringLiteral("w.txt"), manyWords(5000));
        int last = 0;
        while (f.word(last + 1).y == f.word(0).y)
            ++last;
        QCOMPARE(f.word(last).x + f.textWidth(f.word(last).text), 1000 - f.view->settings().pageMargin);
        QCOMPARE(f.view->pageWords().count(), 399);
        QCOMPARE(f.word(397).text, QStringLiteral("word7"));
        QVERIFY(f.word(398).y > f.word(397).y);  // the last slot has the latest word drawn
    }

    // The legible bar leaves the last line whole, descenders included, and counts pages so that
    // the last page is "page y of y".
    void legibleBarKeepsTheLastLineWhole()
    {
        ViewFixture f(320, 320, [](ReaderSettings &s) {
            s.classicBar = false;
            s.reparagraph = false;
        });
        f.open(QStringLiteral("g.txt"), QByteArray("gjpqy\n").repeated(400));
        const QImage image = f.view->paper().toImage();
        QFont font(f.view->settings().fontName);
        font.setPixelSize(f.view->settings().fontSize);
        const int descent = QFontMetrics(font).descent();
        const PageWords &words = f.view->pageWords();
        const int firstY = words.at(0).y;
        const int lastY = words.at(words.count() - 1).y;
        QVERIFY(lastY > firstY);
        QCOMPARE(image.copy(0, lastY + 1, 320, descent), image.copy(0, firstY + 1, 320, descent));
        QVERIFY(f.view->progressText().startsWith(QStringLiteral("page 1 of ")));
        QTest::keyClick(f.view, Qt::Key_End);
        const QString pages = f.view->progressText().section(QLatin1Char(' '), 3, 3);
        QCOMPARE(f.view->progressText(), QStringLiteral("page %1 of %1 \u00B7 100%").arg(pages));
    }

    void hugeWordlessFilePages()
    {
        ViewFixture f(320, 240);
        f.open(QStringLiteral("nospace.txt"), QByteArray(3 * 1024 * 1024, 'x'));
        for (int i = 0; i < 5; ++i) {
            const qint64 before = f.position();
            f.view->nextPage();
            QVERIFY(f.position() > before && f.position() - before < 2000);  // broken lines, not the file
        }
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
        QTest::newRow("hostile html") << true << true << "hostile.html";
        QTest::newRow("pages starting inside pre") << false << true << "pre.html";
        QTest::newRow("windows line ends") << true << true << "crlf.txt";
        QTest::newRow("utf-16") << true << true << "utf16.txt";
        QTest::newRow("plucker headings") << false << true << "headings.pdb";
        QTest::newRow("plucker headings opening with a link") << false << true << "linked.pdb";
    }
    void computedPageEndsWhereTheNextBegins()
    {
        QFETCH(bool, reparagraph);
        QFETCH(bool, marks);
        QFETCH(QString, name);
        // Text height 207: 13 lines of 15 px and 12 px over.
        ViewFixture f(300, 200 + 6 + 7, [&](ReaderSettings &s) { s.reparagraph = reparagraph; });
        QByteArray text = prose(marks ? 400 : 4000, marks);
        if (name == QLatin1String("h.html"))
            text.replace(".\n  ", ".\n<p>");
        else if (name == QLatin1String("hostile.html"))
            text = hostileHtml(text);
        else if (name == QLatin1String("pre.html"))
            text = "<pre>" + text.replace(".\n  ", ".\n</pre><p>x<pre>\n\t") + "</pre>";
        else if (name == QLatin1String("headings.pdb"))
            text = pluckerHeadings(text);
        else if (name == QLatin1String("linked.pdb"))
            text = pluckerHeadings(text, true);
        else if (name == QLatin1String("crlf.txt"))
            text.replace("\n", "\r\n");
        if (name == QLatin1String("utf16.txt")) {
            text = QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char *>(QString::fromLatin1(text).utf16()), text.size() * 2);
            f.change([](ReaderSettings &s) { s.encodingName = QStringLiteral("UTF-16LE"); });
        }
        f.open(name, text);
        QList<PageStart> starts{f.view->pageStart()};
        while (!f.view->atEnd() && starts.size() < 120) {
            f.view->nextPage();
            starts << f.view->pageStart();
        }
        QVERIFY(starts.size() > 50);
        // Every seventh page from the last, and the second, whose search reaches the file's start.
        QList<int> pages;
        for (int i = int(starts.size()) - 1; i > 1; i -= 7)
            pages << i;
        for (int i : pages << 1) {
            f.view->showPageAt(starts[i]);
            f.view->previousPage();
            // The page worked out backwards is the page paging forward showed, line for line.
            QCOMPARE(f.view->pageStart().position, starts[i - 1].position);
            QCOMPARE(f.position(), starts[i].position);
        }
        QVERIFY(f.view->pageStart().paragraph);
        f.view->previousPage();  // before the first page: the first page again
        QCOMPARE(f.view->pageStart().position, starts[0].position);
    }

    // Back through the history each page is drawn as paging forward drew it, and nothing more is
    // fitted; the history keeps the last 999 pages, and before them the previous page is computed.
    void historyRetracesForwardPagesAndForgetsBeyond999()
    {
        ViewFixture f(200, 15 + 6 + 5, [](ReaderSettings &s) { s.reparagraph = false; });  // one line a page
        f.open(QStringLiteral("lines.txt"), QByteArray("w\n").repeated(1100));
        qint64 forwardCost = 0;
        for (int i = 0; i < 1050; ++i) {
            const qint64 before = f.view->fitterCalls();
            f.view->nextPage();
            forwardCost = f.view->fitterCalls() - before;
        }
        QCOMPARE(f.view->pageStart().position, qint64(2 * 1050));
        QCOMPARE(f.view->pageHistory().depth(), 999);
        for (int page = 1049; page > 50; --page) {
            const qint64 before = f.view->fitterCalls();
            f.view->previousPage();
            QCOMPARE(f.view->pageStart().position, qint64(2 * page));
            QCOMPARE(f.view->fitterCalls() - before, forwardCost);
        }
        QCOMPARE(f.view->pageHistory().depth(), 0);
        const qint64 calls = f.view->fitterCalls();
        f.view->previousPage();  // computed now
        QCOMPARE(f.view->pageStart().position, qint64(2 * 50));
        QVERIFY(f.view->fitterCalls() - calls > forwardCost);
    }

    // Paragraph marks are the tags that end paragraphs when reading forward: attributes count,
    // a commented-out tag does not.
    void htmlParagraphMarksFollowTheMarkup()
    {
        ViewFixture f(300, 200, [](ReaderSettings &s) { s.reparagraph = false; });
        const QByteArray text = "<p>one\n<p class=x>two\n<!-- <p> -->three\n<P>four";
        f.open(QStringLiteral("marks.htm"), text);
        QCOMPARE(f.view->findNewParagraphBack(text.size()), qint64(text.indexOf("<P>")));
        QCOMPARE(f.view->findNewParagraphBack(text.indexOf("<P>")), qint64(text.indexOf("<p class")));
        QCOMPARE(f.view->findNewParagraphBack(text.indexOf("<p class")), qint64(0));
    }

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
        f.open(QStringLiteral("n.txt"), text);
        const qint64 end = f.position();
        QCOMPARE(f.view->getBookmarkName(), name);
        QCOMPARE(f.position(), end);
    }
};

QTEST_MAIN(tst_Paging)
#include "tst_paging.moc"
