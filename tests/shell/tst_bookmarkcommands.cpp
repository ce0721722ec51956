// The window's bookmark and contents commands through its real widgets under the offscreen
// platform: marks added at the page on screen, chosen again from the list, written only by
// "Save marks", and the contents built from the document and chosen from its list. Each test
// gets its own home and configuration folder.

#include "Bookmarks.h"
#include "Config.h"
#include "FileDialog.h"
#include "MyView.h"
#include "TextReader.h"
#include "UserMessages.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <memory>

namespace {

// Paragraphs of plain words, enough for many pages.
QByteArray novelText()
{
    QByteArray text;
    for (int p = 0; p < 120; ++p) {
        text += "    Paragraph " + QByteArray::number(p) + " begins here and";
        for (int w = 0; w < 40; ++w)
            text += " word" + QByteArray::number((p * 7 + w) % 31);
        text += ".\n";
    }
    return text;
}

QByteArray filler(int words)
{
    QByteArray text;
    for (int w = 0; w < words; ++w)
        text += " filler" + QByteArray::number(w % 13);
    return text;
}

// Each row as "title|page|position|paragraph", in display order.
QStringList shown(const Bookmarks *list)
{
    QStringList out;
    for (int i = 0; i < list->entryList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->entryList->topLevelItem(i);
        out << QStringList{item->text(0), item->text(1), item->text(2), item->text(3)}.join('|');
    }
    return out;
}

QStringList titles(const Bookmarks *list)
{
    QStringList out;
    for (int i = 0; i < list->entryList->topLevelItemCount(); ++i)
        out << list->entryList->topLevelItem(i)->text(0);
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class tst_BookmarkCommands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;  // home/, config/, docs/
    std::unique_ptr<TextReader> m_window;
    QStringList m_warnings;

    QString home() const { return m_root->path() + QStringLiteral("/home"); }
    QString docs() const { return m_root->path() + QStringLiteral("/docs"); }

    TextReader *start()
    {
        m_window.reset();
        m_window = std::make_unique<TextReader>(nullptr, nullptr, Qt::Window);
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("the window did not become active");
        return m_window.get();
    }

    QString writeDoc(const QString &name, const QByteArray &bytes)
    {
        QDir().mkpath(docs());
        QFile f(docs() + QLatin1Char('/') + name);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(f.fileName()));
        f.write(bytes);
        return f.fileName();
    }

    // A settings file that reopens `doc` at its start in a pinned layout, as after a restart.
    void settingsFor(const QString &doc)
    {
        const QString path = Config::userFilePath(QStringLiteral("Folium"));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write the settings");
        f.write("[Global]\nFontname=DejaVu Sans\nFontsize=12\nBold=false\nFile=" + doc.toUtf8()
                + "\nFolderpath=" + QFileInfo(doc).absolutePath().toUtf8()
                + "\nPosition=0\nParagraph=true\nRotation=0\nIndent=8\nMargin=4\nSpacing=2\nScroll=100\n");
    }

    void click(QAction *action)
    {
        QWidget *button = m_window->actionToolBar->widgetForAction(action);
        QVERIFY2(button, qPrintable(action->text() + QStringLiteral(" is not on the tool bar")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Clicks an item of the menu bar itself (the bookmarks mode's pixmap items).
    void clickBarItem(int index)
    {
        QMenuBar *bar = m_window->menuBar;
        QVERIFY(index < bar->actions().size());
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(bar->actions().at(index)).center());
    }

    void clickMenu(const QString &menuTitle, QAction *entry)
    {
        QMenuBar *bar = m_window->menuBar;
        QAction *menuItem = nullptr;
        for (QAction *a : bar->actions())
            if (a->text() == menuTitle)
                menuItem = a;
        QVERIFY(menuItem);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuItem).center());
        QMenu *menu = menuItem->menu();
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    void tapRow(Bookmarks *list, int row)
    {
        QTreeWidget *tree = list->entryList;
        QVERIFY(row < tree->topLevelItemCount());
        QTreeWidgetItem *item = tree->topLevelItem(row);
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }

    void openThroughChooser(const QString &path)
    {
        click(m_window->openAction);
        GetFileName *chooser = m_window->fileChooser;
        QTRY_COMPARE(m_window->centralWidget(), static_cast<QWidget *>(chooser));
        chooser->pathEdit->clear();
        QTest::keyClicks(chooser->pathEdit, QFileInfo(path).absolutePath());
        QTest::keyClick(chooser->pathEdit, Qt::Key_Return);
        QTreeWidgetItem *item = nullptr;
        for (int i = 0; i < chooser->entryList->topLevelItemCount(); ++i)
            if (chooser->entryList->topLevelItem(i)->text(0) == QFileInfo(path).fileName())
                item = chooser->entryList->topLevelItem(i);
        QVERIFY(item);
        chooser->entryList->scrollToItem(item);
        QTest::mouseClick(chooser->entryList->viewport(), Qt::LeftButton, {},
                          chooser->entryList->visualItemRect(item).center());
        QTRY_COMPARE(m_window->centralWidget(), static_cast<QWidget *>(m_window->view));
    }

    void checkReading()
    {
        QCOMPARE(m_window->centralWidget(), static_cast<QWidget *>(m_window->view));
        QVERIFY(m_window->view->isVisible());
        QVERIFY(!m_window->bookmarkList->isVisible());
        QVERIFY(!m_window->contentsList->isVisible());
        // The window's own focus: a menu closed under the offscreen platform does not always
        // hand the activation back, but the view is where the keys go once it does.
        QCOMPARE(m_window->focusWidget(), static_cast<QWidget *>(m_window->view));
    }

private Q_SLOTS:
    void initTestCase()
    {
        setWarningSink([this](QWidget *, const QString &caption, const QString &text) {
            m_warnings << caption + QLatin1Char('|') + text;
        });
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QDir().mkpath(home());
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->path() + QStringLiteral("/config")));
        m_warnings.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_root.reset();
        QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join('\n')));
    }

    void cleanupTestCase() { setWarningSink({}); }

    // A mark added on a later page and chosen from the list, in this run or after a restart,
    // brings back exactly that page.
    void chosenMarkBringsItsPageBack_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("same run") << false;
        QTest::newRow("after saving and a restart") << true;
    }

    void chosenMarkBringsItsPageBack()
    {
        QFETCH(bool, restart);
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;
        QVERIFY(v->documentOpen);
        for (int i = 0; i < 5; ++i)
            v->printPage();
        const PageStart marked = v->pageStart;
        QVERIFY(marked.position > 0);
        const QString name = v->getBookmarkName();
        const qint64 page = v->getPageNumber();
        QVERIFY(!name.isEmpty());
        QVERIFY(page > 1);
        const QImage image = v->paper.toImage();

        click(w->addMarkAction);
        checkReading();
        QCOMPARE(v->pageStart.position, marked.position);  // adding does not move the page
        const QStringList row{name, QString::number(page), QString::number(marked.position),
                              QLatin1String(marked.paragraph ? "1" : "0")};
        QCOMPARE(shown(w->bookmarkList), QStringList{row.join('|')});

        if (restart) {
            clickMenu(QStringLiteral("Navigation"), w->saveMarksAction);
            QVERIFY(w->close());
            w = start();
            v = w->view;
            QCOMPARE(v->pageStart.position, marked.position);  // the settings remember the page
        }
        // Somewhere else: the first page, then two pages on.
        v->pageStart = PageStart{};
        v->pageStart.paragraph = true;
        v->resumeSlot();
        v->printPage();
        v->printPage();
        QVERIFY(v->pageStart.position != marked.position);

        click(w->gotoMarkAction);
        QCOMPARE(w->centralWidget(), static_cast<QWidget *>(w->bookmarkList));
        QVERIFY(w->bookmarkList->isVisible());
        tapRow(w->bookmarkList, 0);
        checkReading();
        QCOMPARE(v->pageStart.position, marked.position);
        QCOMPARE(v->pageStart.paragraph, marked.paragraph);
        QVERIFY(v->paper.toImage() == image);
        QVERIFY(!w->backAction->isEnabled());
    }

    // Marks stay in the list until "Save marks"; deleting one changes only the list; the
    // bookmarks mode's own save item writes the list as it is.
    void nothingIsWrittenUntilSaveMarks()
    {
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        const QString other = writeDoc(QStringLiteral("other.txt"), "Another text.\n");
        const QString bkm = docs() + QStringLiteral("/novel.bkm");
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;

        click(w->addMarkAction);
        v->printPage();
        click(w->addMarkAction);
        QCOMPARE(w->bookmarkList->entryList->topLevelItemCount(), 2);
        QVERIFY(!QFile::exists(bkm));

        // Another document and back: the unsaved marks are gone.
        openThroughChooser(other);
        QCOMPARE(w->bookmarkList->entryList->topLevelItemCount(), 0);
        click(w->addMarkAction);
        QVERIFY(!QFile::exists(docs() + QStringLiteral("/other.bkm")));
        openThroughChooser(doc);
        QCOMPARE(w->bookmarkList->entryList->topLevelItemCount(), 0);
        QVERIFY(!QFile::exists(bkm));

        // One mark saved from the Navigation menu.
        v->printPage();
        v->printPage();
        const qint64 position = v->pageStart.position;
        const QByteArray expected = v->getBookmarkName().toUtf8() + '\n'
                                    + QByteArray::number(v->getPageNumber()) + '\n'
                                    + QByteArray::number(position) + '\n'
                                    + (v->pageStart.paragraph ? "1\n" : "0\n");
        click(w->addMarkAction);
        clickMenu(QStringLiteral("Navigation"), w->saveMarksAction);
        QCOMPARE(readAll(bkm), expected);

        // Deleted in bookmarks mode and left with "Close": the page stays, the file keeps it.
        click(w->gotoMarkAction);
        w->bookmarkList->entryList->topLevelItem(0)->setSelected(true);
        clickBarItem(1);  // the eraser
        QCOMPARE(w->bookmarkList->entryList->topLevelItemCount(), 0);
        click(w->closeMarksAction);
        checkReading();
        QCOMPARE(v->pageStart.position, position);
        QCOMPARE(readAll(bkm), expected);

        // After a restart the mark is back, because the deletion was never saved.
        QVERIFY(w->close());
        w = start();
        QCOMPARE(titles(w->bookmarkList), QStringList{QString::fromUtf8(expected.left(expected.indexOf('\n')))});

        // Deleting and saving with the bookmarks mode's save item empties the file.
        click(w->gotoMarkAction);
        w->bookmarkList->entryList->topLevelItem(0)->setSelected(true);
        clickBarItem(1);
        clickBarItem(0);  // save
        QCOMPARE(readAll(bkm), QByteArray());
    }

    void withoutADocument()
    {
        TextReader *w = start();
        QVERIFY(!w->view->documentOpen);
        click(w->addMarkAction);
        QCOMPARE(w->bookmarkList->entryList->topLevelItemCount(), 0);
        checkReading();
        clickMenu(QStringLiteral("Navigation"), w->buildContentsAction);
        QCOMPARE(w->contentsList->entryList->topLevelItemCount(), 0);
        checkReading();
    }

    // "Build Contents" writes the contents file beside the document, shows its entries in the
    // list, leaves the page on screen alone, and an entry chosen moves the page to it.
    void buildContents_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<QByteArray>>("startsAfter");  // each entry's position follows this

        QByteArray html = "<html><body><h1>Book</h1><p>" + filler(300) + "</p>\n";
        html += "<h2><a NAME=\"one\">Chapter One</a></h2><p>" + filler(400) + "</p>\n";
        html += "<h2><a href=\"#one\">not a heading</a></h2>\n";
        html += "<h2><a name=\"two\">Chapter <b>Two</b></a></h2><p>" + filler(400) + "</p>\n";
        html += "<h2><a name=\"three\">  Chapter Three\n</a></h2><p>" + filler(400) + "</p>\n";
        html += "<a name=\"blank\">   </a><p>" + filler(100) + "</p></body></html>\n";
        QTest::newRow("HTML anchors")
            << "book.html" << html << QStringList{"Chapter One", "Chapter Two", "Chapter Three"}
            << QList<QByteArray>{"<a NAME=\"one\">", "<a name=\"two\">", "<a name=\"three\">"};

        QByteArray plain = "Title\n\nChapter 1\n" + filler(500) + "\n\n\n  Chapter 2\n" + filler(500)
                           + "\n\n" + QByteArray(51, 'x') + "\n" + filler(50) + "\n";
        QTest::newRow("plain text headings")
            << "plain.txt" << plain << QStringList{"Chapter 1", "Chapter 2"}
            << QList<QByteArray>{"Title\n\n", filler(500) + "\n\n\n"};

        QTest::newRow("no headings") << "flat.txt" << QByteArray("one line\nanother line\n" + filler(900))
                                     << QStringList{} << QList<QByteArray>{};
    }

    void buildContents()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, document);
        QFETCH(QStringList, titles);
        QFETCH(QList<QByteArray>, startsAfter);
        const QString doc = writeDoc(name, document);
        const QString cnt = docs() + QLatin1Char('/') + QFileInfo(name).baseName() + QStringLiteral(".cnt");
        // A stale contents file from before: replaced by what the document holds now.
        QFile stale(cnt);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("Old entry\n1\n3\n1\n");
        stale.close();
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;
        QVERIFY(v->documentOpen);
        QCOMPARE(::titles(w->contentsList), QStringList{"Old entry"});
        v->printPage();
        const qint64 onScreen = v->pageStart.position;
        const QImage image = v->paper.toImage();
        clickMenu(QStringLiteral("Navigation"), w->buildContentsAction);
        checkReading();
        QCOMPARE(v->pageStart.position, onScreen);
        QVERIFY(v->paper.toImage() == image);
        // The window gives the view its height back while the scan lets events through; the
        // page laid out again must not move the scan.
        QCOMPARE(::titles(w->contentsList), titles);
        QVERIFY(readAll(cnt) != QByteArray("<missing>"));
        QCOMPARE(readAll(cnt).count('\n'), 4 * titles.size());

        // Positions in document order, each where its heading starts.
        qint64 from = 0;
        QList<qint64> positions;
        for (const QByteArray &before : startsAfter) {
            const qint64 at = document.indexOf(before, from);
            QVERIFY(at >= 0);
            positions << at + before.size();
            from = positions.last();
        }
        for (int i = 0; i < positions.size(); ++i) {
            const QTreeWidgetItem *row = w->contentsList->entryList->topLevelItem(i);
            QCOMPARE(row->text(2).toLongLong(), positions.at(i));
            QCOMPARE(row->text(3), QStringLiteral("1"));
        }

        if (positions.isEmpty())
            return;
        // The last entry chosen from "Table of Contents".
        clickMenu(QStringLiteral("Navigation"), w->contentsAction);
        QCOMPARE(w->centralWidget(), static_cast<QWidget *>(w->contentsList));
        tapRow(w->contentsList, int(positions.size()) - 1);
        checkReading();
        QCOMPARE(v->pageStart.position, positions.last());
        QVERIFY(v->getBookmarkName().trimmed().startsWith(QStringLiteral("Chapter")));
        QVERIFY(!w->backAction->isEnabled());
    }

    // An entry of a contents file chosen from "Table of Contents" becomes the first page.
    void chosenContentsEntryBecomesTheFirstPage()
    {
        const QByteArray text = novelText();
        const QString doc = writeDoc(QStringLiteral("novel.txt"), text);
        const qint64 at = text.indexOf("    Paragraph 40 ");
        QVERIFY(at > 0);
        QFile cnt(docs() + QStringLiteral("/novel.cnt"));
        QVERIFY(cnt.open(QIODevice::WriteOnly));
        cnt.write("Later\n9\n" + QByteArray::number(at + 200) + "\n0\nForty\n3\n" + QByteArray::number(at)
                  + "\n1\nStart\n1\n0\n1\n");
        cnt.close();
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;
        v->printPage();

        clickMenu(QStringLiteral("Navigation"), w->contentsAction);
        QCOMPARE(titles(w->contentsList), (QStringList{"Start", "Forty", "Later"}));
        tapRow(w->contentsList, 1);
        checkReading();
        QCOMPARE(v->pageStart.position, at);
        QCOMPARE(v->pageStart.paragraph, true);
        QVERIFY(v->getBookmarkName().trimmed().startsWith(QStringLiteral("Paragraph 40 ")));
        QVERIFY(!w->backAction->isEnabled());
    }

    // "Close" in contents mode keeps the page; Escape does too.
    void leavingTheListsWithoutChoosing_data()
    {
        QTest::addColumn<bool>("contents");
        QTest::addColumn<bool>("escape");
        QTest::newRow("bookmarks, Close") << false << false;
        QTest::newRow("bookmarks, Escape") << false << true;
        QTest::newRow("contents, Close") << true << false;
        QTest::newRow("contents, Escape") << true << true;
    }

    void leavingTheListsWithoutChoosing()
    {
        QFETCH(bool, contents);
        QFETCH(bool, escape);
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        QFile cnt(docs() + QStringLiteral("/novel.cnt"));
        QVERIFY(cnt.open(QIODevice::WriteOnly));
        cnt.write("Start\n1\n0\n1\nLater\n9\n18000\n1\n");
        cnt.close();
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;
        v->printPage();
        click(w->addMarkAction);
        v->printPage();
        const qint64 onScreen = v->pageStart.position;

        Bookmarks *list = contents ? w->contentsList : w->bookmarkList;
        if (contents)
            clickMenu(QStringLiteral("Navigation"), w->contentsAction);
        else
            click(w->gotoMarkAction);
        QCOMPARE(list->entryList->topLevelItemCount(), contents ? 2 : 1);
        // The current row moves by keys; only a choice moves the page.
        QTest::keyClick(list->entryList, Qt::Key_End);
        QVERIFY(list->hasSelection);
        if (escape)
            QTest::keyClick(list->entryList, Qt::Key_Escape);
        else
            click(contents ? w->closeContentsAction : w->closeMarksAction);
        checkReading();
        QCOMPARE(v->pageStart.position, onScreen);
    }
};

QTEST_MAIN(tst_BookmarkCommands)
#include "tst_bookmarkcommands.moc"
