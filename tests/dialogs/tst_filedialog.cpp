// The file chooser driven through its real widgets: listing order, walking
// folders by taps, and choosing or giving up by keys.

#include "FileDialog.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

class tst_FileDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<GetFileName> m_chooser;

    QString root() const { return QDir(m_dir->path()).absolutePath(); }

    // Under root(); a trailing "/" makes a folder, "name:size" a file of that size.
    void make(const QStringList &paths)
    {
        for (const QString &p : paths) {
            QFile f(root() + QLatin1Char('/') + p.section(QLatin1Char(':'), 0, 0));
            if (p.endsWith(QLatin1Char('/')))
                QVERIFY(QDir().mkpath(f.fileName()));
            else
                QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(p.section(':', 1).toInt(), 'x')) >= 0);
        }
    }

    QStringList rows() const  // "name|type|size", top to bottom
    {
        QStringList out;
        for (int i = 0; i < m_chooser->entryList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = m_chooser->entryList->topLevelItem(i);
            out << item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') + item->text(2);
        }
        return out;
    }

    void tap(const QString &name, int occurrence = 0)
    {
        const auto found = m_chooser->entryList->findItems(name, Qt::MatchExactly);
        QVERIFY2(occurrence < found.size(), qPrintable(name));
        m_chooser->entryList->scrollToItem(found.at(occurrence));
        QTest::mouseClick(m_chooser->entryList->viewport(), Qt::LeftButton, {},
                          m_chooser->entryList->visualItemRect(found.at(occurrence)).center());
    }

private Q_SLOTS:
    void initTestCase() { qputenv("HOME", QFile::encodeName(m_home.path())); }

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

    // Folders first, then files, each by name regardless of case; hidden entries left out.
    void listing()
    {
        make({"b/", "A/", ".config/", "z.txt:3", "B.txt:10", ".hidden:1"});
        m_chooser->setFolderList(root());
        QCOMPARE(rows(), (QStringList{"..|dir|", "A|dir|", "b|dir|", "B.txt||10", "z.txt||3"}));
        QCOMPARE(m_chooser->pathEdit->text(), root());
    }

    // Taps walk folders (".." and the NotAvailable row go up) and choose files; empty space does nothing.
    void tapsWalkFoldersAndChooseFiles()
    {
        make({"A/inner/", "A/NotAvailable/", "A/book.txt:5"});
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        m_chooser->setFolderList(root());
        tap(QStringLiteral("A"));
        tap(QStringLiteral("inner"));
        QCOMPARE(m_chooser->currentFolder, root() + QStringLiteral("/A/inner"));
        tap(QStringLiteral(".."));
        QCOMPARE(m_chooser->currentFolder, root() + QStringLiteral("/A"));
        tap(QStringLiteral(".."), 1);
        QCOMPARE(m_chooser->currentFolder, root());
        tap(QStringLiteral("A"));
        QTest::mouseClick(m_chooser->entryList->viewport(), Qt::LeftButton, {},
                          QPoint(10, m_chooser->entryList->viewport()->height() - 5));
        QCOMPARE(chosen.count(), 0);
        tap(QStringLiteral("book.txt"));
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m_chooser->selectedPath, root() + QStringLiteral("/A/book.txt"));
    }

    // Return on a folder row enters it, on a file row chooses it; Escape gives up.
    void keysOnTheList()
    {
        make({"only.txt:1", "sub/"});
        QSignalSpy chosen(m_chooser.get(), &GetFileName::fileSelectedSignal);
        QSignalSpy gaveUp(m_chooser.get(), &GetFileName::fileNotSelectedSignal);
        m_chooser->setFolderList(root());
        QTreeWidget *list = m_chooser->entryList;
        list->setFocus();
        list->setCurrentItem(list->findItems(QStringLiteral("sub"), Qt::MatchExactly).value(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(m_chooser->currentFolder, root() + QStringLiteral("/sub"));
        m_chooser->setFolderList(root());
        list->setCurrentItem(list->findItems(QStringLiteral("only.txt"), Qt::MatchExactly).value(0));
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m_chooser->selectedPath, root() + QStringLiteral("/only.txt"));
        QTest::keyClick(list, Qt::Key_Escape);
        QCOMPARE(gaveUp.count(), 1);
        QCOMPARE(chosen.count(), 1);
    }
};

QTEST_MAIN(tst_FileDialog)
#include "tst_filedialog.moc"
