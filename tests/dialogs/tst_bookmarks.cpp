// The bookmark list widget: rows kept in position order, saved and loaded alike, deleting.

#include "Bookmarks.h"
#include "TestFiles.h"

#include <QTest>
#include <QTreeWidget>

// Each row as "title|page|position|paragraph", in display order.
static QStringList shown(const Bookmarks &list)
{
    QStringList out;
    for (int i = 0; i < list.entryList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list.entryList->topLevelItem(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join('|');
    }
    return out;
}

class tst_Bookmarks : public QObject
{
    Q_OBJECT

    TestFolder m_dir;

private Q_SLOTS:
    // Rows added in any order are written in ascending position compared as numbers (9 before
    // 10, ten digits before eleven); a line feed in a title would split its record. Loading that
    // file shows the same rows and saves the same bytes; a save that cannot be written fails and
    // leaves the rows as they were.
    void savesInPositionOrder()
    {
        Bookmarks list;
        list.addBookmark(QStringLiteral("ten digits"), 9999999999LL, 3, false);
        list.addBookmark(QStringLiteral("twenty"), 20, 1, true);
        list.addBookmark(QStringLiteral("three hundred"), 300, 2, false);
        list.addBookmark(QStringLiteral("far"), 10000000000LL, 5000001, false);
        list.addBookmark(QStringLiteral("ten"), 10, 1, true);
        list.addBookmark(QString::fromUtf8("Глава\n«9»"), 9, 1, true);
        const QByteArray file = "Глава «9»\n1\n9\n1\nten\n1\n10\n1\ntwenty\n1\n20\n1\n"
                                "three hundred\n2\n300\n0\nten digits\n3\n9999999999\n0\n"
                                "far\n5000001\n10000000000\n0\n";
        const QString path = m_dir.filePath(QStringLiteral("saved.bkm"));
        QVERIFY(list.saveBookmarks(path));
        QCOMPARE(readFile(path), file);

        Bookmarks again;
        again.loadBookmarks(path);
        const QStringList rows = shown(list).replaceInStrings(QStringLiteral("\n"), QStringLiteral(" "));
        QCOMPARE(shown(again), rows);
        QVERIFY(again.saveBookmarks(m_dir.filePath(QStringLiteral("copy.bkm"))));
        QCOMPARE(readFile(m_dir.filePath(QStringLiteral("copy.bkm"))), file);
        QVERIFY(!again.saveBookmarks(m_dir.filePath(QStringLiteral("no/such/folder/x.bkm"))));
        QCOMPARE(shown(again), rows);
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
