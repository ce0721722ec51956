// The view and found text: the page that holds a hit, paging on and back from it, the hits marked
// on the page, and going to a page or a percentage.
#include "TextFinder.h"
#include "ViewFixture.h"

#include <QImage>
#include <QtTest>

namespace {
// Paragraphs of words, every seventh with a phrase to find; `html` wraps them in elements.
QByteArray generated(int paragraphs, bool html, bool breaks = true)
{
    const char *words[] = {"the", "river", "ran", "past", "old", "mills", "and", "quiet", "fields"};
    QByteArray out = html ? "<html><head><title>t</title><style>p{}</style></head><body>\n" : "";
    quint32 state = 7;
    for (int p = 0; p < paragraphs; ++p) {
        out += html ? "<p>" : "";
        for (int w = 0; w < 40; ++w) {
            state = state * 1103515245u + 12345u;
            out += words[(state >> 16) % 9];
            out += w % 11 == 10 && !html ? "\n" : " ";
        }
        if (p % 7 == 3)
            out += html ? "a <b>lantern</b>\nglowed." : "a lantern\nglowed.";
        out += html ? "</p>\n" : breaks ? "\n\n" : " ";
    }
    return out + (html ? "</body></html>\n" : "");
}

std::vector<Hit> hitsOf(const FindSource &source, const FindQuery &query)
{
    TextFinder finder;
    std::vector<Hit> hits;
    if (!finder.open(source).isOk())
        return hits;
    finder.setQuery(query);
    finder.findAll(0, finder.size(), [&](const Hit &h) {
        hits.push_back(h);
        return true;
    });
    return hits;
}

// Pixels of the paper in the colours of the marks: strong (the current hit) and light.
std::pair<int, int> markedPixels(const QPixmap &paper)
{
    const QImage image = paper.toImage().convertToFormat(QImage::Format_RGB32);
    int strong = 0, light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            if (c.red() > 230 && c.blue() < 200 && c.green() < 215 && c.green() > 150)
                ++strong;
            else if (c.red() > 240 && c.green() > 235 && c.blue() < 200)
                ++light;
        }
    }
    return {strong, light};
}
} // namespace

class tst_Find : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsThePageThatHoldsAHit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << "t.txt" << generated(120, false);
        QTest::newRow("html") << "h.html" << generated(120, true);
        QTest::newRow("text without paragraphs") << "n.txt" << generated(400, false, false);
    }
    void showsThePageThatHoldsAHit()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        ViewFixture f;
        f.open(name, bytes);
        const FindQuery query(QStringLiteral("lantern glowed"), {});
        const std::vector<Hit> hits = hitsOf(f.view->findSource(), query);
        QVERIFY(hits.size() > 10);
        for (const Hit &hit : {hits[1], hits[hits.size() / 2], hits.back()}) {
            f.view->showHit(query, hit);
            const qint64 start = f.view->pageStart().position;
            QVERIFY2(start <= hit.first && hit.first < f.position(), qPrintable(QString::number(hit.first)));
            QCOMPARE(f.view->foundMarks().current(), hit);
            // Paging back and on again comes back to the same page.
            f.view->previousPage();
            QVERIFY(f.view->pageStart().position < start);
            QVERIFY(f.position() <= hit.first + 64);
            f.view->nextPage();
            QCOMPARE(f.view->pageStart().position, start);
            // The next search starts after the hit on this page; a backward one before it.
            QCOMPARE(f.view->findOrigin(false), hit.first + 1);
            QCOMPARE(f.view->findOrigin(true), hit.first);
        }
    }

    void marksTheHitsOnThePage()
    {
        ViewFixture f(320, 480, [](ReaderSettings &s) { s.barVisible = false; });
        f.open(QStringLiteral("m.txt"), generated(60, false));
        const FindQuery query(QStringLiteral("RIVER"), {});
        const std::vector<Hit> hits = hitsOf(f.view->findSource(), query);
        QVERIFY(hits.size() > 20);
        f.view->showHit(query, hits[3]);
        const auto [strong, light] = markedPixels(f.view->paper());
        QVERIFY(strong > 20);
        QVERIFY(light > strong);  // several other hits on the page
        f.view->clearFoundMarks();
        QCOMPARE(markedPixels(f.view->paper()), std::make_pair(0, 0));
        QVERIFY(!f.view->foundMarks().isActive());
    }

    void goesToAPageOrAPercentage()
    {
        ViewFixture f;
        f.open(QStringLiteral("g.txt"), generated(200, false));
        const qint64 size = f.view->document().size();
        for (int percent : {0, 33, 50, 90}) {
            f.view->goToPercent(percent);
            const qint64 at = size * percent / 100;
            QVERIFY(f.view->pageStart().position <= at && at < f.position());
        }
        f.view->goToPercent(100);
        QVERIFY(f.view->atEnd());
        for (int i = 0; i < 5; ++i)
            f.view->nextPage();  // pages laid out make the count settle
        for (int page : {3, 12}) {
            f.view->goToPage(page);
            QVERIFY2(f.view->progressText().startsWith(QStringLiteral("page %1 of").arg(page)),
                     qPrintable(f.view->progressText()));
        }
    }
};

QTEST_MAIN(tst_Find)
#include "tst_find.moc"
