// Reading the rim file back: 8-byte little-endian entries, nothing else trusted.
#include "PluckerIndex.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_PluckerIndex : public QObject
{
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void missing();
};

void tst_PluckerIndex::load_data()
{
    QTest::addColumn<QByteArray>("rim");
    QTest::addColumn<QList<quint64>>("entries"); // id << 48 | paragraph << 32 | offset
    const QByteArray two("\x01\x00\x00\x00\x00\x00\x00\x00"
                         "\xFF\xFE\x02\x01\x78\x56\x34\xF2", 16);
    QTest::newRow("empty") << QByteArray() << QList<quint64>{};
    QTest::newRow("little-endian fields") << two << QList<quint64>{quint64(1) << 48, quint64(0xFEFF) << 48 | quint64(0x0102) << 32 | 0xF2345678};
    QTest::newRow("trailing partial entry ignored") << two + "\x05\x00\x00" << QList<quint64>{quint64(1) << 48, quint64(0xFEFF) << 48 | quint64(0x0102) << 32 | 0xF2345678};
    QTest::newRow("shorter than one entry") << QByteArray(7, '\x01') << QList<quint64>{};
}

void tst_PluckerIndex::load()
{
    QFETCH(QByteArray, rim);
    QFETCH(QList<quint64>, entries);
    QTemporaryDir dir;
    QFile f(dir.filePath("a.rim"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(rim);
    f.close();
    const QVector<PluckerIndexEntry> index = loadPluckerIndex(f.fileName());
    QList<quint64> got;
    for (const PluckerIndexEntry &e : index)
        got.append(quint64(e.recordId) << 48 | quint64(e.paragraph) << 32 | e.offset);
    QCOMPARE(got, entries);
}

void tst_PluckerIndex::missing()
{
    QVERIFY(loadPluckerIndex(QStringLiteral("/nonexistent/folium/none.rim")).isEmpty());
    QVERIFY(loadPluckerIndex(QString()).isEmpty());
}

QTEST_APPLESS_MAIN(tst_PluckerIndex)
#include "tst_pluckerindex.moc"
