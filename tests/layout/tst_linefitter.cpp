// Line fitting: word separation, paragraph decisions, HTML handling, breaking and gaps (decoding:
// tst_document).
#include "LayoutFixture.h"

#include <QRandomGenerator>
#include <QtTest>

class tst_LineFitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void separatorsAndParagraphs_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("reparagraph");
        QTest::addColumn<bool>("crConvert");
        QTest::addColumn<QStringList>("lines");
        auto row = [](const char *name, const QByteArray &text, const QStringList &lines,
                      bool reparagraph = true, bool crConvert = false) {
            QTest::newRow(name) << text << reparagraph << crConvert << lines;
        };
        // Leading spaces dropped, two spaces one gap, a tab after a space dropped, a tab separates.
        row("spaces and tabs", "   a  b \tc\td", {"a b c d|"});
        row("line feed then letter joins", "one\ntwo", {"one two|"});
        row("line feed then space or tab ends", "one\n two\n\tthree", {"one|", "two|", "three|"});
        row("empty line ends, blank line kept", "one\n\ntwo", {"one|", "|", "two|"});
        row("no reparagraph: every line feed ends", "one\ntwo", {"one|", "two|"}, false);
        row("CR LF reads as one line feed", "one\r\ntwo", {"one two|"});
        row("CR LF converted is an empty line", "one\r\ntwo", {"one|", "|", "two|"}, true, true);
        row("CR LF CR LF ends a paragraph as LF LF does", "one\r\n\r\ntwo", {"one|", "|", "two|"});
        row("lone CR dropped", "ab\rcd", {"abcd|"});
        row("NUL bytes do not stop reading", QByteArray("ab\0cd ef", 8),
            {QStringLiteral("ab") + QChar(0) + "cd ef|"});
        row("trailing line feed at the end", "end\n", {"end |"});
    }
    void separatorsAndParagraphs()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, reparagraph);
        QFETCH(bool, crConvert);
        QFETCH(QStringList, lines);
        LayoutFixture f;
        f.layout.reparagraph = reparagraph;
        f.layout.crConvert = crConvert;
        f.open(QStringLiteral("t.txt"), text);
        QCOMPARE(f.lines(2000), lines);
    }

    // HTML as a browser reads it, each rule with an input it once got wrong; "|" ends a paragraph.
    void html_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("stripNewlines");
        QTest::addColumn<QStringList>("lines");
        auto row = [](const char *name, const QByteArray &text, const QStringList &lines, bool strip = false) {
            QTest::newRow(name) << text << strip << lines;
        };
        // Tags.
        row("br breaks the line, not the paragraph", "a<BR>b<br/>c", {"a", "b", "c|"});
        row("tags with attributes count", "a<p class=x>b<br clear=all>c", {"a|", "b", "c|"});
        row("other tags dropped", "x<b>y</b>z", {"xyz|"});
        row("< without a letter is text", "a < b, 1<2 <3 < br >", {"a < b, 1<2 <3 < br >|"});
        row("comments end at -->", "a<!-- x > y <p> -->b<!---->c", {"abc|"});
        row("declarations and instructions", "<!DOCTYPE html><?xml version=\"1.0\"?>text", {"text|"});
        row("unclosed tag runs to the end", "a <never closed", {"a |"});
        row("> inside a quoted value", "a<p title=\"x>y\" class='>'>b<i x=y'z>c", {"a|", "bc|"});
        // Blocks.
        row("block elements end paragraphs", "<h1>T</h1>text<div>d</div><li>x<hr>y", {"T|", "text|", "d|", "x|", "y|"});
        row("block edges in a row count once", "<div><p>a</p></div>\n<div>b</div>", {"a|", "b|"}, true);
        row("table cells are spaced", "<tr><td>a</td><td>b</td><th>c</th></tr>", {"a b c|"});
        row("head, script and style are not shown",
            "<head><title>T</title><style>p{}</style></head><script>if (a<b) x(\"</p>\");</script>body", {"body|"});
        row("pre keeps its lines and spaces", "<pre>a  b\nc</pre>d", {QString::fromUtf8("a\u00A0\u00A0b"), "c|", "d|"}, true);
        row("line feeds as spaces", "one\ntwo<br>three", {"one two", "three|"}, true);
        // References.
        row("a bare & is text", "Rock & roll, a&b c &; &#; & ;", {"Rock & roll, a&b c &; &#; & ;|"});
        row("named references", "&copy; &rsquo; caf&eacute; &AMP;&lt;&gt;&quot;",
            {QString::fromUtf8("\u00A9 \u2019 caf\u00E9 &<>\"|")});
        row("numeric references", "&#8212;&#x2014;&#X2014; &#0;&#xD800;&#x110000;",
            {QString::fromUtf8("\u2014\u2014\u2014 \uFFFD\uFFFD\uFFFD|")});
        row("unknown name is a space", "a&nosuch;b", {"a b|"});
        row("too long to be a reference", "&" + QByteArray(33, 'a') + ";", {"&" + QString(33, u'a') + ";|"});
        row("a reference of two characters", "&NotEqualTilde;x", {QString::fromUtf8("\u2242\u0338x|")});
    }
    void html()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, stripNewlines);
        QFETCH(QStringList, lines);
        LayoutFixture f;
        f.layout.reparagraph = false;
        f.layout.stripNewlinesInHtml = stripNewlines;
        f.open(QStringLiteral("page.txt"), text, QStringLiteral("UTF-8"), true);
        QCOMPARE(f.lines(2000), lines);
    }

    void longWordBreaksAfterTheCharacterReachingTheWidth()
    {
        LayoutFixture f;
        const QByteArray word(120, 'm');
        f.open(QStringLiteral("w.txt"), word);
        const QStringList lines = f.lines(200);
        QVERIFY(lines.size() > 1);
        QCOMPARE(lines.join(QString()).remove(QLatin1Char('|')), QString::fromLatin1(word));
        const int available = 200 - 2 * f.layout.pageMargin - f.layout.paragraphIndent;
        QVERIFY(f.textWidth(lines.first()) >= available);
        QVERIFY(f.textWidth(lines.first().chopped(1)) < available);
    }

    // Words of random lengths, single spaces, no paragraphs: a line keeps a word while the
    // widths taken so far stay below the available width.
    void matchesGreedyModel()
    {
        LayoutFixture f;
        f.layout.paragraphIndent = 0;
        QRandomGenerator rng(7);
        QStringList words;
        for (int i = 0; i < 600; ++i) {
            QString w;
            const int len = 1 + rng.bounded(12);
            for (int k = 0; k < len; ++k)
                w += QChar(u'a' + rng.bounded(26));
            words << w;
        }
        f.open(QStringLiteral("g.txt"), words.join(QLatin1Char(' ')).toLatin1());
        const int available = 300 - 2 * f.layout.pageMargin;
        const int space = f.textWidth(QStringLiteral(" "));
        QStringList expected, line;
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
        QCOMPARE(f.lines(300), expected);
    }

    // Spare width goes to the gaps a pixel at a time from the first; two words take it all in one.
    void justificationGapsSpreadFromTheFirst()
    {
        const QList<QPair<int, QList<int>>> rows{{10, {5, 5}}, {11, {6, 5}}, {300, {300}}}; // spare, extra
        for (const auto &[spare, extra] : rows) {
            LayoutFixture f;
            const int space = f.textWidth(QStringLiteral(" "));
            const QStringList words = QStringList{"aa", "bb", "cc"}.mid(0, extra.size() + 1);
            int width = int(extra.size()) * space + spare + 2 * f.layout.pageMargin;
            for (const QString &w : words)
                width += f.textWidth(w);
            // A long last word cannot fit, so the line holds exactly `words`.
            f.open(QStringLiteral("j.txt"), words.join(QLatin1Char(' ')).toLatin1() + " " + QByteArray(200, 'w'));
            TextStyle style;
            f.fitter.readStringFit(width, false, style);
            QCOMPARE(f.fitter.lineWordCount(), int(words.size()));
            for (int i = 0; i < extra.size(); ++i)
                QCOMPARE(f.fitter.lineWord(i).gap, space + extra[i]);
        }
    }

    void lineOfNarrowWordsStopsAtTheWordTable()
    {
        LayoutFixture f;
        f.open(QStringLiteral("i.txt"), QByteArray("i ").repeated(150));
        const QStringList lines = f.lines(4000);
        QCOMPARE(lines.first().split(QLatin1Char(' ')).size(), LineFitter::MaxLineWords);
        QCOMPARE(lines.join(QLatin1Char(' ')).count(QLatin1Char('i')), 150);
    }

    // Up to five alternatives, the last holding the rest, each cut to 100 characters.
    void paragraphPatterns()
    {
        for (const auto &[regexp, patterns] : QList<QPair<QString, QStringList>>{
                 {"^x", {"^x"}}, {"^Chapter|^\\s", {"^Chapter", "^\\s"}},
                 {"^a|" + QString(150, u'z'), {"^a", QString(100, u'z')}},
                 {"1|2|3|4|5|6", {"1", "2", "3", "4", "5|6"}}}) {
            LayoutFixture f;
            f.layout.paragraphRegexp = regexp;
            f.open(QStringLiteral("p.txt"), "end of it\nChapter two\nnext line");
            QCOMPARE(f.fitter.paragraphPatterns().alternatives(), patterns);
            if (regexp.startsWith(QLatin1String("^Chapter")))
                QCOMPARE(f.lines(2000), (QStringList{"end of it|", "Chapter two next line|"}));
        }
    }
};

QTEST_MAIN(tst_LineFitter)
#include "tst_linefitter.moc"
