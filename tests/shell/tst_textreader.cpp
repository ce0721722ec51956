// The main window through its real widgets: modes, the close rule, the settings file across
// restarts, rotation, settings that reopen the document only when they must, the bookmark and
// contents commands, and the desktop's ways of opening books and keeping their places.
#include "Bookmarks.h"
#include "Config.h"
#include "EpubBuilder.h"
#include "FileDialog.h"
#include "FindBar.h"
#include "KeysHelp.h"
#include "MyView.h"
#include "Notice.h"
#include "PalmBuilder.h"
#include "SettingsDlg.h"
#include "TestFiles.h"
#include "TextReader.h"
#include "UserMessages.h"
#include "WelcomePage.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <memory>
#include <sys/stat.h>

namespace {

QByteArray novelText()
{
    QByteArray text;
    for (int p = 0; p < 120; ++p)
        text += "    Paragraph " + QByteArray::number(p) + QByteArray(" and some words").repeated(13) + ".\n";
    return text;
}

QStringList titles(const Bookmarks *list)
{
    QStringList out;
    for (int i = 0; i < list->entryList->topLevelItemCount(); ++i)
        out << list->entryList->topLevelItem(i)->text(0);
    return out;
}

} // namespace

class tst_TextReader : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestFolder> m_root;  // home/, config/, docs/
    std::unique_ptr<TextReader> m_window;
    QStringList m_warnings;

    QString home() const { return m_root->filePath(QStringLiteral("home")); }
    QString settingsFile() const { return Config::userFilePath(QStringLiteral("Folium")); }
    QString writeDoc(const QString &name, const QByteArray &b) { return m_root->write("docs/" + name, b); }

    QString noticeText() const { return m_window->findChild<Notice *>()->text(); }

    // `document`: as if named on the command line.
    TextReader *start(const QString &document = QString())
    {
        m_window.reset();
        m_window = std::make_unique<TextReader>(nullptr, nullptr, Qt::Window, document);
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("the window did not become active");
        return m_window.get();
    }

    // Reopens `doc` at its start in a pinned layout, as after a restart.
    void settingsFor(const QString &doc, int rotation = 0)
    {
        m_root->write(QStringLiteral("config/Folium.conf"),
                      "[Global]\nFontname=DejaVu Sans\nFontsize=12\nBold=false\nEncoding=UTF-8\nFile=" + doc.toUtf8()
                          + "\nFolderpath=" + QFileInfo(doc).absolutePath().toUtf8()
                          + "\nPosition=0\nParagraph=true\nRotation=" + QByteArray::number(rotation)
                          + "\nIndent=8\nMargin=4\nSpacing=2\nScroll=100\n");
    }

    void click(QAction *action)
    {
        QWidget *button = m_window->actionToolBar->widgetForAction(action);
        QVERIFY2(button, qPrintable(action->text() + QStringLiteral(" is not on the tool bar")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    void clickNavigation(QAction *entry)
    {
        QMenuBar *bar = m_window->menuBar;
        QAction *item = m_window->navigationMenu->menuAction();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(item).center());
        QMenu *menu = item->menu();
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    void tap(QTreeWidget *tree, QTreeWidgetItem *item)
    {
        QVERIFY(item);
        tree->scrollToItem(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }

    void checkReadingMode()
    {
        QCOMPARE(m_window->centralWidget(), static_cast<QWidget *>(m_window->view));
        QVERIFY(m_window->view->isVisible());
        QVERIFY(!m_window->fileChooser->isVisible() && !m_window->settingsDialog->isVisible());
        QVERIFY(!m_window->bookmarkList->isVisible() && !m_window->contentsList->isVisible());
        QCOMPARE(m_window->focusWidget(), static_cast<QWidget *>(m_window->view));
    }

    void edit(const std::function<void(ReaderSettings &)> &change)
    {
        ReaderSettings s = m_window->view->settings();
        change(s);
        m_window->view->setSettings(s);
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
        m_root = std::make_unique<TestFolder>();
        QDir().mkpath(home());
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root->filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root->filePath(QStringLiteral("data"))));
        m_warnings.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_root.reset();
        QVERIFY2(m_warnings.isEmpty(), qPrintable(m_warnings.join('\n')));
    }

    void cleanupTestCase() { setWarningSink({}); }

    void modes_data()
    {
        QTest::addColumn<QString>("enter");
        QTest::addColumn<QString>("leave");  // "Close", "OK" or "Escape"
        QTest::newRow("chooser, Escape") << "Open" << "Escape";
        QTest::newRow("settings, OK") << "Settings" << "OK";
        QTest::newRow("bookmarks, Close") << "Goto mark" << "Close";
        QTest::newRow("contents, Escape") << "Table of Contents" << "Escape";
    }

    // Twice round each mode: no page of the window is deleted by a change of mode, a close request
    // outside reading mode is refused but still writes the settings, and R does not turn the page
    // behind a side page.
    void modes()
    {
        QFETCH(QString, enter);
        QFETCH(QString, leave);
        TextReader *w = start();
        QList<QPointer<QWidget>> pages{w->view, w->fileChooser, w->settingsDialog, w->bookmarkList,
                                       w->contentsList};
        edit([](ReaderSettings &s) { s.fontSize = 17; });
        for (int round = 0; round < 2; ++round) {
            const QList<QAction *> tools = w->actionToolBar->actions();
            for (QAction *a : tools + w->navigationMenu->actions()) {
                if (a->text() == enter) {
                    tools.contains(a) ? click(a) : clickNavigation(a);
                    break;
                }
            }
            QWidget *central = w->centralWidget();
            QVERIFY(central && central != w->view && central->isVisible() && !w->view->isVisible());
            QVERIFY(!w->close());
            QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("Global/Fontsize").toString(),
                     QStringLiteral("17"));
            QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : central;
            QTest::keyClick(focus, Qt::Key_R);
            QCOMPARE(w->view->settings().rotation, 0.0);
            if (leave == QLatin1String("Escape"))
                QTest::keyClick(focus, Qt::Key_Escape);
            else
                click(leave == QLatin1String("OK") ? w->acceptSettingsAction : w->actionToolBar->actions().first());
            checkReadingMode();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto &p : pages)
            QVERIFY2(p, "a page was deleted by a change of mode");
    }

    // No settings file: a welcome page over an empty view, and a preset for a desktop written at
    // once; a later start keeps what the file says, and a key missing from it keeps its old
    // default. Every key is written on closing, positions past 4 GB whole.
    void firstRun()
    {
        TextReader *w = start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium"));
        QVERIFY(!w->view->documentOpen());
        QVERIFY(w->welcomePage->isVisible());
        {
            QSettings preset(settingsFile(), QSettings::IniFormat);
            QCOMPARE(preset.value("Global/MaxLineWidth").toInt(), 40);  // the preset's, not the default
            QCOMPARE(preset.value("Global/ClassicBar").toString(), QStringLiteral("false"));
            preset.setValue("Global/Fontsize", 15);
            preset.remove("Global/ClassicBar");  // as in a file from before the desktop look
            preset.remove("Global/MaxLineWidth");
        }
        w = start();
        QCOMPARE(w->view->settings().fontSize, 15);
        QVERIFY(w->view->settings().classicBar);
        QCOMPARE(w->view->settings().maxLineWidth, 0);
        checkReadingMode();
        PageStart start = w->view->pageStart();
        start.position = qint64(5) << 32;
        w->view->setPageStart(start);
        QVERIFY(w->close());
        QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Global/Position")).toString(), QStringLiteral("21474836480"));
        QCOMPARE(stored.value(QStringLiteral("Global/Folderpath")).toString(), QDir::homePath());
    }

    // Each R lays the document out again a quarter turn on from the same page start, also from a
    // rotation R never gives. Every setting, the document and the page start with its styles come
    // back after a restart.
    void roundTrip()
    {
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        settingsFor(doc, 45);
        TextReader *w = start();
        QCOMPARE(w->view->settings().rotation, 45.0);
        edit([](ReaderSettings &s) {
            s.fontSize = 14;
            s.fontItalic = s.stripHtml = s.stripNewlinesInHtml = s.crConvert = true;
            s.justifyLines = s.reparagraph = s.barVisible = s.internalDictionary = false;
            s.paragraphRegexp = QStringLiteral("^\\s*$");
            s.encodingName = QStringLiteral("CP1251");
            s.paragraphIndent = 21;
            s.pageMargin = 9;
            s.lineSpacing = 5;
            s.scrollDelay = 35;
            s.dictionaryPath = QStringLiteral("/somewhere/words.dic");
        });
        w->view->nextPage();
        w->view->nextPage();
        const qint64 pageStart = w->view->pageStart().position;
        for (const double rotation : {-45.0, 180.0, 90.0, 0.0, -90.0, 180.0}) {
            QTest::keyClick(w->view, Qt::Key_R);
            QCOMPARE(w->view->settings().rotation, rotation);
            QCOMPARE(w->view->pageStart().position, pageStart);
        }
        PageStart before = w->view->pageStart();
        before.penColor = QColor(0x12, 0x34, 0xab);  // styles at the page start
        before.italic = true;
        w->view->setPageStart(before);
        const ReaderSettings settings = w->view->settings();
        QVERIFY(w->close());

        w = start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium - novel"));
        QCOMPARE(w->view->fileName(), doc);
        QVERIFY(w->view->settings() == settings);
        QCOMPARE(w->view->pageStart().position, before.position);
        QCOMPARE(w->view->pageStart().paragraph, before.paragraph);
        QCOMPARE(w->view->pageStart().penColor, before.penColor);
        QCOMPARE(w->view->pageStart().italic, true);
    }

    // A damaged settings file (text where numbers belong, negative positions and sizes) starts
    // cleanly, and what that run writes starts cleanly too.
    void damagedSettings()
    {
        const QByteArray doc = writeDoc(QStringLiteral("novel.txt"), novelText()).toUtf8();
        for (const QByteArray &ini :
             {"[Global]\nFontsize=big\nRotation=left\nIndent=x\nMargin=1.5\nSpacing=\nPosition=middle\nFile=" + doc,
              "[Global]\nFontsize=-40\nRotation=90\nPosition=-77\nMargin=-5\npagePenColor=no colour\nFile=" + doc}) {
            m_root->write(QStringLiteral("config/Folium.conf"), ini);
            TextReader *w = start();
            QVERIFY(w->view->isVisible());
            QCOMPARE(w->view->settings().rotation, ini.contains("=90") ? 90.0 : -1.0);
            QTest::keyClick(w->view, Qt::Key_R);
            QVERIFY(w->close());
            QVERIFY(start()->close());
        }
    }

    // "OK" in the settings page prepares the document again only when the decoding changed: a
    // Palm book is not converted afresh for a new margin.
    void acceptedSettingsReopenOnlyWhenTheyMust()
    {
        using namespace PalmBuilder;
        settingsFor(writeDoc(QStringLiteral("book.pdb"), palmDocBook(novelText(), 2)));
        TextReader *w = start();
        QVERIFY(w->view->documentOpen());
        w->view->nextPage();
        const qint64 page = w->view->pageStart().position;
        auto copyIdentity = [w] {
            struct stat st;
            const QByteArray path = QFile::encodeName(w->view->document().reader().fileName());
            return ::stat(path.constData(), &st) == 0 ? QPair<qint64, qint64>(st.st_ino, st.st_mtim.tv_nsec)
                                                      : QPair<qint64, qint64>(-1, -1);
        };
        const auto converted = copyIdentity();
        click(w->settingsAction);
        w->settingsDialog->marginBox->setValue(10);
        click(w->acceptSettingsAction);
        QCOMPARE(w->view->settings().pageMargin, 10);
        QCOMPARE(w->view->pageStart().position, page);
        QCOMPARE(copyIdentity(), converted);  // the same copy, not a new conversion
        click(w->settingsAction);
        w->settingsDialog->encodingList->setCurrentText(QStringLiteral("CP 1252"));
        click(w->acceptSettingsAction);
        QCOMPARE(w->view->settings().encodingName, QStringLiteral("CP 1252"));
        QCOMPARE(w->view->pageStart().position, page);
    }

    // A mark reaches its file as soon as it is added, with a word of confirmation, and "Save
    // marks" writes the same; chosen from the list, in the same run or after a restart, it brings
    // back exactly its page.
    void marks()
    {
        settingsFor(writeDoc(QStringLiteral("novel.txt"), novelText()));
        const QString bkm = m_root->filePath(QStringLiteral("docs/novel.bkm"));
        TextReader *w = start();
        for (int i = 0; i < 4; ++i)
            w->view->nextPage();
        const PageStart marked = w->view->pageStart();
        const QImage image = w->view->paper().toImage();
        const QByteArray saved = w->view->getBookmarkName().toUtf8() + '\n'
                               + QByteArray::number(w->view->getPageNumber()) + '\n'
                               + QByteArray::number(marked.position) + '\n' + (marked.paragraph ? "1\n" : "0\n");
        click(w->addMarkAction);
        QCOMPARE(readFile(bkm), saved);
        QCOMPARE(noticeText(), QStringLiteral("Added mark: ") + w->view->getBookmarkName().trimmed());
        QFile::remove(bkm);
        clickNavigation(w->saveMarksAction);
        QCOMPARE(readFile(bkm), saved);

        for (int run = 0; run < 2; ++run) {
            if (run == 1) {
                QVERIFY(w->close());
                w = start();
            }
            w->view->showPageAt(PageStart{});
            QVERIFY(w->view->pageStart().position != marked.position);
            click(w->gotoMarkAction);
            tap(w->bookmarkList->entryList, w->bookmarkList->entryList->topLevelItem(0));
            checkReadingMode();
            QCOMPARE(w->view->pageStart().position, marked.position);
            QCOMPARE(w->view->pageStart().paragraph, marked.paragraph);
            QVERIFY(w->view->paper().toImage() == image);
        }
    }

    // "Build Contents" lists the document's anchors at their positions and leaves the page on
    // screen alone. (Choosing an entry: bookTitleAndContents.)
    void buildContents()
    {
        const QByteArray p = "<p>" + QByteArray(" filler words").repeated(150) + "</p>\n";
        const QByteArray html = "<html><body><h1>Book</h1>" + p + "<h2><a NAME=\"one\">Chapter One</a></h2>" + p
                              + "<h2><a href=\"#one\">not a heading</a></h2>\n<h2><a name=\"two\">Chapter <b>Two</b>"
                              + "</a></h2>" + p + "<a name=\"blank\">   </a>" + p + "</body></html>\n";
        settingsFor(writeDoc(QStringLiteral("book.html"), html));
        TextReader *w = start();
        w->view->nextPage();
        const qint64 onScreen = w->view->pageStart().position;
        const QImage image = w->view->paper().toImage();
        clickNavigation(w->buildContentsAction);
        checkReadingMode();
        QCOMPARE(w->view->pageStart().position, onScreen);
        QVERIFY(w->view->paper().toImage() == image);
        QCOMPARE(titles(w->contentsList), (QStringList{"Chapter One", "Chapter Two"}));
        const qint64 two = html.indexOf("<a name=\"two\">") + 14;
        QCOMPARE(w->contentsList->entryList->topLevelItem(1)->text(2).toLongLong(), two);
    }

    // Books opened in turn from the command line each come back at their own page, after a restart
    // too and when moved; the settings keep naming the last document as before.
    void everyBookKeepsItsPlace()
    {
        const QString a = writeDoc(QStringLiteral("a.txt"), novelText());
        const QString b = writeDoc(QStringLiteral("b.txt"), novelText() + "The end.\n");
        TextReader *w = start(a);
        QCOMPARE(w->view->fileName(), a);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(w->view, Qt::Key_PageDown);
        const qint64 placeA = w->view->pageStart().position;
        w->openDocument(b);
        QCOMPARE(w->view->pageStart().position, qint64(0));
        w->view->nextPage();
        w->view->nextPage();
        const qint64 placeB = w->view->pageStart().position;
        QVERIFY(placeA > 0 && placeB > 0 && placeB != placeA);
        w->openDocument(a);
        QCOMPARE(w->view->pageStart().position, placeA);
        QVERIFY(w->close());

        w = start(b);
        QCOMPARE(w->view->pageStart().position, placeB);
        QCOMPARE(w->recent().paths(), (QStringList{b, a}));
        const QString moved = m_root->filePath(QStringLiteral("docs/moved.txt"));
        QVERIFY(QFile::rename(a, moved));
        w->openDocument(moved);
        QCOMPARE(w->view->pageStart().position, placeA);
        QVERIFY(w->close());
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("Global/File").toString(), moved);
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("Global/Position").toLongLong(), placeA);
    }

    // Opening costs the same for any size: a large text named by a settings file that has only its
    // name and place fits about a page of lines, whether restored at its start or its middle.
    void largeDocumentOpensCheaply()
    {
        const QByteArray big = novelText().repeated(1000);
        const QString doc = writeDoc(QStringLiteral("big.txt"), big);
        for (const qint64 position : {qint64(0), qint64(big.size() / 2)}) {
            m_root->write(QStringLiteral("config/Folium.conf"),
                          "[Global]\nFile=" + doc.toUtf8() + "\nPosition=" + QByteArray::number(position) + '\n');
            TextReader *w = start();
            QCOMPARE(w->view->pageStart().position, position);
            QVERIFY2(w->view->fitterCalls() < 1000, qPrintable(QString::number(w->view->fitterCalls())));
        }
    }

    // A dropped file opens and the welcome page goes; a dropped folder is refused with a word and
    // the book stays open.
    void drops()
    {
        const QString doc = writeDoc(QStringLiteral("dropped.txt"), novelText());
        TextReader *w = start();
        QVERIFY(w->welcomePage->isVisible());
        auto drop = [w](const QString &path) {
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent dropped(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QCoreApplication::sendEvent(w, &dropped);
        };
        drop(doc);
        QCOMPARE(w->view->fileName(), doc);
        QVERIFY(!w->welcomePage->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium - dropped"));
        drop(m_root->filePath(QStringLiteral("docs")));
        QVERIFY(noticeText().contains(QStringLiteral("is not a file that can be read")));
        QCOMPARE(w->view->fileName(), doc);
    }

    // A library file that is no database: said once the window is up, left as it was, and books
    // still open and page.
    void damagedLibraryIsNoObstacle()
    {
        const QByteArray junk = QByteArray("this is not a database\n").repeated(200);
        const QString library = m_root->write(QStringLiteral("data/folium/library.sqlite"), junk);
        settingsFor(writeDoc(QStringLiteral("novel.txt"), novelText()));
        TextReader *w = start();
        QTRY_VERIFY(noticeText().startsWith(QStringLiteral("The library cannot be used")));
        QVERIFY(w->view->documentOpen());
        QTest::keyClick(w->view, Qt::Key_PageDown);
        QVERIFY(w->view->pageStart().position > 0);
        w->openDocument(writeDoc(QStringLiteral("other.txt"), "other words\n"));
        QVERIFY(w->view->pageWords().count() == 2);
        QVERIFY(w->close());
        QCOMPARE(readFile(library), junk);
    }

    // An EPUB book is called by its title and author, and its own contents fill the list until
    // "Build Contents" makes a contents file, which then takes their place.
    void bookTitleAndContents()
    {
        EpubBuilder book;
        book.metadata("The Title", "The Author", "en")
            .chapter("one.xhtml", "<h1>One</h1><p>" + QByteArray("words ").repeated(300) + "</p>")
            .chapter("two.xhtml", "<h1 id=\"h\">Two</h1><p>more</p>")
            .contents({{"First", "one.xhtml", 0}, {"Second", "two.xhtml#h", 1}});
        const QString path = writeDoc(QStringLiteral("book.epub"), book.build());
        TextReader *w = start(path);
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium - The Title \u2014 The Author"));
        QCOMPARE(titles(w->contentsList), (QStringList{"First", "    Second"}));
        clickNavigation(w->contentsAction);
        tap(w->contentsList->entryList, w->contentsList->entryList->topLevelItem(1));
        checkReadingMode();
        QCOMPARE(w->view->pageWords().at(0).text, QStringLiteral("Two"));
        clickNavigation(w->buildContentsAction);
        QVERIFY(QFile::exists(w->contentsFile()));
        QVERIFY(!titles(w->contentsList).contains(QStringLiteral("First")));
    }

    // Ctrl+F, a phrase, Enter: the page of the first hit after the page shown; F3 and Shift+F3 step
    // on and back, wrapping round with a notice; Escape closes the bar and drops the marks.
    void findBar()
    {
        QByteArray text;
        for (int i = 0; i < 200; ++i)
            text += i % 9 == 4 ? "Words of a paragraph, and a lantern\nglowed there.\n\n" : "Words of a paragraph.\n\n";
        const QString doc = writeDoc(QStringLiteral("lantern.txt"), text);
        settingsFor(doc);
        TextReader *w = start();
        QVERIFY(w->view->documentOpen());
        QVERIFY(!w->findToolBar->isVisible());
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(w->findToolBar->isVisible());
        auto *field = w->findBar->findChild<QLineEdit *>(QStringLiteral("findText"));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(field));
        QTest::keyClicks(field, QStringLiteral("LANTERN glowed"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(w->view->foundMarks().isActive());
        const qint64 first = w->view->foundMarks().current().first;
        QCOMPARE(first, qint64(text.indexOf("lantern")));
        QVERIFY(w->view->pageStart().position <= first);

        QTest::keyClick(field, Qt::Key_F3);
        QTRY_VERIFY(w->view->foundMarks().current().first > first);
        const qint64 second = w->view->foundMarks().current().first;
        QCOMPARE(second, qint64(text.indexOf("lantern", first + 1)));
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        QTRY_COMPARE(w->view->foundMarks().current().first, first);
        QTest::keyClick(field, Qt::Key_F3, Qt::ShiftModifier);
        QTRY_COMPARE(w->view->foundMarks().current().first, qint64(text.lastIndexOf("lantern")));
        QCOMPARE(w->findBar->status(), QStringLiteral("Wrapped to the end"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(w->view->foundMarks().current().first, first);
        QCOMPARE(w->findBar->status(), QStringLiteral("Wrapped to the start"));

        field->setText(QStringLiteral("no such words"));
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(w->findBar->status(), QStringLiteral("Not found"));
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!w->findToolBar->isVisible());
        QVERIFY(!w->view->foundMarks().isActive());

        // Ctrl+G: a percentage, then a page as the bar counts them.
        for (const QString &answer : {QStringLiteral("50%"), QStringLiteral("3")}) {
            w->activateWindow();
            QTRY_VERIFY(w->isActiveWindow());
            QTimer::singleShot(0, this, [answer] {
                auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                dialog->setTextValue(answer);
                dialog->accept();
            });
            QTest::keyClick(w, Qt::Key_G, Qt::ControlModifier);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            if (answer.endsWith(QLatin1Char('%'))) {
                QVERIFY(w->view->pageStart().position <= text.size() / 2);
                QVERIFY(w->view->document().position() > text.size() / 2);
            } else {
                QVERIFY2(w->view->progressText().startsWith(QStringLiteral("page 3 of")),
                         qPrintable(w->view->progressText()));
            }
        }
    }

    // Help > Keys lists every shortcut a menu entry has.
    void keysHelpListsEveryShortcut()
    {
        TextReader *w = start();
        const QString keys = keysText();
        int shortcuts = 0;
        for (const QAction *action : w->findChildren<QAction *>()) {
            if (action->shortcut().isEmpty())
                continue;
            ++shortcuts;
            const QString key = action->shortcut().toString(QKeySequence::PortableText);
            QVERIFY2(keys.contains(key), qPrintable(key));
        }
        QVERIFY(shortcuts >= 8);
    }
};

QTEST_MAIN(tst_TextReader)
#include "tst_textreader.moc"
