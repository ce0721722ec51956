// The bookmark list widget: rows kept in position order, saved and loaded alike, deleting.

#include "Bookmarks.h"
#include "TestFiles.h"

#include <QFile>
#include <QTest>
#include <QTreeWidget>

namespace {

// Each row as "title|page|position|paragraph", in display order.
QStringList shown(const Bookmarks &list)
{
    QStringList out;
    for (int i = 0; i < list.entryList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list.entryList->topLevelItem(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join('|');
    }
    return out;
}

QByteArray record(const QByteArray &title, qint64 page, qint64 position, bool paragraph)
{
    return title + '\n' + QByteArray::number(page) + '\n' + QByteArray::number(position) + '\n'
           + (paragraph ? "1\n" : "0\n");
}

} // namespace

class tst_Bookmarks : public QObject
{
    Q_OBJECT

private:
    TestFolder m_dir;

private Q_SLOTS:
    // Rows added in any order are written in ascending position compared as numbers (9 before
    // 10, positions past ten digits); a line feed in a title would split its record. Loading that
    // file shows the same rows and saves the same bytes.
    void savesInPositionOrder()
    {
        Bookmarks list;
        list.addBookmark(QStringLiteral("five hundred"), 500, 3, false);
        list.addBookmark(QStringLiteral("twenty"), 20, 1, true);
        list.addBookmark(QStringLiteral("three hundred"), 300, 2, false);
        list.addBookmark(QStringLiteral("far"), 10000000000LL, 5000001, false);
        list.addBookmark(QStringLiteral("ten"), 10, 1, true);
        list.addBookmark(QString::fromUtf8("Глава\n«9»"), 9, 1, true);
        const QByteArray file = record("Глава «9»", 1, 9, true) + record("ten", 1, 10, true)
                                + record("twenty", 1, 20, true) + record("three hundred", 2, 300, false)
                                + record("five hundred", 3, 500, false) + record("far", 5000001, 10000000000LL, false);
        const QString path = m_dir.filePath(QStringLiteral("saved.bkm"));
        QVERIFY(list.saveBookmarks(path));
        QCOMPARE(readFile(path), file);

        Bookmarks again;
        again.loadBookmarks(path);
        QCOMPARE(shown(again), shown(list).replaceInStrings(QStringLiteral("\n"), QStringLiteral(" ")));
        QVERIFY(again.saveBookmarks(m_dir.filePath(QStringLiteral("copy.bkm"))));
        QCOMPARE(readFile(m_dir.filePath(QStringLiteral("copy.bkm"))), file);
    }

    // A save that cannot be written fails and leaves the rows as they were.
    void failedSaveKeepsRows()
    {
        Bookmarks list;
        list.addBookmark(QStringLiteral("kept"), 77, 1, true);
        QVERIFY(!list.saveBookmarks(m_dir.filePath(QStringLiteral("no/such/folder/x.bkm"))));
        QCOMPARE(shown(list), QStringList{"kept|1|77|1"});
            }

    // Delete removes the selected row only, nothing without a selection, and never touches the
    // file: only saving reaches it.
    void deleteRules()
    {
        const QString path = m_dir.filePath(QStringLiteral("del.bkm"));
        Bookmarks list;
        for (int i = 4; i >= 1; --i)
            list.addBookmark(QStringLiteral("m%1").arg(i), i, 1, true);
        QVERIFY(list.saveBookmarks(path));
        const QByteArray before = readFile(path);
        list.entryList->clearSelection();
        list.deleteSelected();
        QCOMPARE(shown(list).size(), 4);
        for (int row : {0, 2}) {
            list.entryList->topLevelItem(row)->setSelected(true);
            list.deleteSelected();
        }
        QCOMPARE(shown(list), (QStringList{"m2|1|2|1", "m3|1|3|1"}));
        QCOMPARE(readFile(path), before);
    }
};

QTEST_MAIN(tst_Bookmarks)
#include "tst_bookmarks.moc"
