// Character references: named ones against values taken from Python's html.entities.html5, and
// numeric bodies at every edge.
#include "HtmlEntities.h"
#include "html_entities_table.h"

#include <QtTest>

class tst_HtmlEntities : public QObject
{
    Q_OBJECT

private slots:
    void named_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("first"); // 0: not a name
        QTest::addColumn<uint>("second");
        struct Row { const char *name; uint first, second; };
        const Row rows[] = {
            // first and last in byte order, case twins, the shortest and the longest
            {"AElig", 0xC6, 0}, {"zwnj", 0x200C, 0}, {"aelig", 0xE6, 0}, {"AELIG", 0, 0},
            {"Aacute", 0xC1, 0}, {"aacute", 0xE1, 0}, {"amp", 0x26, 0}, {"AMP", 0x26, 0}, {"Amp", 0, 0},
            {"lt", 0x3C, 0}, {"LT", 0x3C, 0}, {"gt", 0x3E, 0}, {"GT", 0x3E, 0}, {"nbsp", 0xA0, 0},
            {"NBSP", 0, 0}, {"quot", 0x22, 0}, {"CounterClockwiseContourIntegral", 0x2233, 0},
            {"DoubleLongLeftRightArrow", 0x27FA, 0},
            {"Dagger", 0x2021, 0}, {"dagger", 0x2020, 0}, {"euro", 0x20AC, 0}, {"Euro", 0, 0},
            {"hellip", 0x2026, 0}, {"mdash", 0x2014, 0}, {"ndash", 0x2013, 0}, {"rsquo", 0x2019, 0},
            {"ldquo", 0x201C, 0}, {"copy", 0xA9, 0}, {"COPY", 0xA9, 0}, {"trade", 0x2122, 0},
            {"alpha", 0x3B1, 0}, {"Alpha", 0x391, 0}, {"zeta", 0x3B6, 0}, {"ThinSpace", 0x2009, 0},
            {"InvisibleTimes", 0x2062, 0}, {"yuml", 0xFF, 0}, {"Yuml", 0x178, 0}, {"Zopf", 0x2124, 0},
            // beyond the BMP
            {"Afr", 0x1D504, 0}, {"xopf", 0x1D569, 0},
            // two code points
            {"acE", 0x223E, 0x333}, {"bne", 0x3D, 0x20E5}, {"NotEqualTilde", 0x2242, 0x338},
            {"fjlig", 0x66, 0x6A}, {"ngE", 0x2267, 0x338}, {"nvlt", 0x3C, 0x20D2},
            // near misses: prefixes, extensions, the ";" kept, outside the letter index, too long
            {"", 0, 0}, {"a", 0, 0}, {"nbs", 0, 0}, {"zwnjx", 0, 0}, {"AEli", 0, 0}, {"amp;", 0, 0},
            {"nbsp ", 0, 0}, {"1amp", 0, 0}, {"{", 0, 0}, {"@", 0, 0},
            {"CounterClockwiseContourIntegralXY", 0, 0},
        };
        for (const Row &r : rows)
            QTest::newRow(*r.name ? r.name : "empty") << QString::fromLatin1(r.name) << r.first << r.second;
        QTest::newRow("non-ASCII") << QStringLiteral("ämp") << 0u << 0u;
    }

    void named()
    {
        QFETCH(QString, name);
        QFETCH(uint, first);
        QFETCH(uint, second);
        char32_t gotFirst = 'x', gotSecond = 'x';
        QCOMPARE(lookupHtmlEntity(name, gotFirst, gotSecond), first != 0);
        QCOMPARE(uint(gotFirst), first);
        QCOMPARE(uint(gotSecond), second);
    }

    // Every name in the table is found again (its order and the letter index agree with the
    // search), and Python's table has this many names with ";".
    void everyNameFound()
    {
        QCOMPARE(htmlEntityTableSize, 2125);
        for (int i = 0; i < htmlEntityTableSize; ++i) {
            const HtmlEntityRecord &r = htmlEntityRecords[i];
            const QString name = QString::fromLatin1(htmlEntityNames + r.nameOffset, r.nameLength);
            char32_t first, second;
            QVERIFY2(lookupHtmlEntity(name, first, second), qPrintable(name));
            QCOMPARE(first, r.first);
        }
    }

    void numeric_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<uint>("expected");
        struct Row { const char *body; uint expected; };
        const Row rows[] = {
            {"65", 'A'}, {"x41", 'A'}, {"X41", 'A'}, {"xe9", 0xE9}, {"xE9", 0xE9}, {"233", 0xE9},
            {"0000000000000000000000000065", 'A'}, {"x0000000000000000000000001F600", 0x1F600},
            {"1114111", 0x10FFFF}, {"x10FFFF", 0x10FFFF}, {"1114112", 0xFFFD}, {"x110000", 0xFFFD},
            {"0", 0xFFFD}, {"x0", 0xFFFD}, {"000", 0xFFFD},
            {"xD7FF", 0xD7FF}, {"xD800", 0xFFFD}, {"xDBFF", 0xFFFD}, {"xDC00", 0xFFFD}, {"57343", 0xFFFD},
            {"xE000", 0xE000}, {"xFFFE", 0xFFFE},
            // overflow of any integer type still gives U+FFFD
            {"4294967361", 0xFFFD}, {"x100000041", 0xFFFD}, {"99999999999999999999999999999999", 0xFFFD},
            {"xFFFFFFFFFFFFFFFFFFFFFFFF", 0xFFFD},
            // windows-1252 in the C1 range, unassigned values kept
            {"128", 0x20AC}, {"150", 0x2013}, {"x97", 0x2014}, {"x9F", 0x178}, {"x81", 0x81}, {"x9D", 0x9D},
            {"127", 0x7F}, {"160", 0xA0}, {"9", 0x09},
            // not a numeric reference
            {"", 0}, {"x", 0}, {"X", 0}, {"xx41", 0}, {"6a", 0}, {"aa", 0}, {"x4G", 0}, {" 65", 0},
            {"65 ", 0},
            {"+65", 0}, {"-1", 0}, {"#65", 0}, {"x-41", 0}, {"1114112z", 0}, {"999999999999999999q", 0},
        };
        for (const Row &r : rows)
            QTest::newRow(*r.body ? r.body : "empty") << QString::fromLatin1(r.body) << r.expected;
        QTest::newRow("fullwidth digit") << QStringLiteral("6\uFF15") << 0u;
        QTest::newRow("Arabic-Indic digit") << QStringLiteral("\u0666") << 0u;
    }

    void numeric()
    {
        QFETCH(QString, body);
        QFETCH(uint, expected);
        QCOMPARE(uint(numericCharacterReference(body)), expected);
    }
};

QTEST_APPLESS_MAIN(tst_HtmlEntities)
#include "tst_htmlentities.moc"
