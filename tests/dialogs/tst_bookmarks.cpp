// The bookmark list as a real widget under the offscreen platform: loading and saving its files
// byte for byte, the order by position, records cut short, numbers that are not numbers, the
// delete rules and choosing a row.

#include "Bookmarks.h"

#include <QFile>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

struct Row
{
    QString title;
    qint64 position;
    qint64 page;
    bool paragraph;
};

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

Q_DECLARE_METATYPE(QList<Row>)

class tst_Bookmarks : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }

private Q_SLOTS:
    // Rows added in any order are shown and written in ascending position, compared as numbers.
    void savesInPositionOrder_data()
    {
        QTest::addColumn<QList<Row>>("added");
        QTest::addColumn<QByteArray>("file");

        QTest::newRow("500, 20, 300")
            << QList<Row>{{"five hundred", 500, 3, false}, {"twenty", 20, 1, true}, {"three hundred", 300, 2, false}}
            << record("twenty", 1, 20, true) + record("three hundred", 2, 300, false)
                   + record("five hundred", 3, 500, false);
        QTest::newRow("9 before 10, not by text")
            << QList<Row>{{"ten", 10, 1, true}, {"nine", 9, 1, true}, {"hundred", 100, 1, false}}
            << record("nine", 1, 9, true) + record("ten", 1, 10, true) + record("hundred", 1, 100, false);
        // Documents past 9.3 GB have positions of eleven digits; they still sort as numbers.
        QTest::newRow("past ten digits")
            << QList<Row>{{"far", 10000000000LL, 5000001, false}, {"near", 9999999999LL, 5000000, true},
                          {"start", 0, 1, true}}
            << record("start", 1, 0, true) + record("near", 5000000, 9999999999LL, true)
                   + record("far", 5000001, 10000000000LL, false);
        QTest::newRow("negative from a hand-edited file")
            << QList<Row>{{"b", -5, 0, false}, {"c", 3, 1, false}, {"a", -20, 0, false}}
            << record("a", 0, -20, false) + record("b", 0, -5, false) + record("c", 1, 3, false);
        QTest::newRow("same position twice") << QList<Row>{{"x", 7, 1, true}, {"x", 7, 1, true}}
                                             << record("x", 1, 7, true) + record("x", 1, 7, true);
        QTest::newRow("UTF-8 title")
            << QList<Row>{{QString::fromUtf8("Глава 1 — «начало»"), 42, 1, true}}
            << record("Глава 1 — «начало»", 1, 42, true);
        // A line feed would split the record and shift every later one by a line.
        QTest::newRow("line feed in a title")
            << QList<Row>{{"two\nlines", 4, 1, true}, {"after", 8, 1, false}}
            << record("two lines", 1, 4, true) + record("after", 1, 8, false);
        QTest::newRow("empty list") << QList<Row>{} << QByteArray();
    }

    void savesInPositionOrder()
    {
        QFETCH(QList<Row>, added);
        QFETCH(QByteArray, file);
        Bookmarks list;
        for (const Row &r : added)
            list.addBookmark(r.title, r.position, r.page, r.paragraph);
        const QString path = m_dir.filePath(QStringLiteral("saved.bkm"));
        QVERIFY(list.saveBookmarks(path));
        QCOMPARE(readAll(path), file);

        // And back: loading what was written shows the same rows, and saves the same bytes.
        Bookmarks again;
        again.loadBookmarks(path);
        QCOMPARE(shown(again), shown(list).replaceInStrings(QStringLiteral("\n"), QStringLiteral(" ")));
        const QString copy = m_dir.filePath(QStringLiteral("copy.bkm"));
        QVERIFY(again.saveBookmarks(copy));
        QCOMPARE(readAll(copy), file);
    }

    void loads_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("rows");

        QTest::newRow("sorted on loading")
            << record("c", 3, 3000, true) + record("a", 1, 10, true) + record("b", 1, 9, false)
            << QStringList{"b|1|9|0", "a|1|10|1", "c|3|3000|1"};
        QTest::newRow("last record has three lines")
            << record("one", 1, 1, true) + record("two", 1, 2, false) + "three\n1\n3\n"
            << QStringList{"one|1|1|1", "two|1|2|0"};
        QTest::newRow("last record has two lines") << record("one", 1, 1, true) + "two\n1\n"
                                                   << QStringList{"one|1|1|1"};
        QTest::newRow("last record is a title alone") << record("one", 1, 1, true) + "two"
                                                      << QStringList{"one|1|1|1"};
        QTest::newRow("fourth line without its line feed") << QByteArray("t\n2\n4000\n1")
                                                           << QStringList{"t|2|4000|1"};
        QTest::newRow("flag 0 at a position other than 0") << QByteArray("t\n5\n9000\n0\n")
                                                           << QStringList{"t|5|9000|0"};
        QTest::newRow("flag 1 at position 0") << QByteArray("t\n1\n0\n1\n") << QStringList{"t|1|0|1"};
        QTest::newRow("any non-zero flag is a paragraph") << QByteArray("t\n1\n0\n7\n")
                                                          << QStringList{"t|1|0|1"};
        QTest::newRow("numbers that are not numbers")
            << QByteArray("t\nfive\n12abc\nyes\n") << QStringList{"t|0|0|0"};
        QTest::newRow("empty number lines") << QByteArray("t\n\n\n\n") << QStringList{"t|0|0|0"};
        QTest::newRow("leading zeros and a plus sign") << QByteArray("t\n007\n+0042\n01\n")
                                                       << QStringList{"t|7|42|1"};
        QTest::newRow("position past 32 bits") << QByteArray("t\n2147484\n4294967296\n1\n")
                                               << QStringList{"t|2147484|4294967296|1"};
        QTest::newRow("empty title") << QByteArray("\n1\n5\n1\n") << QStringList{"|1|5|1"};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
        QTest::newRow("one empty line") << QByteArray("\n") << QStringList{};
    }

    void loads()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, rows);
        Bookmarks list;
        list.addBookmark(QStringLiteral("left over"), 1, 1, true);  // replaced by loading
        list.loadBookmarks(write(QStringLiteral("in.bkm"), file));
        QCOMPARE(shown(list), rows);
    }

    // Every cut of a good file loads the complete records before the cut, and nothing else.
    void cutShortAtEveryByte()
    {
        const QByteArray whole = record("first", 1, 100, true) + record("second", 2, 2500, false)
                                 + record("third", 3, 4100, true);
        const QStringList all{"first|1|100|1", "second|2|2500|0", "third|3|4100|1"};
        const QList<int> ends{int(record("first", 1, 100, true).size()),
                              int(record("first", 1, 100, true).size() + record("second", 2, 2500, false).size()),
                              int(whole.size())};
        for (int cut = 0; cut <= whole.size(); ++cut) {
            Bookmarks list;
            list.loadBookmarks(write(QStringLiteral("cut.bkm"), whole.left(cut)));
            // A record counts once its fourth line has begun.
            int complete = 0;
            for (int end : ends)
                if (cut >= end - 1)
                    ++complete;
            QCOMPARE(shown(list), all.mid(0, complete));
        }
    }

    void missingOrUnreadableFileGivesAnEmptyList_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "nothing-here.bkm";
        QTest::newRow("a folder") << "folder.bkm";
        QTest::newRow("empty path") << "";
    }

    void missingOrUnreadableFileGivesAnEmptyList()
    {
        QFETCH(QString, name);
        QDir(m_dir.path()).mkdir(QStringLiteral("folder.bkm"));
        Bookmarks list;
        list.addBookmark(QStringLiteral("old"), 5, 1, false);
        list.loadBookmarks(name.isEmpty() ? QString() : m_dir.filePath(name));
        QCOMPARE(list.entryList->topLevelItemCount(), 0);
    }

    // A file that cannot be written leaves the rows as they were and an existing file untouched.
    void failedSaveKeepsRowsAndOldFile()
    {
        Bookmarks list;
        list.addBookmark(QStringLiteral("kept"), 77, 1, true);
        QVERIFY(!list.saveBookmarks(m_dir.filePath(QStringLiteral("no/such/folder/x.bkm"))));
        QVERIFY(!list.saveBookmarks(m_dir.path()));  // the folder itself
        QCOMPARE(shown(list), QStringList{"kept|1|77|1"});
        QVERIFY(QFileInfo(m_dir.path()).isDir());
    }

    void deleteRules_data()
    {
        QTest::addColumn<int>("rows");      // positions 10, 20, ... are added
        QTest::addColumn<int>("selected");  // row index, -1 for none
        QTest::addColumn<QStringList>("left");

        QTest::newRow("the only row") << 1 << 0 << QStringList{};
        QTest::newRow("no row selected") << 3 << -1 << QStringList{"m10", "m20", "m30"};
        QTest::newRow("first of three") << 3 << 0 << QStringList{"m20", "m30"};
        QTest::newRow("middle of three") << 3 << 1 << QStringList{"m10", "m30"};
        QTest::newRow("last of two") << 2 << 1 << QStringList{"m10"};
        QTest::newRow("empty list") << 0 << -1 << QStringList{};
    }

    void deleteRules()
    {
        QFETCH(int, rows);
        QFETCH(int, selected);
        QFETCH(QStringList, left);
        const QString path = m_dir.filePath(QStringLiteral("del.bkm"));
        Bookmarks list;
        for (int i = rows; i >= 1; --i)
            list.addBookmark(QStringLiteral("m%1").arg(i * 10), i * 10, 1, true);
        QVERIFY(list.saveBookmarks(path));
        const QByteArray before = readAll(path);
        list.entryList->clearSelection();
        if (selected >= 0)
            list.entryList->topLevelItem(selected)->setSelected(true);

        list.deleteSelected();
        QStringList titles;
        for (int i = 0; i < list.entryList->topLevelItemCount(); ++i)
            titles << list.entryList->topLevelItem(i)->text(0);
        QCOMPARE(titles, left);
        QCOMPARE(readAll(path), before);  // only saving reaches the file
    }

    // A tap or Return chooses a row and reports it; moving the current row takes its position
    // without reporting.
    void choosingRows()
    {
        Bookmarks list;
        list.resize(300, 300);
        list.loadBookmarks(write(QStringLiteral("choose.bkm"),
                                 record("a", 1, 10, true) + record("b", 3, 5000, false)
                                     + record("c", 8, 15000, true)));
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QSignalSpy chosen(&list, &Bookmarks::BookmarkSignal);
        QTreeWidget *tree = list.entryList;

        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          tree->visualItemRect(tree->topLevelItem(1)).center());
        QCOMPARE(chosen.count(), 1);
        QVERIFY(list.hasSelection);
        QCOMPARE(list.selectedPosition, 5000);
        QCOMPARE(list.selectedParagraph, false);

        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(list.selectedPosition, 15000);
        QCOMPARE(list.selectedParagraph, true);

        QTest::keyClick(tree, Qt::Key_Up);
        QTest::keyClick(tree, Qt::Key_Up);
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(list.selectedPosition, 10);
        QCOMPARE(list.selectedParagraph, true);
    }

    // "Page" is 45 pixels; "Bookmark" takes the rest less the scroll bar when it shows, and 4.
    void columnWidths()
    {
        Bookmarks list;
        list.fontName = QStringLiteral("DejaVu Sans");
        list.resize(300, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QCOMPARE(list.entryList->columnWidth(1), 45);
        QCOMPARE(list.entryList->columnWidth(0), 300 - 45 - 4);
        QCOMPARE(list.entryList->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(list.entryList->font().pointSize(), 10);

        // Rows that need the scroll bar, as when a long contents list is loaded before showing:
        // the title column makes room for it.
        for (int i = 0; i < 100; ++i)
            list.addBookmark(QStringLiteral("row"), i, 1, true);
        QTRY_VERIFY(list.entryList->verticalScrollBar()->isVisible());
        QTRY_COMPARE(list.entryList->columnWidth(0),
                     300 - 45 - list.entryList->verticalScrollBar()->width() - 4);
        list.resize(320, 200);
        QTRY_COMPARE(list.entryList->columnWidth(0),
                     320 - 45 - list.entryList->verticalScrollBar()->width() - 4);
        list.loadBookmarks(QString());
        QTRY_COMPARE(list.entryList->columnWidth(0), 320 - 45 - 4);
    }
};

QTEST_MAIN(tst_Bookmarks)
#include "tst_bookmarks.moc"
