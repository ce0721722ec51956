// The bookmark list widget: its files byte for byte, order by position, records cut short, deleting.

#include "Bookmarks.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_Bookmarks : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(f.fileName()));
        f.write(bytes);
        return f.fileName();
    }

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
        QCOMPARE(readAll(path), file);

        Bookmarks again;
        again.loadBookmarks(path);
        QCOMPARE(shown(again), shown(list).replaceInStrings(QStringLiteral("\n"), QStringLiteral(" ")));
        QVERIFY(again.saveBookmarks(m_dir.filePath(QStringLiteral("copy.bkm"))));
        QCOMPARE(readAll(m_dir.filePath(QStringLiteral("copy.bkm"))), file);
    }

    // Every cut of a good file loads the complete records before the cut, and nothing else; a
    // record counts once its fourth line has begun.
    void cutShortAtEveryByte()
    {
        const QByteArray first = record("first", 1, 100, true), second = record("second", 2, 2500, false);
        const QByteArray whole = first + second + record("third", 3, 4100, true);
        const QStringList all{"first|1|100|1", "second|2|2500|0", "third|3|4100|1"};
        const QList<qsizetype> ends{first.size(), first.size() + second.size(), whole.size()};
        for (int cut = 0; cut <= whole.size(); ++cut) {
            Bookmarks list;
            list.loadBookmarks(write(QStringLiteral("cut.bkm"), whole.left(cut)));
            const auto complete = std::count_if(ends.begin(), ends.end(), [&](qsizetype e) { return cut >= e - 1; });
            QCOMPARE(shown(list), all.mid(0, complete));
        }
    }

    // A save that cannot be written fails and leaves the rows as they were.
    void failedSaveKeepsRows()
    {
        Bookmarks list;
        list.addBookmark(QStringLiteral("kept"), 77, 1, true);
        QVERIFY(!list.saveBookmarks(m_dir.filePath(QStringLiteral("no/such/folder/x.bkm"))));
        QCOMPARE(shown(list), QStringList{"kept|1|77|1"});
        QVERIFY(QFileInfo(m_dir.path()).isDir());
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
        const QByteArray before = readAll(path);
        list.entryList->clearSelection();
        list.deleteSelected();
        QCOMPARE(shown(list).size(), 4);
        for (int row : {0, 2}) {
            list.entryList->topLevelItem(row)->setSelected(true);
            list.deleteSelected();
        }
        QCOMPARE(shown(list), (QStringList{"m2|1|2|1", "m3|1|3|1"}));
        QCOMPARE(readAll(path), before);
    }
};

QTEST_MAIN(tst_Bookmarks)
#include "tst_bookmarks.moc"
