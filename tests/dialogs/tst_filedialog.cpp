// The file chooser driven through its real widgets: listing order, walking folders by taps, and
// choosing by keys.

#include "FileDialog.h"
#include "TestFiles.h"

#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <unistd.h>

class tst_FileDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_dir;
    std::unique_ptr<GetFileName> m_chooser;

    QString path(const QString &name = {}) const { return QDir(m_dir->filePath(name)).absolutePath(); }

    QStringList rows() const  // "name|type|size", top to bottom
    {
        QStringList out;
        for (int i = 0; i < m_chooser->entryList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = m_chooser->entryList->topLevelItem(i);
            out << QStringList{item->text(0), item->text(1), item->text(2)}.join(QLatin1Char('|'));
        }
        return out;
    }

    QTreeWidgetItem *row(const QString &name, int occurrence = 0) const
    {
        return m_chooser->entryList->findItems(name, Qt::MatchExactly).value(occurrence);
    }

    void tap(const QString &name, int occurrence = 0)
    {
        QTreeWidgetItem *item = row(name, occurrence);
        QVERIFY2(item, qPrintable(name));
        m_chooser->entryList->scrollToItem(item);
        QTest::mouseClick(m_chooser->entryList->viewport(), Qt::LeftButton, {},
                          m_chooser->entryList->visualItemRect(item).center());
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<TestFolder>();
        for (const char *folder : {"b", "A/inner", "A/NotAvailable", ".config", "locked"})
            QVERIFY(QDir().mkpath(path(QLatin1String(folder))));
        QVERIFY(QFile::setPermissions(path(QStringLiteral("locked")), QFileDevice::WriteOwner));
        for (const auto &[file, size] : {std::pair{"A/book.txt", 1}, {"a.txt", 3}, {"B.txt", 10}, {".h", 1}})
            m_dir->write(QLatin1String(file), QByteArray(size, 'x'));
        m_chooser = std::make_unique<GetFileName>();
        m_chooser->resize(400, 500);
        m_chooser->show();
        m_chooser->activateWindow();
        m_chooser->setFolderList(path());
    }

    void cleanup()
    {
        m_chooser.reset();
        m_dir.reset();
    }

    // Folders first, then files, each by name regardless of case; hidden entries left out. Taps
    // walk folders (".." and the NotAvailable row go up) and choose files; a folder that cannot be
    // read is not entered (it would list empty, without a way back); empty space does nothing.
    void tapsWalkFoldersAndChooseFiles()
    {
        QCOMPARE(rows(),
                 (QStringList{"..|dir|", "A|dir|", "b|dir|", "locked|dir|", "a.txt||3", "B.txt||10"}));
        QCOMPARE(m_chooser->pathEdit->text(), path());
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        tap(QStringLiteral("locked"));  // permissions do not bind the superuser
        QCOMPARE(m_chooser->currentFolder, geteuid() == 0 ? path(QStringLiteral("locked")) : path());
        m_chooser->setFolderList(path());
        for (const char *name : {"A", "inner", ".."})
            tap(QLatin1String(name));
        QCOMPARE(m_chooser->currentFolder, path(QStringLiteral("A")));
        tap(QStringLiteral(".."), 1);
        QCOMPARE(m_chooser->currentFolder, path());
        tap(QStringLiteral("A"));
        QTest::mouseClick(m_chooser->entryList->viewport(), Qt::LeftButton, {},
                          QPoint(10, m_chooser->entryList->viewport()->height() - 5));
        QCOMPARE(chosen.count(), 0);
        tap(QStringLiteral("book.txt"));
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m_chooser->selectedPath, path(QStringLiteral("A/book.txt")));
    }

    // Return on the list is taken by the list: on a folder row it enters it, on a file row it
    // chooses it.
    void keysOnTheList()
    {
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        m_chooser->entryList->setFocus();
        for (const char *name : {"A", "book.txt"}) {
            m_chooser->entryList->setCurrentItem(row(QLatin1String(name)));
            QTest::keyClick(m_chooser->entryList, Qt::Key_Return);
        }
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m_chooser->selectedPath, path(QStringLiteral("A/book.txt")));
    }
};

QTEST_MAIN(tst_FileDialog)
#include "tst_filedialog.moc"
