// Character references: named ones against values taken from Python's html.entities.html5, and
// numeric bodies at every edge.
#include "HtmlEntities.h"
#include "html_entities_table.h"

#include <QtTest>

class tst_HtmlEntities : public QObject
{
    Q_OBJECT

private slots:
    // What stands between "&" and ";": a name, or after "#" a number.
    void references_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<uint>("first"); // 0: not a reference
        QTest::addColumn<uint>("second");
        struct Row { const char *body; uint first, second; };
        const Row rows[] = {
            // first and last name in byte order, case twins, the longest; beyond the BMP; two code points
            {"AElig", 0xC6, 0}, {"zwnj", 0x200C, 0}, {"aelig", 0xE6, 0}, {"AELIG", 0, 0}, {"AMP", 0x26, 0},
            {"Amp", 0, 0}, {"CounterClockwiseContourIntegral", 0x2233, 0}, {"Afr", 0x1D504, 0},
            {"acE", 0x223E, 0x333}, {"fjlig", 0x66, 0x6A},
            // near misses: prefixes, extensions, the ";" kept, outside the letter index, too long
            {"", 0, 0}, {"a", 0, 0}, {"nbs", 0, 0}, {"zwnjx", 0, 0}, {"AEli", 0, 0}, {"amp;", 0, 0},
            {"nbsp ", 0, 0}, {"1amp", 0, 0}, {"{", 0, 0}, {"CounterClockwiseContourIntegralXY", 0, 0},
            // numbers: decimal, hexadecimal either case, leading zeros, the last code point and past it
            {"#65", 'A', 0}, {"#X41", 'A', 0}, {"#xe9", 0xE9, 0}, {"#xE9", 0xE9, 0},
            {"#0000000000000000000000000065", 'A', 0}, {"#x0000000000000000000000001F600", 0x1F600, 0},
            {"#1114111", 0x10FFFF, 0}, {"#x110000", 0xFFFD, 0}, {"#0", 0xFFFD, 0}, {"#x0", 0xFFFD, 0},
            // surrogates; noncharacters kept
            {"#xD7FF", 0xD7FF, 0}, {"#xD800", 0xFFFD, 0}, {"#57343", 0xFFFD, 0}, {"#xE000", 0xE000, 0},
            {"#xFFFE", 0xFFFE, 0},
            // overflow of any integer type still gives U+FFFD
            {"#4294967361", 0xFFFD, 0}, {"#xFFFFFFFFFFFFFFFFFFFFFFFF", 0xFFFD, 0},
            // windows-1252 in the C1 range, unassigned values kept
            {"#128", 0x20AC, 0}, {"#x9F", 0x178, 0}, {"#x81", 0x81, 0}, {"#127", 0x7F, 0}, {"#160", 0xA0, 0},
            // not a numeric reference
            {"#", 0, 0}, {"#x", 0, 0}, {"#xx41", 0, 0}, {"#6a", 0, 0}, {"#x4G", 0, 0}, {"# 65", 0, 0},
            {"#65 ", 0, 0}, {"#+65", 0, 0}, {"#-1", 0, 0}, {"#1114112z", 0, 0},
            {"#999999999999999999q", 0, 0},
        };
        for (const Row &r : rows)
            QTest::newRow(*r.body ? r.body : "empty") << QString::fromLatin1(r.body) << r.first << r.second;
        QTest::newRow("non-ASCII") << QStringLiteral("ämp") << 0u << 0u;
        QTest::newRow("fullwidth digit") << QStringLiteral("#6\uFF15") << 0u << 0u;
        QTest::newRow("Arabic-Indic digit") << QStringLiteral("#\u0666") << 0u << 0u;
    }

    void references()
    {
        QFETCH(QString, body);
        QFETCH(uint, first);
        QFETCH(uint, second);
        char32_t gotFirst = 'x', gotSecond = 'x';
        if (body.startsWith('#')) {
            QCOMPARE(uint(numericCharacterReference(body.mid(1))), first);
        } else {
            QCOMPARE(lookupHtmlEntity(body, gotFirst, gotSecond), first != 0);
            QCOMPARE(uint(gotFirst), first);
            QCOMPARE(uint(gotSecond), second);
        }
    }

    // Every name in the table is found again, with both its code points: its order and the letter
    // index agree with the search.
    void everyNameFound()
    {
        for (int i = 0; i < htmlEntityTableSize; ++i) {
            const HtmlEntityRecord &r = htmlEntityRecords[i];
            const QString name = QString::fromLatin1(htmlEntityNames + r.nameOffset, r.nameLength);
            char32_t first, second;
            QVERIFY2(lookupHtmlEntity(name, first, second), qPrintable(name));
            QVERIFY(first == r.first && second == r.second);
        }
    }
};

QTEST_APPLESS_MAIN(tst_HtmlEntities)
#include "tst_htmlentities.moc"
