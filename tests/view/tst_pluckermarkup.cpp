// Plucker function codes read forward while fitting, and the attributes found scanning back.
#include "PalmBuilder.h"
#include "ViewFixture.h"

#include <QtTest>

using namespace PalmBuilder;

class tst_PluckerMarkup : public QObject
{
    Q_OBJECT

    // Opens `bytes` as converted Plucker text and fits its first line.
    static void fitFirstLine(ViewFixture &f, const QByteArray &bytes)
    {
        f.view->fileOpen(f.write(QStringLiteral("converted.txt"), bytes));
        f.view->sourceKind = 2;
        f.view->file.seek(0);
        f.view->lineNewParagraph = true;
        f.view->lineStartStyle = TextStyle{};
        f.view->readStringFit();
    }

private Q_SLOTS:
    void endOfParagraphResetsEverything()
    {
        ViewFixture f(2000, 200);
        fitFirstLine(f, "x" + Code::linkToRecord(5) + Code::italicOn() + Code::underlineOn() + Code::style(1)
                            + "bold" + endOfParagraph() + "after");
        QCOMPARE(f.view->lineWordCount, 1);
        QCOMPARE(f.view->lineWords[0].text, QStringLiteral("xbold"));
        QVERIFY(f.view->nextLineNewParagraph);
        QCOMPARE(f.view->lineFontIncrement, uint8_t(2));
        // The codes after the line feed are read with the next line.
        f.view->lineNewParagraph = true;
        f.view->readStringFit();
        QCOMPARE(f.view->lineWords[0].text, QStringLiteral("after"));
        const TextStyle s = f.view->lineStartStyle;
        QCOMPARE(s.linkRecord, uint16_t(0));
        QCOMPARE(s.penColor, QColor(Qt::black));
        QVERIFY(!s.italic && !s.underline && !s.bold);
        QCOMPARE(s.fontIncrement, uint8_t(0));
        QCOMPARE(f.view->lineFontIncrement, uint8_t(2));  // the heading was still in force at its start
    }

    void codesSetWordAttributes()
    {
        ViewFixture f(2000, 200);
        fitFirstLine(f, Code::linkToParagraph(0x0102, 3) + "link" + Code::endLink() + " " + Code::style(3) + "big "
                            + Code::style(0) + "plain " + Code::make({0x83}) + "A");
        QCOMPARE(f.view->lineWords[0].text, QStringLiteral("link"));
        QCOMPARE(f.view->lineWords[0].linkRecord, uint16_t(258));
        QCOMPARE(f.view->lineWords[0].linkParagraph, uint16_t(3));
        QCOMPARE(f.view->lineWords[0].penColor, QColor(Qt::blue));
        QCOMPARE(f.view->lineWords[1].fontIncrement, uint8_t(2));
        QVERIFY(!f.view->lineWords[1].bold);
        QCOMPARE(f.view->lineWords[2].fontIncrement, uint8_t(0));
        QCOMPARE(f.view->lineFontIncrement, uint8_t(2));  // a later style 0 does not lower it
        // An unknown code takes nothing but itself: the byte after it is text again.
        QCOMPARE(f.view->lineWords[3].text, QStringLiteral("A"));
    }

    void lineBreakCodeBreaksTheLine()
    {
        ViewFixture f(2000, 200);
        fitFirstLine(f, "one" + Code::lineBreak() + "two");
        QCOMPARE(f.view->lineWords[0].text, QStringLiteral("one"));
        QVERIFY(f.view->nextLineNewParagraph);
        QCOMPARE(f.view->file.pos(), qint64(5));
    }

    void headingLowersItsLine()
    {
        ViewFixture f(300, 300);
        f.view->fileOpen(f.write(QStringLiteral("h.txt"), Code::style(1) + "Head\n" + Code::style(0) + "body\nmore"));
        f.view->sourceKind = 2;
        f.view->file.seek(0);
        f.view->lineNewParagraph = true;
        f.view->lineStartStyle = TextStyle{};
        f.view->printPage();
        // Each line is lowered by the largest increment on it, and the lines below move with it;
        // the heading is still in force where the second line starts.
        QCOMPARE(f.view->pageWords[0].y, 15 + 2);
        QCOMPARE(f.view->pageWords[1].y, 15 + 2 + 15 + 2);
        QCOMPARE(f.view->pageWords[2].y, 15 + 2 + 15 + 2 + 15);
    }

    void attributesFoundBackwards_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<int>("link");
        QTest::newRow("nearer code wins") << (Code::italicOn() + "some" + Code::italicOff() + "text") << false
                                          << false << 0;
        QTest::newRow("italic within reach") << (Code::italicOn() + QByteArray(15000, 'a')) << true << false << 0;
        QTest::newRow("italic out of reach keeps the old value") << (Code::italicOn() + QByteArray(16100, 'a'))
                                                                 << false << false << 0;
        QTest::newRow("style and link") << (Code::style(7) + Code::linkToRecord(9) + "ab") << false << true << 9;
        QTest::newRow("style 8 decides nothing") << (Code::style(1) + "x" + Code::style(8) + "y") << false
                                                 << false << 0;
    }
    void attributesFoundBackwards()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, italic);
        QFETCH(bool, bold);
        QFETCH(int, link);
        ViewFixture f;
        const QByteArray text = "x" + before + "TARGET";
        f.view->fileOpen(f.write(QStringLiteral("back.txt"), text));
        f.view->sourceKind = 2;
        f.view->lineStartStyle = TextStyle{};
        const qint64 pos = text.indexOf("TARGET");
        f.view->findPluckerAttrBack(pos);
        QCOMPARE(f.view->lineStartStyle.italic, italic);
        QCOMPARE(f.view->lineStartStyle.bold, bold);
        QCOMPARE(int(f.view->lineStartStyle.linkRecord), link);
        QCOMPARE(f.view->file.pos(), pos);
    }

    void truncatedCodeAtTheEnd()
    {
        ViewFixture f(2000, 200);
        fitFirstLine(f, QByteArray("end") + Code::make({0x0C, 0x01}).left(3));
        QCOMPARE(f.view->lineWords[0].text, QStringLiteral("end"));
        QVERIFY(f.view->file.atEnd());
    }
};

QTEST_MAIN(tst_PluckerMarkup)
#include "tst_pluckermarkup.moc"
