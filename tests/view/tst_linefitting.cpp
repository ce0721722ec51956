// Line fitting: word separation, paragraph decisions, HTML handling, breaking and gaps.
#include "ViewFixture.h"

#include <QRandomGenerator>
#include <QtTest>

class tst_LineFitting : public QObject
{
    Q_OBJECT

private:
    // Lines of `text` on a wide page, each ending in "|" when it ends a paragraph.
    static QStringList linesOf(ViewFixture &f, const QByteArray &text, const QString &name = QStringLiteral("t.txt"))
    {
        f.view->fileOpen(f.write(name, text));
        f.view->file.seek(0);
        f.view->lineNewParagraph = true;
        f.view->lineStartStyle = TextStyle{};
        QStringList lines;
        while (!f.view->file.atEnd()) {
            f.view->readStringFit();
            QStringList words;
            for (int i = 0; i < f.view->lineWordCount; ++i)
                words << f.view->lineWords[size_t(i)].text;
            lines << words.join(QLatin1Char(' ')) + (f.view->nextLineNewParagraph ? QStringLiteral("|") : QString());
            f.view->lineNewParagraph = f.view->nextLineNewParagraph;
        }
        return lines;
    }

private Q_SLOTS:
    void separatorsAndParagraphs_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("reparagraph");
        QTest::addColumn<bool>("crConvert");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("two spaces give one gap") << QByteArray("a  b") << true << false << QStringList{"a b|"};
        QTest::newRow("tab after space dropped") << QByteArray("a \tb") << true << false << QStringList{"a b|"};
        QTest::newRow("tab separates") << QByteArray("a\tb") << true << false << QStringList{"a b|"};
        QTest::newRow("leading spaces dropped") << QByteArray("   a b") << true << false << QStringList{"a b|"};
        QTest::newRow("line feed then letter joins") << QByteArray("one\ntwo") << true << false << QStringList{"one two|"};
        QTest::newRow("line feed then space ends") << QByteArray("one\n two") << true << false << QStringList{"one|", "two|"};
        QTest::newRow("line feed then tab ends") << QByteArray("one\n\ttwo") << true << false << QStringList{"one|", "two|"};
        QTest::newRow("empty line ends, blank line kept")
            << QByteArray("one\n\ntwo") << true << false << QStringList{"one|", "|", "two|"};
        QTest::newRow("no reparagraph: every line feed ends")
            << QByteArray("one\ntwo") << false << false << QStringList{"one|", "two|"};
        QTest::newRow("CR LF reads as one line feed") << QByteArray("one\r\ntwo") << true << false << QStringList{"one two|"};
        QTest::newRow("CR LF converted is an empty line")
            << QByteArray("one\r\ntwo") << true << true << QStringList{"one|", "|", "two|"};
        QTest::newRow("lone CR dropped") << QByteArray("ab\rcd") << true << false << QStringList{"abcd|"};
        QTest::newRow("NUL bytes do not stop reading")
            << QByteArray("ab\0cd ef", 8) << true << false << QStringList{QStringLiteral("ab") + QChar(0) + "cd ef|"};
        QTest::newRow("trailing line feed at the end") << QByteArray("end\n") << true << false << QStringList{"end |"};
    }
    void separatorsAndParagraphs()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, reparagraph);
        QFETCH(bool, crConvert);
        QFETCH(QStringList, lines);
        ViewFixture f(2000, 400);
        f.view->reparagraph = reparagraph;
        f.view->crConvert = crConvert;
        QCOMPARE(linesOf(f, text), lines);
    }

    void html_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("br in capitals") << QByteArray("a<BR>b") << QStringList{"a|", "b|"};
        QTest::newRow("br with inner spaces") << QByteArray("a< br >b") << QStringList{"a|", "b|"};
        QTest::newRow("p breaks the paragraph") << QByteArray("a<p>b") << QStringList{"a|", "b|"};
        QTest::newRow("other tags dropped") << QByteArray("x<b>y</b>z") << QStringList{"xyz|"};
        QTest::newRow("p with attributes dropped") << QByteArray("a<p class=x>b") << QStringList{"ab|"};
        QTest::newRow("entities") << QByteArray("&lt;&amp;&gt;&quot;") << QStringList{"<&>\"|"};
        QTest::newRow("unknown entity is a space") << QByteArray("a&copy;b&nbsp;c") << QStringList{"a b c|"};
        QTest::newRow("unclosed tag runs to the end") << QByteArray("a <never closed") << QStringList{"a |"};
    }
    void html()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, lines);
        ViewFixture f(2000, 400);
        f.view->reparagraph = false;
        QCOMPARE(linesOf(f, text, QStringLiteral("page.HTM")), lines);
        QVERIFY(f.view->htmlDocument);
    }

    void htmlLineFeedsAsSpaces()
    {
        ViewFixture f(2000, 400);
        f.view->stripHtml = true;
        f.view->stripNewlinesInHtml = true;
        f.view->reparagraph = false;
        QCOMPARE(linesOf(f, "one\ntwo<br>three"), (QStringList{"one two|", "three|"}));
    }

    void longWordBreaksAfterTheCharacterReachingTheWidth()
    {
        ViewFixture f(200, 400);
        const QByteArray word(120, 'm');
        const QStringList lines = linesOf(f, word);
        QVERIFY(lines.size() > 1);
        QCOMPARE(lines.join(QString()).remove(QLatin1Char('|')), QString::fromLatin1(word));
        const int available = 200 - 2 * f.view->pageMargin - f.view->paragraphIndent;
        const QString first = lines.first();
        QVERIFY(f.textWidth(first) >= available);
        QVERIFY(f.textWidth(first.chopped(1)) < available);
    }

    // Words of random lengths, single spaces, no paragraphs: a line keeps a word while the
    // widths taken so far stay below the available width.
    void matchesGreedyModel()
    {
        ViewFixture f(300, 400);
        f.view->paragraphIndent = 0;
        QRandomGenerator rng(7);
        QStringList words;
        for (int i = 0; i < 600; ++i) {
            QString w;
            const int len = 1 + rng.bounded(12);
            for (int k = 0; k < len; ++k)
                w += QChar(u'a' + rng.bounded(26));
            words << w;
        }
        const QStringList lines = linesOf(f, words.join(QLatin1Char(' ')).toLatin1());

        const int available = 300 - 2 * f.view->pageMargin;
        const int space = f.textWidth(QStringLiteral(" "));
        QStringList expected;
        QStringList line;
        int chars = 0;
        for (const QString &w : words) {
            const int width = f.textWidth(w);
            if (!line.isEmpty() && chars + width + int(line.size()) * space >= available) {
                expected << line.join(QLatin1Char(' '));
                line.clear();
                chars = 0;
            }
            line << w;
            chars += width;
        }
        expected << line.join(QLatin1Char(' ')) + QLatin1Char('|');
        QCOMPARE(lines, expected);
    }

    void justificationGapsSpreadFromTheFirst_data()
    {
        QTest::addColumn<int>("spare");
        QTest::addColumn<QList<int>>("extra");
        QTest::newRow("10 spare") << 10 << QList<int>{5, 5};
        QTest::newRow("11 spare") << 11 << QList<int>{6, 5};
        QTest::newRow("300 spare over two words") << 300 << QList<int>{300};
    }
    void justificationGapsSpreadFromTheFirst()
    {
        QFETCH(int, spare);
        QFETCH(QList<int>, extra);
        ViewFixture probe;
        const int space = probe.textWidth(QStringLiteral(" "));
        const QStringList words = extra.size() == 2 ? QStringList{"aa", "bb", "cc"} : QStringList{"aa", "bb"};
        int chars = 0;
        for (const QString &w : words)
            chars += probe.textWidth(w);
        const int margin = probe.view->pageMargin;
        const int width = chars + int(extra.size()) * space + spare + 2 * margin;
        ViewFixture f(width, 400);
        f.view->lineNewParagraph = false;
        f.view->paragraphIndent = 0;
        // A long last word cannot fit, so the line holds exactly `words`.
        f.view->fileOpen(f.write(QStringLiteral("j.txt"), (words.join(QLatin1Char(' ')) + " " + QString(200, u'w')).toLatin1()));
        f.view->file.seek(0);
        f.view->readStringFit();
        QCOMPARE(f.view->lineWordCount, int(words.size()));
        for (int i = 0; i < extra.size(); ++i)
            QCOMPARE(f.view->lineWords[size_t(i)].gap, space + extra[i]);
    }

    void lineOfNarrowWordsStopsAtTheWordTable()
    {
        ViewFixture f(4000, 400);
        QByteArray text;
        for (int i = 0; i < 150; ++i)
            text += "i ";
        const QStringList lines = linesOf(f, text);
        QCOMPARE(lines.first().split(QLatin1Char(' ')).size(), MyView::MaxLineWords);
        QCOMPARE(lines.join(QLatin1Char(' ')).count(QLatin1Char('i')), 150);
    }

    void customParagraphPattern()
    {
        ViewFixture f(2000, 400);
        f.view->paragraphRegexp = QStringLiteral("^Chapter|^\\s");
        f.view->pickupSettings();
        QCOMPARE(f.view->paragraphPatternLast, 1);
        QCOMPARE(linesOf(f, "end of it\nChapter two\nnext line"), (QStringList{"end of it|", "Chapter two next line|"}));
    }

    void paragraphPatternSplit_data()
    {
        QTest::addColumn<QString>("regexp");
        QTest::addColumn<QStringList>("patterns");
        QTest::newRow("no bar") << "^x" << QStringList{"^x"};
        QTest::newRow("one bar") << "^a|^b" << QStringList{"^a", "^b"};
        QTest::newRow("last cut to 100") << "^a|" + QString(150, u'z') << QStringList{"^a", QString(100, u'z')};
        QTest::newRow("more alternatives than slots") << "1|2|3|4|5|6" << QStringList{"1", "2", "3", "4", "5|6"};
    }
    void paragraphPatternSplit()
    {
        QFETCH(QString, regexp);
        QFETCH(QStringList, patterns);
        ViewFixture f;
        f.view->paragraphRegexp = regexp;
        f.view->pickupSettings();
        QStringList got;
        for (int i = 0; i <= f.view->paragraphPatternLast; ++i)
            got << f.view->paragraphPatterns[i];
        QCOMPARE(got, patterns);
    }

    void codePageMapping()
    {
        ViewFixture f(2000, 400);
        f.view->encodingName = QStringLiteral("CP 1251");
        f.view->pickupSettings();
        f.view->fileOpen(f.write(QStringLiteral("c.txt"), QByteArray("\xE4\xEE\xEC")));
        f.view->file.seek(0);
        f.view->readStringFit();
        QCOMPARE(f.view->lineWords[0].text, QString::fromUtf8("дом"));
        QCOMPARE(f.view->file.pos(), qint64(3));
    }
};

QTEST_MAIN(tst_LineFitting)
#include "tst_linefitting.moc"
