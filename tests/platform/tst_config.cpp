// Settings files, in a configuration folder of the test's own that does not exist yet.
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include "Config.h"

class tst_Config : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QString folder() const { return m_home->path() + "/not/yet"; }
    void writeFile(const QByteArray &bytes) const
    {
        QFile f(folder() + "/Folium.conf");
        QVERIFY(QDir().mkpath(folder()) && f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder()));
    }

    void roundTrip()
    {
        const QStringList texts{"  padded  ", "/books/\"quoted\"; part=1.txt", "@Variant(junk)", "[Global] #not a comment",
                                "C:\\dict\\n.dic", "a\nb\r\nc", "a,b", "/home/user/Книги/été 書.txt", ""};
        {
            Config c("Folium");
            QVERIFY(!c.isValid());
            QCOMPARE(c.fileName(), folder() + "/Folium.conf");
            QVERIFY(c.readEntry("Fontname").isNull());
        }
        QVERIFY(!QDir(folder()).exists()); // reading creates nothing
        {
            Config c("Folium");
            c.setGroup("Global");
            for (int i = 0; i < texts.size(); ++i)
                c.writeEntry(QString("Text%1").arg(i), texts[i]);
            c.writeEntry("Large", qint64(5'000'000'123LL));
            c.writeEntry("Bold", true);
            c.writeEntry("Note", "literal"); // a C string stays text
        }
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Folium.conf"}); // no temporary files left
        Config c("Folium");
        QVERIFY(c.isValid());
        c.setGroup("Global");
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(c.readEntry(QString("Text%1").arg(i), "default"), texts[i]);
        QCOMPARE(c.readNum64Entry("Large", 7), qint64(5'000'000'123LL));
        QCOMPARE(c.readNumEntry("Large", 7), 7); // does not fit: the default, not a truncation
        QVERIFY(c.readBoolEntry("Bold", false) && c.readNumEntry("Bold", 7) == 7);
        QCOMPARE(c.readEntry("Note"), QString("literal"));
        c.setGroup("Other");
        QCOMPARE(c.readEntry("Text0", "default"), QString("default")); // groups are separate
    }

    void damagedFiles()
    {
        writeFile("[Global]\nText=large\nTail=12pt\nBig=99999999999\nHuge=99999999999999999999\nPadded= 12 \n"
                  "Empty=\nCommas=a,b\nMaybe=maybe\nTwo=2\nZero=0\nCapital=FALSE\nVariant=@Variant(\\0\\0\\xff)\n[Other]\nElse=12\n");
        {
            Config c("Folium");
            c.setGroup("Global");
            for (const char *key : {"Text", "Tail", "Big", "Empty", "Variant", "Else"})
                QCOMPARE(c.readNumEntry(key, 77), 77);
            QCOMPARE(c.readNum64Entry("Huge", 77), qint64(77));
            QCOMPARE(c.readNumEntry("Padded", 77), 12);
            QCOMPARE(c.readEntry("Commas", "D"), QString("a,b"));
            QVERIFY(!c.readBoolEntry("Maybe", false) && !c.readBoolEntry("Two", false));
            QVERIFY(!c.readBoolEntry("Zero", true) && !c.readBoolEntry("Capital", true));
        }
        // Binary junk reads as defaults, and the first write replaces it.
        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919 + 13) % 256);
        writeFile(junk);
        {
            Config c("Folium");
            c.setGroup("Global");
            QVERIFY(c.readNumEntry("Fontsize", 77) == 77 && c.readEntry("Fontname", "D") == "D" && c.readBoolEntry("Bold", true));
            c.writeEntry("Fontsize", 16);
        }
        Config c("Folium");
        c.setGroup("Global");
        QVERIFY(c.isValid() && c.readNumEntry("Fontsize", -1) == 16);
    }
};

QTEST_APPLESS_MAIN(tst_Config)
#include "tst_config.moc"
