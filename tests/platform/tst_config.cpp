#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include "Config.h"

// Every test points the user's configuration folder at a fresh temporary one.
class tst_Config : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fileFollowsConfigHome();
    void roundTrip_data();
    void roundTrip();
    void rewriteKeepsOtherKeys();
    void groupsAreSeparate();
    void damagedFile_data();
    void damagedFile();
    void damagedFileIsReplacedOnWrite();
    void missingFile();

private:
    QString settingsPath() const { return m_home->path() + QStringLiteral("/Folium.conf"); }
    void writeFile(const QByteArray &bytes) const;

    std::unique_ptr<QTemporaryDir> m_home;
};

void tst_Config::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->path()));
}

void tst_Config::cleanup()
{
    m_home.reset();
    qunsetenv("XDG_CONFIG_HOME");
}

void tst_Config::writeFile(const QByteArray &bytes) const
{
    QFile f(settingsPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

void tst_Config::fileFollowsConfigHome()
{
    {
        Config c(QStringLiteral("Folium"), Config::User);
        QCOMPARE(c.fileName(), settingsPath());
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Fontsize"), 12);
    }
    QVERIFY(QFile::exists(settingsPath()));
    // Nothing but the settings file is left behind (no temporary files of the write).
    QCOMPARE(QDir(m_home->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Folium.conf")});
}

// Each row writes one key and reads it back through a fresh object; some rows also read it with
// a reader of another type, which must give its default.
void tst_Config::roundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    const auto s = [](const char *text) { return QVariant(QString::fromUtf8(text)); };
    QTest::newRow("plain text") << "Fontname" << s("DejaVu Sans");
    QTest::newRow("empty text") << "Encoding" << s("");
    QTest::newRow("colour name") << "pagePenColor" << s("#1a2b3c");
    QTest::newRow("comma list") << "ParagraphRegexp" << s("^ {2,}, \\t");
    QTest::newRow("spaces at ends") << "Fontname" << s("  padded  ");
    QTest::newRow("quotes and semicolon") << "File" << s("/books/\"quoted\"; part=1.txt");
    QTest::newRow("at sign first") << "File" << s("@Variant(junk)");
    QTest::newRow("brackets and hash") << "Folderpath" << s("[Global] #not a comment");
    QTest::newRow("backslashes") << "DictionaryPath" << s("C:\\dict\\n.dic");
    QTest::newRow("line breaks") << "ParagraphRegexp" << s("a\nb\r\nc");
    QTest::newRow("non-ASCII") << "File" << s("/home/user/Книги/été 書.txt");
    QTest::newRow("int zero") << "Position" << QVariant(0);
    QTest::newRow("int negative") << "Rotation" << QVariant(-90);
    QTest::newRow("int max") << "Position" << QVariant(std::numeric_limits<int>::max());
    QTest::newRow("int min") << "Indent" << QVariant(std::numeric_limits<int>::min());
    QTest::newRow("int64 large") << "Position" << QVariant(qint64(5'000'000'123LL));
    QTest::newRow("int64 min") << "Position" << QVariant(std::numeric_limits<qint64>::min());
    QTest::newRow("bool true") << "Bold" << QVariant(true);
    QTest::newRow("bool false") << "Italic" << QVariant(false);
}

void tst_Config::roundTrip()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);

    {
        Config c(QStringLiteral("Folium"));
        QVERIFY(!c.isValid());
        c.setGroup(QStringLiteral("Global"));
        switch (value.metaType().id()) {
        case QMetaType::QString: c.writeEntry(key, value.toString()); break;
        case QMetaType::Int: c.writeEntry(key, value.toInt()); break;
        case QMetaType::LongLong: c.writeEntry(key, value.toLongLong()); break;
        case QMetaType::Bool: c.writeEntry(key, value.toBool()); break;
        default: QFAIL("unexpected row type");
        }
    }

    Config c(QStringLiteral("Folium"));
    QVERIFY(c.isValid());
    c.setGroup(QStringLiteral("Global"));
    switch (value.metaType().id()) {
    case QMetaType::QString:
        QCOMPARE(c.readEntry(key, QStringLiteral("default")), value.toString());
        break;
    case QMetaType::Int:
        QCOMPARE(c.readNumEntry(key, 7), value.toInt());
        QCOMPARE(c.readNum64Entry(key, 7), qint64(value.toInt()));
        break;
    case QMetaType::LongLong:
        QCOMPARE(c.readNum64Entry(key, 7), value.toLongLong());
        QCOMPARE(c.readNumEntry(key, 7), 7);  // does not fit: the default, not a truncation
        break;
    case QMetaType::Bool:
        QCOMPARE(c.readBoolEntry(key, !value.toBool()), value.toBool());
        QCOMPARE(c.readNumEntry(key, 7), 7);
        break;
    }
}

void tst_Config::rewriteKeepsOtherKeys()
{
    {
        Config c(QStringLiteral("Folium"));
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Fontname"), QStringLiteral("Serif"));
        c.writeEntry(QStringLiteral("Fontsize"), 14);
        c.writeEntry(QStringLiteral("Justify"), true);
    }
    {
        Config c(QStringLiteral("Folium"));
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Fontsize"), 18);
        c.writeEntry(QStringLiteral("Note"), "literal");  // a C string stays text
    }
    Config c(QStringLiteral("Folium"));
    c.setGroup(QStringLiteral("Global"));
    QCOMPARE(c.readEntry(QStringLiteral("Fontname")), QStringLiteral("Serif"));
    QCOMPARE(c.readNumEntry(QStringLiteral("Fontsize"), -1), 18);
    QCOMPARE(c.readBoolEntry(QStringLiteral("Justify"), false), true);
    QCOMPARE(c.readEntry(QStringLiteral("Note")), QStringLiteral("literal"));
}

void tst_Config::groupsAreSeparate()
{
    {
        Config c(QStringLiteral("Folium"));
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Scroll"), 5);
        c.setGroup(QStringLiteral("Other"));
        c.writeEntry(QStringLiteral("Scroll"), 9);
    }
    Config c(QStringLiteral("Folium"));
    c.setGroup(QStringLiteral("Global"));
    QCOMPARE(c.readNumEntry(QStringLiteral("Scroll"), -1), 5);
    c.setGroup(QStringLiteral("Other"));
    QCOMPARE(c.readNumEntry(QStringLiteral("Scroll"), -1), 9);
    c.setGroup(QStringLiteral("Missing"));
    QCOMPARE(c.readNumEntry(QStringLiteral("Scroll"), -1), -1);
}

// A file written by hand or damaged: each row reads one key with the reader for the type of
// `deflt`, passing `deflt` as the default.
void tst_Config::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("deflt");
    QTest::addColumn<QVariant>("expected");

    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 7919 + 13) % 256));
    const QVariant text(QStringLiteral("D"));
    const QVariant number(77);
    const QVariant yes(true), no(false);

    QTest::newRow("text for a number") << QByteArray("[Global]\nFontsize=large\n") << "Fontsize"
                                       << number << number;
    QTest::newRow("number with tail") << QByteArray("[Global]\nFontsize=12pt\n") << "Fontsize"
                                      << number << number;
    QTest::newRow("number too big") << QByteArray("[Global]\nPosition=99999999999\n")
                                    << "Position" << number << number;
    QTest::newRow("number too big 64")
        << QByteArray("[Global]\nPosition=99999999999999999999\n") << "Position"
        << QVariant(qint64(77)) << QVariant(qint64(77));
    QTest::newRow("padded number") << QByteArray("[Global]\nFontsize= 12 \n") << "Fontsize"
                                   << number << QVariant(12);
    QTest::newRow("empty number") << QByteArray("[Global]\nFontsize=\n") << "Fontsize" << number
                                  << number;
    QTest::newRow("word for a bool") << QByteArray("[Global]\nBold=maybe\n") << "Bold" << no
                                     << no;
    QTest::newRow("number for a bool") << QByteArray("[Global]\nBold=2\n") << "Bold" << no << no;
    QTest::newRow("zero bool") << QByteArray("[Global]\nBold=0\n") << "Bold" << yes << no;
    QTest::newRow("one bool") << QByteArray("[Global]\nBold=1\n") << "Bold" << no << yes;
    QTest::newRow("capital bool") << QByteArray("[Global]\nBold=FALSE\n") << "Bold" << yes << no;
    QTest::newRow("unquoted commas") << QByteArray("[Global]\nFontname=a,b\n") << "Fontname"
                                     << text << QVariant(QStringLiteral("a,b"));
    QTest::newRow("bad variant") << QByteArray("[Global]\nFontsize=@Variant(\\0\\0\\xff)\n")
                                 << "Fontsize" << number << number;
    QTest::newRow("key in another group") << QByteArray("[Other]\nFontsize=12\n") << "Fontsize"
                                          << number << number;
    QTest::newRow("key outside groups") << QByteArray("Fontsize=12\n") << "Fontsize" << number
                                        << number;
    QTest::newRow("binary junk, number") << junk << "Fontsize" << number << number;
    QTest::newRow("binary junk, text") << junk << "Fontname" << text << text;
    QTest::newRow("binary junk, bool") << junk << "Bold" << no << no;
    QTest::newRow("cut in a group name") << QByteArray("[Glo") << "Fontsize" << number << number;
}

void tst_Config::damagedFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QVariant, deflt);
    QFETCH(QVariant, expected);

    writeFile(content);
    Config c(QStringLiteral("Folium"));
    c.setGroup(QStringLiteral("Global"));
    switch (deflt.metaType().id()) {
    case QMetaType::Int: QCOMPARE(c.readNumEntry(key, deflt.toInt()), expected.toInt()); break;
    case QMetaType::LongLong:
        QCOMPARE(c.readNum64Entry(key, deflt.toLongLong()), expected.toLongLong());
        break;
    case QMetaType::Bool: QCOMPARE(c.readBoolEntry(key, deflt.toBool()), expected.toBool()); break;
    default: QCOMPARE(c.readEntry(key, deflt.toString()), expected.toString()); break;
    }
}

void tst_Config::damagedFileIsReplacedOnWrite()
{
    QByteArray junk(2048, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 31 + 7) % 256);
    writeFile(junk);
    {
        Config c(QStringLiteral("Folium"));
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Fontsize"), 16);
        c.writeEntry(QStringLiteral("File"), QStringLiteral("/books/a.txt"));
    }
    Config c(QStringLiteral("Folium"));
    QVERIFY(c.isValid());
    c.setGroup(QStringLiteral("Global"));
    QCOMPARE(c.readNumEntry(QStringLiteral("Fontsize"), -1), 16);
    QCOMPARE(c.readEntry(QStringLiteral("File")), QStringLiteral("/books/a.txt"));
}

void tst_Config::missingFile()
{
    // The configuration folder itself does not exist yet.
    const QString home = m_home->path() + QStringLiteral("/not/yet");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home));
    {
        Config c(QStringLiteral("Folium"));
        QVERIFY(!c.isValid());
        c.setGroup(QStringLiteral("Global"));
        QCOMPARE(c.readEntry(QStringLiteral("Fontname")), QString());
        QVERIFY(c.readEntry(QStringLiteral("Fontname")).isNull());
        QCOMPARE(c.readNumEntry(QStringLiteral("Fontsize"), -1), -1);
        QCOMPARE(c.readBoolEntry(QStringLiteral("Bold"), true), true);
    }
    QVERIFY(!QFile::exists(home + QStringLiteral("/Folium.conf")));  // reading creates nothing
    {
        Config c(QStringLiteral("Folium"));
        QVERIFY(!c.isValid());
        c.setGroup(QStringLiteral("Global"));
        c.writeEntry(QStringLiteral("Fontsize"), 11);
    }
    Config c(QStringLiteral("Folium"));
    QVERIFY(c.isValid());
    QCOMPARE(c.fileName(), home + QStringLiteral("/Folium.conf"));
}

QTEST_APPLESS_MAIN(tst_Config)
#include "tst_config.moc"
