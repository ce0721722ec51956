#include <QStringList>
#include <QTest>

#include "toUnicode.h"

class tst_toUnicode : public QObject
{
    Q_OBJECT

private slots:
    void knownValues_data();
    void knownValues();
    void tableShape_data();
    void tableShape();
    void koi8uDiffersFromKoi8r();
    void setCodec_data();
    void setCodec();
    void setCodecReplacesEarlierChoice();
    void codecListNamesEveryTable();
    void stringToUnicode_data();
    void stringToUnicode();

private:
    static toUnicode select(const QString &name)
    {
        toUnicode t;
        t.setCodec(name);
        return t;
    }
};

void tst_toUnicode::knownValues_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("expected");

    struct Row { const char *page; int byte; int expected; };
    const Row rows[] = {
        {"KOI8-R", 0x80, 0x2500}, {"KOI8-R", 0xC0, 0x044E}, {"KOI8-R", 0xFF, 0x042A},
        {"KOI8-R", 0x41, 0x0041},
        {"KOI8-U", 0xA4, 0x0454}, {"KOI8-U", 0xBD, 0x0490},
        {"ISO 8859-2", 0xC0, 0x0154}, {"ISO 8859-2", 0xFF, 0x02D9},
        {"ISO 8859-4", 0xC0, 0x0100},
        {"ISO 8859-5", 0xC0, 0x0420}, {"ISO 8859-5", 0xFF, 0x045F},
        {"ISO 8859-6-I", 0xE0, 0x0640},
        {"ISO 8859-7", 0xC0, 0x0390}, {"ISO 8859-7", 0xFF, 0xFFFD},
        {"ISO 8859-7", 0xA4, 0xFFFD}, {"ISO 8859-7", 0xA5, 0xFFFD}, {"ISO 8859-7", 0xAA, 0xFFFD},
        {"ISO 8859-8-I", 0xE0, 0x05D0}, {"ISO 8859-8-I", 0xAF, 0x203E},
        {"ISO 8859-8-I", 0xFD, 0xFFFD}, {"ISO 8859-8-I", 0xFE, 0xFFFD},
        {"ISO 8859-9", 0xFF, 0x00FF},
        {"ISO 8859-10", 0xFF, 0x0138},
        {"ISO 8859-13", 0xFF, 0x2019},
        {"ISO 8859-15", 0xA4, 0x20AC},
        {"PT 154", 0x80, 0x0496}, {"PT 154", 0xC0, 0x0410},
        {"PT 154", 0x82, 0x201A}, {"PT 154", 0x86, 0x2020}, {"PT 154", 0x8B, 0x2039},
        {"PT 154", 0x99, 0x2122}, {"PT 154", 0x9B, 0x203A}, {"PT 154", 0xAD, 0x00AD},
        {"CP 874", 0x80, 0x20AC},
        {"CP 1250", 0x80, 0x20AC}, {"CP 1250", 0x81, 0xFFFD},
        {"CP 1251", 0x80, 0x0402}, {"CP 1251", 0x98, 0xFFFD}, {"CP 1251", 0xC0, 0x0410},
        {"CP 1252", 0x80, 0x20AC}, {"CP 1252", 0x81, 0xFFFD}, {"CP 1252", 0x8D, 0xFFFD},
        {"CP 1252", 0x8F, 0xFFFD}, {"CP 1252", 0x90, 0xFFFD}, {"CP 1252", 0x9D, 0xFFFD},
        {"CP 1252", 0x41, 0x0041},
        {"CP 1255", 0xC0, 0x05B0},
        {"CP 1256", 0x81, 0x067E},
        {"CP 1257", 0x8D, 0x00A8},
        {"ISO 8859-11", 0xA0, 0x00A0}, {"ISO 8859-11", 0xC0, 0x0E20},
        {"ISO 8859-11", 0x80, 0xFFFD}, {"ISO 8859-11", 0x9F, 0xFFFD},
    };
    for (const Row &r : rows)
        QTest::addRow("%s 0x%02X", r.page, r.byte) << QString::fromLatin1(r.page) << r.byte
                                                  << r.expected;
}

void tst_toUnicode::knownValues()
{
    QFETCH(QString, codePage);
    QFETCH(int, byte);
    QFETCH(int, expected);

    const toUnicode t = select(codePage);
    QVERIFY(t.index() >= 0);
    QCOMPARE(int(t.getQChar(static_cast<unsigned char>(byte)).unicode()), expected);
}

// For every table: how many bytes are unassigned, whether 0x80-0x9F are the C1 controls, and
// the rules that hold for the lower half and byte 0xA0.
void tst_toUnicode::tableShape_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<int>("unassigned");
    QTest::addColumn<bool>("c1Controls");

    struct Row { const char *page; int unassigned; bool c1; };
    const Row rows[] = {
        {"KOI8-R", 0, false},       {"KOI8-U", 0, false},        {"ISO 8859-2", 0, true},
        {"ISO 8859-3", 7, true},    {"ISO 8859-4", 0, true},     {"ISO 8859-5", 0, true},
        {"ISO 8859-6-I", 45, true}, {"ISO 8859-7", 6, true},     {"ISO 8859-8-I", 38, true},
        {"ISO 8859-9", 0, true},    {"ISO 8859-10", 0, true},    {"ISO 8859-13", 0, true},
        {"ISO 8859-14", 0, true},   {"ISO 8859-15", 0, true},    {"PT 154", 0, false},
        {"CP 874", 31, false},      {"CP 1250", 5, false},       {"CP 1251", 1, false},
        {"CP 1252", 5, false},      {"CP 1253", 17, false},      {"CP 1254", 7, false},
        {"CP 1255", 23, false},     {"CP 1256", 0, false},       {"CP 1257", 12, false},
        {"CP 1258", 9, false},      {"ISO 8859-11", 40, false},
    };
    for (const Row &r : rows)
        QTest::newRow(r.page) << QString::fromLatin1(r.page) << r.unassigned << r.c1;
}

void tst_toUnicode::tableShape()
{
    QFETCH(QString, codePage);
    QFETCH(int, unassigned);
    QFETCH(bool, c1Controls);

    const toUnicode t = select(codePage);
    QVERIFY(t.index() >= 0);

    for (int b = 0; b < 0x80; ++b)
        QCOMPARE(int(t.getQChar(static_cast<unsigned char>(b)).unicode()), b);

    int replacements = 0;
    for (int b = 0x80; b <= 0xFF; ++b) {
        const QChar c = t.getQChar(static_cast<unsigned char>(b));
        if (c.unicode() == 0xFFFD)
            ++replacements;
        else
            QVERIFY2(c.unicode() >= 0x80, qPrintable(QString::number(b, 16)));  // no ASCII
    }
    QCOMPARE(replacements, unassigned);

    for (int b = 0x80; b < 0xA0; ++b) {
        const int value = t.getQChar(static_cast<unsigned char>(b)).unicode();
        if (c1Controls)
            QCOMPARE(value, b);
        else
            QVERIFY(value < 0x80 || value > 0x9F);  // C1 controls only in the ISO tables
    }

    const int nbsp = codePage.startsWith(QLatin1String("KOI8")) ? 0x2550 : 0x00A0;
    QCOMPARE(int(t.getQChar(0xA0).unicode()), nbsp);
}

void tst_toUnicode::koi8uDiffersFromKoi8r()
{
    const toUnicode r = select(QStringLiteral("KOI8-R"));
    const toUnicode u = select(QStringLiteral("KOI8-U"));
    QList<int> differing;
    for (int b = 0x80; b <= 0xFF; ++b) {
        if (r.getQChar(static_cast<unsigned char>(b)) != u.getQChar(static_cast<unsigned char>(b)))
            differing << b;
    }
    const QList<int> expected{0xA4, 0xA6, 0xA7, 0xAD, 0xB4, 0xB6, 0xB7, 0xBD};
    QCOMPARE(differing, expected);
}

void tst_toUnicode::setCodec_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");

    QTest::newRow("first") << QStringLiteral("KOI8-R") << 0;
    QTest::newRow("PT 154") << QStringLiteral("PT 154") << 14;
    QTest::newRow("last") << QStringLiteral("ISO 8859-11") << 25;
    QTest::newRow("lower case") << QStringLiteral("koi8-r") << -1;
    QTest::newRow("mixed case") << QStringLiteral("Cp 1251") << -1;
    QTest::newRow("UTF-8") << QStringLiteral("UTF-8") << -1;
    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("platform spelling") << QStringLiteral("ISO-8859-2") << -1;
    QTest::newRow("Latin-1 is not built in") << QStringLiteral("ISO 8859-1") << -1;
    QTest::newRow("prefix of a name") << QStringLiteral("CP 125") << -1;
    QTest::newRow("longer than a name") << QStringLiteral("CP 12520") << -1;
    QTest::newRow("trailing space") << QStringLiteral("KOI8-U ") << -1;
}

void tst_toUnicode::setCodec()
{
    QFETCH(QString, name);
    QFETCH(int, index);
    QCOMPARE(select(name).index(), index);
}

void tst_toUnicode::setCodecReplacesEarlierChoice()
{
    toUnicode t;
    QCOMPARE(t.index(), -1);
    t.setCodec(QStringLiteral("CP 1252"));
    QCOMPARE(t.index(), 18);
    t.setCodec(QStringLiteral("UTF-8"));
    QCOMPARE(t.index(), -1);
    const QString text = QStringLiteral("caf\u00e9");
    QCOMPARE(t.stringToUnicode(text), text);
    // A caller that forgets to check the index gets Latin-1, not a read before the tables.
    QCOMPARE(t.getQChar(0x80), QChar(0x80));
    QCOMPARE(t.getQChar(0xFF), QChar(0xFF));
}

void tst_toUnicode::codecListNamesEveryTable()
{
    const QString list = toUnicode::getCodecList();
    QVERIFY(list.startsWith(QLatin1String("KOI8-R,KOI8-U,ISO 8859-2,")));
    QVERIFY(list.endsWith(QLatin1String(",CP 1257,CP 1258,ISO 8859-11")));

    const QStringList names = list.split(QLatin1Char(','));
    QCOMPARE(names.size(), 26);
    for (int i = 0; i < names.size(); ++i) {
        QVERIFY2(!names.at(i).isEmpty(), qPrintable(list));
        QCOMPARE(select(names.at(i)).index(), i);  // each name selects its own table
    }
}

void tst_toUnicode::stringToUnicode_data()
{
    QTest::addColumn<QString>("codePage");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("cp1251 bytes") << QStringLiteral("CP 1251")
                                  << QString::fromLatin1("A\xC0\xE0 z")
                                  << QStringLiteral("A\u0410\u0430 z");
    QTest::newRow("above U+00FF becomes NUL") << QStringLiteral("CP 1251")
                                              << QStringLiteral("x\u0410y")
                                              << QString(QLatin1Char('x') + QChar(0) + 'y');
    QTest::newRow("koi8-r") << QStringLiteral("KOI8-R") << QString::fromLatin1("\x80\xFF")
                            << QStringLiteral("\u2500\u042A");
    QTest::newRow("unassigned byte") << QStringLiteral("CP 1252") << QString::fromLatin1("\x81")
                                     << QStringLiteral("\uFFFD");
    QTest::newRow("empty") << QStringLiteral("CP 1252") << QString() << QString();
    QTest::newRow("no table: unchanged") << QStringLiteral("UTF-8")
                                         << QStringLiteral("\u0410\xC0")
                                         << QStringLiteral("\u0410\xC0");
}

void tst_toUnicode::stringToUnicode()
{
    QFETCH(QString, codePage);
    QFETCH(QString, input);
    QFETCH(QString, expected);

    const QString out = select(codePage).stringToUnicode(input);
    QCOMPARE(out.size(), input.size());
    QCOMPARE(out, expected);
}

QTEST_APPLESS_MAIN(tst_toUnicode)
#include "tst_tounicode.moc"
