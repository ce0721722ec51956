// Page composition: where lines land, what the page records, the bar, rotation and relayout.
#include "ViewFixture.h"

#include <QImage>
#include <QtTest>

class tst_PageDrawing : public QObject
{
    Q_OBJECT

private:
    static QByteArray manyWords(int count)
    {
        QByteArray text;
        for (int i = 0; i < count; ++i)
            text += "word" + QByteArray::number(i % 10) + ' ';
        return text;
    }

private Q_SLOTS:
    void baselinesStopAboveTheBar()
    {
        ViewFixture f(320, 320);
        QCOMPARE(f.view->fontSize, 12);
        f.view->reparagraph = false;
        QByteArray text;
        for (int i = 0; i < 40; ++i)
            text += "line\n";
        f.view->fileOpen(f.write(QStringLiteral("b.txt"), text));
        QList<int> baselines;
        for (int i = 0; i < f.view->pageWordCount; ++i)
            baselines << f.view->pageWords[size_t(i)].y;
        QCOMPARE(baselines.first(), 15);
        QCOMPARE(baselines.last(), 300);  // 315 is not above 314, the top of the bar
        QCOMPARE(baselines.size(), 20);
        QCOMPARE(f.view->file.pos(), qint64(20 * 5));  // the next page starts at line 21
    }

    void pagesFollowEachOther()
    {
        ViewFixture f(320, 240);
        const QString path = f.write(QStringLiteral("p.txt"), manyWords(3000));
        f.view->fileOpen(path);
        QCOMPARE(f.view->pageStart.position, qint64(0));
        QVERIFY(f.view->pageStart.paragraph);
        const qint64 second = f.view->file.pos();
        QVERIFY(second > 0);
        f.view->printPage();
        QCOMPARE(f.view->pageStart.position, second);
        QCOMPARE(f.view->pageHistory[0].position, second);  // the ring slot is moved by paging, not here
        QVERIFY(!f.view->pageStart.paragraph);
    }

    void justifiedLinesEndAtTheMargin()
    {
        ViewFixture f(320, 240);
        f.view->fileOpen(f.write(QStringLiteral("j.txt"), manyWords(200)));
        // Words on the first full line: the last one ends at the right margin exactly.
        const int firstY = f.view->pageWords[0].y;
        int last = 0;
        while (last + 1 < f.view->pageWordCount && f.view->pageWords[size_t(last + 1)].y == firstY)
            ++last;
        const PageWord &w = f.view->pageWords[size_t(last)];
        QCOMPARE(w.x + f.textWidth(w.text), 320 - f.view->pageMargin);
    }

    void tapTableKeepsTheFirstWordsAndTheLatest()
    {
        ViewFixture f(1000, 1000);
        f.view->fileOpen(f.write(QStringLiteral("w.txt"), manyWords(5000)));
        QVERIFY(!f.view->file.atEnd());
        QCOMPARE(f.view->pageWordCount, 399);
        QCOMPARE(f.view->pageWords[397].text, QStringLiteral("word7"));
        // The page holds more than 399 words: the last slot has the latest one drawn.
        QVERIFY2(f.view->pageWords[398].text.startsWith(QLatin1String("word")), qPrintable(f.view->pageWords[398].text + QString::number(f.view->file.pos())));
        QVERIFY(f.view->pageWords[398].y > f.view->pageWords[397].y);
    }

    void pageNumbersWithoutOverflow_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("page");
        QTest::newRow("start") << qint64(10000000) << qint64(0) << qint64(1);
        QTest::newRow("ten million bytes") << qint64(10000000) << qint64(9999999) << qint64(5000);
        QTest::newRow("several gigabytes") << qint64(6000000000) << qint64(5999999999) << qint64(3000000);
        QTest::newRow("empty file") << qint64(0) << qint64(0) << qint64(1);
        QTest::newRow("under one nominal page") << qint64(1999) << qint64(1500) << qint64(1);
    }
    void pageNumbersWithoutOverflow()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qint64, position);
        QFETCH(qint64, page);
        ViewFixture f;
        f.view->fileSize = fileSize;
        f.view->virtualPageCount = fileSize / MyView::NominalPageBytes;
        QCOMPARE(f.view->pageNumberOf(position), page);
    }

    void emptyFileShowsAnEmptyBar()
    {
        ViewFixture f(320, 240);
        f.view->fileOpen(f.write(QStringLiteral("e.txt"), QByteArray()));
        QVERIFY(f.view->documentOpen);
        QCOMPARE(f.view->barLength, 0);
        QCOMPARE(f.view->pageWordCount, 0);
    }

    void barShowsTheEndOfThePage()
    {
        ViewFixture f(320, 240);
        f.view->fileOpen(f.write(QStringLiteral("bar.txt"), manyWords(2000)));
        QCOMPARE(qint64(f.view->barLength), f.view->file.pos() * 320 / f.view->fileSize);
        const QImage image = f.view->paper.toImage();
        const int barTop = image.height() - f.view->barHeight;
        QCOMPARE(QColor(image.pixel(1, barTop + 1)), QColor(Qt::red));
        QCOMPARE(QColor(image.pixel(f.view->barLength + 2, barTop + 1)), QColor(Qt::yellow));
    }

    void rotationKeepsThePageAndTurnsThePaper()
    {
        ViewFixture f(300, 200);
        f.view->fileOpen(f.write(QStringLiteral("r.txt"), manyWords(500)));
        const qint64 start = f.view->pageStart.position;
        const qint64 end = f.view->file.pos();
        for (double angle : {90.0, -90.0, 180.0, 45.0, 0.0}) {
            f.view->rotation = angle;
            f.view->pickupSettings();
            QCOMPARE(f.view->pageStart.position, start);
            const bool sideways = angle != 0.0 && angle != 180.0;
            QCOMPARE(f.view->paper.width(), sideways ? 200 : 300);
            if (angle != 0.0)
                QCOMPARE(f.view->rotatedPaper.size(), f.view->paper.transformed(f.view->rotationMatrix).size());
        }
        QCOMPARE(f.view->file.pos(), end);
    }

    void relayoutWithSameSettingsGivesTheSameImage()
    {
        ViewFixture f(320, 240);
        f.view->fileOpen(f.write(QStringLiteral("s.txt"), manyWords(800)));
        f.view->printPage();
        const QImage before = f.view->paper.toImage();
        f.view->pickupSettings();
        QCOMPARE(f.view->paper.toImage(), before);
    }

    void hugeWordlessFilePages()
    {
        ViewFixture f(320, 240);
        f.view->fileOpen(f.write(QStringLiteral("nospace.txt"), QByteArray(3 * 1024 * 1024, 'x')));
        for (int i = 0; i < 5; ++i) {
            const qint64 before = f.view->file.pos();
            f.view->printPage();
            QVERIFY(f.view->file.pos() > before);
            QVERIFY(f.view->file.pos() - before < 2000);  // a page of broken lines, not the whole file
        }
    }
};

QTEST_MAIN(tst_PageDrawing)
#include "tst_pagedrawing.moc"
