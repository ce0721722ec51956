// The file chooser driven through its real widgets: listing order and rows, hidden entries,
// walking folders by taps and keys, typed paths, and giving up with Escape.

#include "FileDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <unistd.h>

using Rows = QStringList;  // one "name|type|size" text per row, top to bottom

class tst_FileDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GetFileName> m_chooser;

    QString root() const { return m_dir->path(); }

    void makeFile(const QString &relative, int size)
    {
        QFile f(root() + QLatin1Char('/') + relative);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    }
    void makeFolder(const QString &relative) { QVERIFY(QDir(root()).mkpath(relative)); }

    Rows rows() const
    {
        Rows out;
        for (int i = 0; i < m_chooser->entryList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = m_chooser->entryList->topLevelItem(i);
            out << item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') + item->text(2);
        }
        return out;
    }

    QTreeWidgetItem *row(const QString &name, int occurrence = 0)
    {
        for (int i = 0; i < m_chooser->entryList->topLevelItemCount(); ++i) {
            QTreeWidgetItem *item = m_chooser->entryList->topLevelItem(i);
            if (item->text(0) == name && occurrence-- == 0)
                return item;
        }
        return nullptr;
    }

    void tap(QTreeWidgetItem *item)
    {
        QVERIFY(item);
        QTreeWidget *list = m_chooser->entryList;
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("in-home")));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_chooser = std::make_unique<GetFileName>();
        m_chooser->resize(400, 500);
        m_chooser->show();
        m_chooser->activateWindow();
    }

    void cleanup()
    {
        m_chooser.reset();
        m_dir.reset();
    }

    void listing_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::addColumn<QStringList>("files");  // "name:size"
        QTest::addColumn<bool>("tickHidden");
        QTest::addColumn<Rows>("expected");

        QTest::newRow("folders first, names without case")
            << QStringList{"b", "A"} << QStringList{"z.txt:3", "B.txt:10"} << false
            << Rows{"..|dir|", "A|dir|", "b|dir|", "B.txt||10", "z.txt||3"};
        QTest::newRow("NotAvailable folder is a second way up")
            << QStringList{"Zeta", "NotAvailable"} << QStringList{"a:0"} << false
            << Rows{"..|dir|", "..|dir|", "Zeta|dir|", "a||0"};
        QTest::newRow("NotAvailable file is a way up too")
            << QStringList{} << QStringList{"NotAvailable:7", "m:1"} << false
            << Rows{"..|dir|", "m||1", "..|dir|"};
        QTest::newRow("hidden entries left out")
            << QStringList{".config", "shown"} << QStringList{".hidden:1", "visible:12345"} << false
            << Rows{"..|dir|", "shown|dir|", "visible||12345"};
        QTest::newRow("hidden entries listed while ticked")
            << QStringList{".config", "shown"} << QStringList{".hidden:1", "visible:12345"} << true
            << Rows{"..|dir|", ".config|dir|", "shown|dir|", ".hidden||1", "visible||12345"};
        QTest::newRow("empty folder") << QStringList{} << QStringList{} << false << Rows{"..|dir|"};
    }

    void listing()
    {
        QFETCH(QStringList, folders);
        QFETCH(QStringList, files);
        QFETCH(bool, tickHidden);
        QFETCH(Rows, expected);
        for (const QString &f : folders)
            makeFolder(f);
        for (const QString &f : files)
            makeFile(f.section(QLatin1Char(':'), 0, 0), f.section(QLatin1Char(':'), 1).toInt());

        m_chooser->setFolderList(root());
        if (tickHidden)
            QTest::mouseClick(m_chooser->hiddenCheck, Qt::LeftButton);
        QCOMPARE(rows(), expected);
        QCOMPARE(m_chooser->currentFolder, QDir(root()).absolutePath());
        QCOMPARE(m_chooser->pathEdit->text(), QDir(root()).absolutePath());

        if (tickHidden) {  // unticking lists the same folder without them again
            QTest::mouseClick(m_chooser->hiddenCheck, Qt::LeftButton);
            for (const QString &r : rows())
                QVERIFY2(!r.startsWith(QLatin1Char('.')) || r.startsWith(QLatin1String("..|")),
                         qPrintable(r));
        }
    }

    void tapsWalkFoldersAndChooseFiles()
    {
        makeFolder(QStringLiteral("A/inner"));
        makeFolder(QStringLiteral("A/NotAvailable"));
        makeFile(QStringLiteral("A/book.txt"), 5);
        const QString a = QDir(root()).absolutePath() + QStringLiteral("/A");
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);

        m_chooser->setFolderList(root());
        tap(row(QStringLiteral("A")));
        QCOMPARE(m_chooser->currentFolder, a);
        tap(row(QStringLiteral("inner")));
        QCOMPARE(m_chooser->currentFolder, a + QStringLiteral("/inner"));
        tap(row(QStringLiteral("..")));
        QCOMPARE(m_chooser->currentFolder, a);
        tap(row(QStringLiteral(".."), 1));  // the NotAvailable row
        QCOMPARE(m_chooser->currentFolder, QDir(root()).absolutePath());
        tap(row(QStringLiteral("A")));
        QCOMPARE(chosen.count(), 0);

        const Rows before = rows();
        tap(row(QStringLiteral("book.txt")));
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m_chooser->selectedPath, a + QStringLiteral("/book.txt"));
        QCOMPARE(rows(), before);
    }

    void keysOnTheList_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("chooses");
        QTest::newRow("Return") << int(Qt::Key_Return) << true;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true;
        QTest::newRow("OK key") << int(Qt::Key_F33) << true;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << false;
    }

    void keysOnTheList()
    {
        QFETCH(int, key);
        QFETCH(bool, chooses);
        makeFile(QStringLiteral("only.txt"), 1);
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        QSignalSpy gaveUp(m_chooser.get(), &GetFileName::fileNotSelectedSignal);
        m_chooser->setFolderList(root());
        m_chooser->entryList->setFocus();
        m_chooser->entryList->setCurrentItem(row(QStringLiteral("only.txt")));

        QTest::keyClick(m_chooser->entryList, Qt::Key(key));
        QCOMPARE(chosen.count(), chooses ? 1 : 0);
        QCOMPARE(gaveUp.count(), chooses ? 0 : 1);
        if (chooses)
            QCOMPARE(m_chooser->selectedPath, QDir(root()).absolutePath() + QStringLiteral("/only.txt"));
    }

    void returnOnFolderRowEntersIt()
    {
        makeFolder(QStringLiteral("sub"));
        m_chooser->setFolderList(root());
        m_chooser->entryList->setFocus();
        m_chooser->entryList->setCurrentItem(row(QStringLiteral("sub")));
        QTest::keyClick(m_chooser->entryList, Qt::Key_Return);
        QCOMPARE(m_chooser->currentFolder, QDir(root()).absolutePath() + QStringLiteral("/sub"));
    }

    void escapeFromThePathLine()
    {
        QSignalSpy gaveUp(m_chooser.get(), &GetFileName::fileNotSelectedSignal);
        m_chooser->setFolderList(root());
        m_chooser->pathEdit->setFocus();
        QTest::keyClick(m_chooser->pathEdit, Qt::Key_Escape);
        QCOMPARE(gaveUp.count(), 1);
    }

    void typedPaths_data()
    {
        QTest::addColumn<QString>("typed");  // "ROOT" stands for the temporary folder
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("listed");  // "HOME" for the home folder
        QTest::newRow("existing folder, Return") << "ROOT/deep" << int(Qt::Key_Return) << "ROOT/deep";
        QTest::newRow("missing folder, Return") << "ROOT/none/such" << int(Qt::Key_Return) << "HOME";
        QTest::newRow("a file is no folder") << "ROOT/deep/f" << int(Qt::Key_Return) << "HOME";
        QTest::newRow("keypad Enter lists too, choosing nothing") << "ROOT/deep" << int(Qt::Key_Enter)
                                                                 << "ROOT/deep";
    }

    void typedPaths()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(QString, listed);
        makeFolder(QStringLiteral("deep"));
        makeFile(QStringLiteral("deep/f"), 2);
        const QString rootPath = QDir(root()).absolutePath();
        const QString homePath = QDir(m_home.path()).absolutePath();
        typed.replace(QLatin1String("ROOT"), rootPath);
        listed.replace(QLatin1String("ROOT"), rootPath).replace(QLatin1String("HOME"), homePath);
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);

        m_chooser->setFolderList(rootPath);
        m_chooser->pathEdit->setFocus();
        m_chooser->pathEdit->clear();
        QTest::keyClicks(m_chooser->pathEdit, typed);
        QTest::keyClick(m_chooser->pathEdit, Qt::Key(key));
        QCOMPARE(m_chooser->currentFolder, listed);
        QCOMPARE(m_chooser->pathEdit->text(), listed);
        QCOMPARE(chosen.count(), 0);

        // Ticking "Show hidden" lists the typed folder again, not the one listed before it.
        QTest::mouseClick(m_chooser->hiddenCheck, Qt::LeftButton);
        QCOMPARE(m_chooser->currentFolder, listed);
    }

    void missingOrEmptyFolderGivesHome_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("missing") << "/no/such/folder/anywhere";
        QTest::newRow("empty name") << "";
    }

    void missingOrEmptyFolderGivesHome()
    {
        QFETCH(QString, folder);
        m_chooser->setFolderList(folder);
        QCOMPARE(m_chooser->currentFolder, QDir(m_home.path()).absolutePath());
        QVERIFY(row(QStringLiteral("in-home")));
    }

    void folderThatCannotBeEnteredStays()
    {
        if (geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        makeFolder(QStringLiteral("locked"));
        QFile::setPermissions(root() + QStringLiteral("/locked"), QFileDevice::WriteOwner);
        m_chooser->setFolderList(root());
        tap(row(QStringLiteral("locked")));
        QCOMPARE(m_chooser->currentFolder, QDir(root()).absolutePath());
        QVERIFY(row(QStringLiteral("locked")));
        QFile::setPermissions(root() + QStringLiteral("/locked"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void tapOnEmptySpaceDoesNothing()
    {
        makeFile(QStringLiteral("x"), 1);
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        m_chooser->setFolderList(root());
        const Rows before = rows();
        QTest::mouseClick(m_chooser->entryList->viewport(), Qt::LeftButton, {},
                          QPoint(10, m_chooser->entryList->viewport()->height() - 5));
        QCOMPARE(rows(), before);
        QCOMPARE(chosen.count(), 0);
    }
};

QTEST_MAIN(tst_FileDialog)
#include "tst_filedialog.moc"
