// The bookmark and contents file format: four lines a record, cut records, safe replacement.
#include "BookmarkFile.h"

static QList<BookmarkRecord> recordsOf(const QString &path)
{
    QList<BookmarkRecord> records;
    readBookmarkRecords(path, records);
    return records;
}
#include <QTemporaryDir>
#include <QtTest>

class tst_BookmarkFile : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QByteArray file(const QString &name, const QByteArray &bytes = {})
    {
        QFile f(dir.filePath(name));
        if (!bytes.isNull() && f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0)
            f.close();
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void roundTrip()
    {
        QVERIFY(writeBookmarkRecords(dir.filePath("w.cnt"), {{"Two\nlines", "1", "10", "1"}, {"Глава", "2", "2000", "0"}}));
        QCOMPARE(file("w.cnt"), QString("Two lines\n1\n10\n1\nГлава\n2\n2000\n0\n").toUtf8());
        file("w.cnt", file("w.cnt").chopped(2)); // the last record cut short
        const QList<BookmarkRecord> read = recordsOf(dir.filePath("w.cnt"));
        QCOMPARE(read.size(), 1);
        QCOMPARE((QStringList{read[0].title, read[0].page, read[0].position, read[0].paragraph}),
                 (QStringList{"Two lines", "1", "10", "1"}));
        QVERIFY(recordsOf(dir.filePath("absent.bkm")).isEmpty());
        // Failed or unfinished writes leave the old file.
        QVERIFY(!writeBookmarkRecords(dir.filePath("no/such/folder/x.bkm"), {{"A", "1", "0", "1"}}));
        file("old.bkm", "Old\n1\n0\n1");
        {
            BookmarkFileWriter writer(dir.filePath("old.bkm"));
            QVERIFY(writer.isOpen());
            writer.write({"New", "1", "5", "1"}); // never committed: as if the program died here
        }
        QCOMPARE(recordsOf(dir.filePath("old.bkm")).size(), 1); // no final line feed needed
        QCOMPARE(file("old.bkm"), QByteArray("Old\n1\n0\n1"));
    }
};

QTEST_APPLESS_MAIN(tst_BookmarkFile)
#include "tst_bookmarkfile.moc"
