// The bookmark and contents file format: records cut at every byte, and a replacement that never
// leaves a half-written file. Titles, order and the bytes written: tst_bookmarks.
#include "BookmarkFile.h"
#include "TestFiles.h"

#include <QtTest>

namespace {
QStringList flat(const QString &path)
{
    QList<BookmarkRecord> records;
    readBookmarkRecords(path, records);
    QStringList out;
    for (const BookmarkRecord &r : std::as_const(records))
        out << QStringList{r.title, r.page, r.position, r.paragraph}.join(QLatin1Char('|'));
    return out;
}
} // namespace

class tst_BookmarkFile : public QObject
{
    Q_OBJECT

    TestFolder m_folder;

private Q_SLOTS:
    // Every cut of a good file gives the complete records before the cut, and nothing else; a
    // record counts once its fourth line has begun.
    void cutShortAtEveryByte()
    {
        const QByteArray first = "first\n1\n100\n1\n", second = "second\n2\n2500\n0\n";
        const QByteArray whole = first + second + "third\n3\n4100\n1\n";
        const QStringList all{"first|1|100|1", "second|2|2500|0", "third|3|4100|1"};
        const QList<qsizetype> ends{first.size(), first.size() + second.size(), whole.size()};
        for (int cut = 0; cut <= whole.size(); ++cut) {
            const QString path = m_folder.write(QStringLiteral("cut.bkm"), whole.left(cut));
            const auto complete = std::count_if(ends.begin(), ends.end(), [&](qsizetype e) { return cut >= e - 1; });
            QCOMPARE(flat(path), all.mid(0, complete));
        }
    }

    // Failed or unfinished writes leave the old file as it was, and no file reads as no records.
    void oldFileSurvivesFailedWrites()
    {
        const QString absent = m_folder.filePath(QStringLiteral("no/such/folder/x.bkm"));
        QVERIFY(!writeBookmarkRecords(absent, {{"A", "1", "0", "1"}}) && flat(absent).isEmpty());
        const QString old = m_folder.write(QStringLiteral("old.bkm"), "Old\n1\n0\n1");
        {
            BookmarkFileWriter writer(old);
            QVERIFY(writer.isOpen());
            writer.write({"New", "1", "5", "1"});  // never committed: as if the program died here
        }
        QCOMPARE(readFile(old), QByteArray("Old\n1\n0\n1"));
    }
};

QTEST_APPLESS_MAIN(tst_BookmarkFile)
#include "tst_bookmarkfile.moc"
