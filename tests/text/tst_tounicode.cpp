// The built-in code-page tables, exact name matching, and the no-table fallback.
#include <QtTest>
#include "toUnicode.h"

class tst_toUnicode : public QObject
{
    Q_OBJECT

    static toUnicode select(const QString &name)
    {
        toUnicode t;
        t.setCodec(name);
        return t;
    }

private slots:
    void tables()
    {
        struct Row { const char *page; int byte, expected; };
        for (const Row &r : {Row{"KOI8-R", 0xA4, 0x2553}, {"KOI8-U", 0xA4, 0x0454}, {"ISO 8859-8-I", 0xAF, 0x203E},
                             {"ISO 8859-15", 0xA4, 0x20AC}, {"PT 154", 0x80, 0x0496}, {"CP 1252", 0x80, 0x20AC}})
            QCOMPARE(int(select(r.page).getQChar(uchar(r.byte)).unicode()), r.expected);

        const QStringList names = toUnicode::getCodecList().split(',');
        for (int i = 0; i < names.size(); ++i) {
            const toUnicode t = select(names[i]);
            QCOMPARE(t.index(), i); // each name selects its own table
            for (int b = 0; b < 0x100; ++b) {
                const int c = t.getQChar(uchar(b)).unicode();
                QVERIFY2(b < 0x80 ? c == b : c >= 0x80, qPrintable(names[i])); // ASCII only below 0x80
            }
        }
    }

    void selection()
    {
        for (const char *name : {"koi8-r", "ISO-8859-2", "ISO 8859-1", "CP 125", "CP 12520", "KOI8-U ", "UTF-8", ""})
            QCOMPARE(select(name).index(), -1);
        toUnicode t = select("CP 1251");
        QCOMPARE(t.stringToUnicode(QStringLiteral("A\xC0 x\u0410")), QString("A\u0410 x") + QChar(0)); // above U+00FF: NUL
        t.setCodec("UTF-8"); // replaces the earlier choice
        QCOMPARE(t.stringToUnicode(QStringLiteral("\u0410\xC0")), QStringLiteral("\u0410\xC0"));
        // A caller that forgets to check the index gets Latin-1, not a read before the tables.
        QCOMPARE(t.getQChar(0x80), QChar(0x80));
    }
};

QTEST_APPLESS_MAIN(tst_toUnicode)
#include "tst_tounicode.moc"
