// Plucker function codes read forward while fitting, and the attributes found scanning back.
#include "LayoutFixture.h"
#include "PalmBuilder.h"
#include "PluckerCodes.h"

#include <QtTest>

using namespace PalmBuilder;

class tst_PluckerCodes : public QObject
{
    Q_OBJECT

    // Opens `paragraphs` as a Plucker book and fits its first line.
    static void fitFirstLine(LayoutFixture &f, const QList<QByteArray> &paragraphs, TextStyle &style)
    {
        f.open(QStringLiteral("book.pdb"),
               pluckerDocument(2, {pluckerTextRecord(2, paragraphs, Packing::Raw)}));
        QCOMPARE(f.document.kind(), SourceKind::Plucker);
        f.fitter.readStringFit(2000, true, style);
    }

private Q_SLOTS:
    void codesSetWordAttributes()
    {
        LayoutFixture f;
        TextStyle style;
        fitFirstLine(f,
                     {Code::linkToParagraph(0x0102, 3) + "link" + Code::endLink() + " " + Code::style(3) + "big "
                      + Code::style(0) + "plain " + Code::make({0x83}) + "A" + Code::lineBreak() + "next"},
                     style);
        const LineFitter &fit = f.fitter;
        QCOMPARE(fit.lineTexts(), (QStringList{"link", "big", "plain", "A"}));
        QCOMPARE(fit.lineWord(0).linkRecord, uint16_t(258));
        QCOMPARE(fit.lineWord(0).linkParagraph, uint16_t(3));
        QCOMPARE(fit.lineWord(0).penColor, QColor(Qt::blue));
        QCOMPARE(fit.lineWord(1).fontIncrement, uint8_t(2));
        QVERIFY(!fit.lineWord(1).bold);
        QCOMPARE(fit.lineWord(2).fontIncrement, uint8_t(0));
        QCOMPARE(fit.lineFontIncrement(), uint8_t(2));  // a later style 0 does not lower it
        // An unknown code takes nothing but itself; a line break code ends the paragraph.
        QVERIFY(fit.nextLineNewParagraph());
    }

    // Every style ends with its paragraph; the codes that reset it after the line feed are read
    // with the next line, so a heading's increment still counts there. A code whose arguments would
    // run past its paragraph takes none of the paragraph's end: the missing ones read as 0 (as at
    // the end of the file).
    void paragraphEndResetsTheStyle_data()
    {
        QTest::addColumn<QByteArray>("codes"); // at the end of the first paragraph, "one"
        QTest::addColumn<QStringList>("line");
        QTest::addColumn<int>("link");      // in force at the paragraph's end
        QTest::addColumn<int>("increment"); // of both lines
        QTest::newRow("link, italic, underline, heading")
            << Code::linkToRecord(5) + Code::italicOn() + Code::underlineOn() + Code::style(1) + "bold"
            << QStringList{"onebold"} << 5 << 2;
        const QStringList one{"one"};
        QTest::newRow("link short of three arguments") << Code::make({0x0C, 0x01}) << one << 0x0100 << 0;
        QTest::newRow("link with no arguments") << Code::make({0x0A}) << one << 0 << 0;
        QTest::newRow("style with no argument") << Code::make({0x11}) << one << 0 << 0;
        QTest::newRow("a zero and no code") << QByteArray(1, '\0') << one << 0 << 0;
    }
    void paragraphEndResetsTheStyle()
    {
        QFETCH(QByteArray, codes);
        QFETCH(int, link);
        QFETCH(int, increment);
        LayoutFixture f;
        TextStyle style;
        fitFirstLine(f, {"one" + codes, "two"}, style);
        QTEST(f.fitter.lineTexts(), "line");
        QVERIFY(f.fitter.nextLineNewParagraph());
        QCOMPARE(int(f.fitter.lineFontIncrement()), increment);
        // Scanning back from the line feed finds what reading forward left in force.
        TextStyle back;
        PluckerCodes::findPluckerAttrBack(f.document.reader(), f.document.position(), back);
        QCOMPARE(int(style.linkRecord), link);
        QCOMPARE(int(back.linkRecord), link);
        QCOMPARE(back.linkParagraph, style.linkParagraph);
        f.fitter.readStringFit(2000, true, style);
        QCOMPARE(f.fitter.lineTexts(), QStringList{"two"});
        QCOMPARE(int(f.fitter.lineFontIncrement()), increment);
        QCOMPARE(style.linkRecord, uint16_t(0));
        QCOMPARE(style.penColor, QColor(Qt::black));
        QVERIFY(!style.bold && !style.italic && !style.underline && style.fontIncrement == 0);
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
        TestFolder folder;
        const QByteArray text = "x" + before + "TARGET";
        PositionedReader file;
        QVERIFY(file.open(folder.write(QStringLiteral("back.txt"), text)).isOk());
        TextStyle style;
        const qint64 pos = text.indexOf("TARGET");
        PluckerCodes::findPluckerAttrBack(file, pos, style);
        QCOMPARE(style.italic, italic);
        QCOMPARE(style.bold, bold);
        QCOMPARE(int(style.linkRecord), link);
        QCOMPARE(file.pos(), pos);
    }
};

QTEST_MAIN(tst_PluckerCodes)
#include "tst_pluckercodes.moc"
