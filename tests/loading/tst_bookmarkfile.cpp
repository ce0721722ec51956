// The bookmark and contents file format: four lines a record, cut records, safe replacement.
#include "BookmarkFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class tst_BookmarkFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QByteArray &bytes)
    {
        const QString path = dir.filePath(QStringLiteral("f.bkm"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        return path;
    }
    static QByteArray read(const QString &path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private Q_SLOTS:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("flat");  // the records' fields one after another
        QTest::newRow("two records") << QByteArray("A\n1\n0\n1\nB\n2\n2500\n0\n")
                                     << QStringList{"A", "1", "0", "1", "B", "2", "2500", "0"};
        QTest::newRow("last record cut short") << QByteArray("A\n1\n0\n1\nB\n2\n2500\n")
                                               << QStringList{"A", "1", "0", "1"};
        QTest::newRow("no final line feed") << QByteArray("A\n1\n7\n1") << QStringList{"A", "1", "7", "1"};
        QTest::newRow("utf-8 titles") << QString::fromUtf8("Глава\n3\n4000\n1\n").toUtf8()
                                      << QStringList{QString::fromUtf8("Глава"), "3", "4000", "1"};
        QTest::newRow("empty") << QByteArray() << QStringList{};
    }
    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, flat);
        QStringList got;
        for (const BookmarkRecord &r : readBookmarkRecords(write(bytes)))
            got << r.title << r.page << r.position << r.paragraph;
        QCOMPARE(got, flat);
    }

    void missingFileReadsAsEmpty()
    {
        QVERIFY(readBookmarkRecords(dir.filePath(QStringLiteral("absent.bkm"))).isEmpty());
    }

    void writingRoundTripsAndKeepsTitlesOnOneLine()
    {
        const QString path = dir.filePath(QStringLiteral("w.cnt"));
        QVERIFY(writeBookmarkRecords(path, {{QStringLiteral("Two\nlines"), "1", "10", "1"}, {"B", "2", "2000", "0"}}));
        QCOMPARE(read(path), QByteArray("Two lines\n1\n10\n1\nB\n2\n2000\n0\n"));
        QCOMPARE(readBookmarkRecords(path).size(), 2);
    }

    void unfinishedWriteLeavesTheOldFile()
    {
        const QString path = write("Old\n1\n0\n1\n");
        {
            BookmarkFileWriter writer(path);
            QVERIFY(writer.isOpen());
            writer.write({"New", "1", "5", "1"});
            // Never committed: as if the program died or the disk filled here.
        }
        QCOMPARE(read(path), QByteArray("Old\n1\n0\n1\n"));
        QVERIFY(!writeBookmarkRecords(dir.filePath(QStringLiteral("no/such/folder/x.bkm")), {{"A", "1", "0", "1"}}));
    }
};

QTEST_APPLESS_MAIN(tst_BookmarkFile)
#include "tst_bookmarkfile.moc"
