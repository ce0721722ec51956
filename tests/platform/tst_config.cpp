// Settings files, in a configuration folder of the test's own that does not exist yet.
#include "Config.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder()));
    }

    // Texts that look like the file's own syntax come back as written, and so do 64-bit numbers;
    // reading a missing file creates nothing, and writing leaves no temporary file behind.
    void roundTrip()
    {
        const QStringList texts{"  padded  ", "/books/\"quoted\"; p=1.txt", "@Variant(junk)", "[Global] #no",
                                "C:\\dict\\n.dic", "a\nb\r\nc", "a,b", "/home/Книги/été 書.txt", ""};
        QVERIFY(!Config("Folium").isValid() && Config("Folium").readEntry("Fontname").isNull());
        QVERIFY(!QDir(folder()).exists());
        {
            Config c("Folium");
            c.setGroup("Global");
            for (int i = 0; i < texts.size(); ++i)
                c.writeEntry(QString("Text%1").arg(i), texts[i]);
            c.writeEntry("Large", qint64(5'000'000'123LL));
            c.writeEntry("Bold", true);
            c.writeEntry("Note", "literal"); // a C string stays text
        }
        QCOMPARE(QDir(folder()).entryList(QDir::Files | QDir::Hidden), QStringList{"Folium.conf"});
        Config c("Folium");
        QVERIFY(c.isValid());
        c.setGroup("Global");
        for (int i = 0; i < texts.size(); ++i)
            QCOMPARE(c.readEntry(QString("Text%1").arg(i), "default"), texts[i]);
        QCOMPARE(c.readNum64Entry("Large", 7), qint64(5'000'000'123LL));
        QCOMPARE(c.readNumEntry("Large", 7), 7); // does not fit: the default, not a truncation
        QVERIFY(c.readBoolEntry("Bold", false) && c.readNumEntry("Bold", 7) == 7);
        QCOMPARE(c.readEntry("Note"), QString("literal"));
    }

    // Values that do not read as the type asked for give the default; a file of binary junk reads
    // as defaults, and the first write replaces it.
    void damagedFiles()
    {
        writeFile("[Global]\nText=large\nTail=12pt\nBig=99999999999\nHuge=99999999999999999999\nPadded= 12 \n"
                  "Empty=\nCommas=a,b\nTwo=2\nZero=0\nCapital=FALSE\n"
                  "Variant=@Variant(\\0\\0\\xff)\n[Other]\nElse=12\n");
        {
            Config c("Folium");
            c.setGroup("Global");
            for (const char *key : {"Text", "Tail", "Big", "Empty", "Variant", "Else"}) // Else: another group
                QCOMPARE(c.readNumEntry(key, 77), 77);
            QCOMPARE(c.readNum64Entry("Huge", 77), qint64(77));
            QCOMPARE(c.readNumEntry("Padded", 77), 12);
            QCOMPARE(c.readEntry("Commas", "D"), QString("a,b"));
            QVERIFY(!c.readBoolEntry("Two", false) && !c.readBoolEntry("Zero", true)
                    && !c.readBoolEntry("Capital", true));
        }
        QByteArray junk(4096, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char((i * 7919 + 13) % 256);
        writeFile(junk);
        {
            Config c("Folium");
            c.setGroup("Global");
            QVERIFY(c.readNumEntry("Fontsize", 77) == 77 && c.readEntry("Fontname", "D") == "D"
                    && c.readBoolEntry("Bold", true));
            c.writeEntry("Fontsize", 16);
        }
        Config c("Folium");
        c.setGroup("Global");
        QVERIFY(c.isValid() && c.readNumEntry("Fontsize", -1) == 16);
    }
};

QTEST_APPLESS_MAIN(tst_Config)
#include "tst_config.moc"
