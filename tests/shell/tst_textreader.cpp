// The main window through its real widgets: modes with their exact menu bar and tool bar, the close
// rule, the settings file across restarts, rotation, and the bookmark and contents commands.

#include "Bookmarks.h"
#include "Config.h"
#include "FileDialog.h"
#include "MyView.h"
#include "SettingsDlg.h"
#include "TextReader.h"
#include "UserMessages.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <memory>

namespace {

const QStringList ReadingTools{"goBack", "Open", "Settings", "Add mark", "Goto mark"};
const QString Pixmap = QStringLiteral("<pixmap>");

QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *a : actions)
        out << (a->isSeparator() ? QStringLiteral("-")
                                 : a->text().isEmpty() && !a->icon().isNull() ? Pixmap : a->text());
    return out;
}

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// The nineteen settings the settings page edits, as the view holds them.
QStringList settingsOf(const MyView *v)
{
    auto b = [](bool on) { return QString::number(on); };
    return {v->fontName, QString::number(v->fontSize), b(v->fontBold), b(v->fontItalic),
            b(v->justifyLines), b(v->reparagraph), v->paragraphRegexp, b(v->stripHtml),
            b(v->stripNewlinesInHtml), b(v->crConvert), b(v->barVisible), v->encodingName,
            QString::number(v->rotation), QString::number(v->paragraphIndent),
            QString::number(v->pageMargin), QString::number(v->lineSpacing),
            QString::number(v->scrollDelay), b(v->internalDictionary), v->dictionaryPath};
}

} // namespace

class tst_TextReader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;  // home/, config/, docs/
    std::unique_ptr<TextReader> m_window;
    QStringList m_warnings;

    QString home() const { return m_root->path() + QStringLiteral("/home"); }
    QString docs() const { return m_root->path() + QStringLiteral("/docs"); }
    QString settingsFile() const { return Config::userFilePath(QStringLiteral("Folium")); }

    TextReader *start()
    {
        m_window.reset();
        m_window = std::make_unique<TextReader>(nullptr, nullptr, Qt::Window);
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("the window did not become active");
        return m_window.get();
    }

    static QString write(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(bytes);
        return path;
    }
    QString writeDoc(const QString &name, const QByteArray &b) { return write(docs() + '/' + name, b); }
    void writeSettings(const QByteArray &ini) { write(settingsFile(), ini); }

    // Reopens `doc` at its start in a pinned layout, as after a restart.
    void settingsFor(const QString &doc, int rotation = 0)
    {
        writeSettings("[Global]\nFontname=DejaVu Sans\nFontsize=12\nBold=false\nFile=" + doc.toUtf8()
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
        QVERIFY(bar->actions().contains(item));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(item).center());
        QMenu *menu = item->menu();
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    // Enters a mode by the tool bar button or Navigation menu entry of that name.
    void enter(const QString &what)
    {
        for (QAction *a : m_window->actionToolBar->actions() + m_window->navigationMenu->actions())
            if (a->text() == what)
                return m_window->actionToolBar->actions().contains(a) ? click(a) : clickNavigation(a);
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
        QCOMPARE(texts(m_window->actionToolBar->actions()), ReadingTools);
        QCOMPARE(texts(m_window->menuBar->actions()), (QStringList{"File", "Navigation"}));
        QVERIFY(!m_window->fileChooser->isVisible() && !m_window->settingsDialog->isVisible());
        QVERIFY(!m_window->bookmarkList->isVisible() && !m_window->contentsList->isVisible());
        QCOMPARE(m_window->focusWidget(), static_cast<QWidget *>(m_window->view));
    }

    int storedKeyCount()  // in the "Global" group
    {
        return int(QSettings(settingsFile(), QSettings::IniFormat).allKeys().filter(u"Global/").size());
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

    void modes_data()
    {
        QTest::addColumn<QString>("enter");
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("leave");  // "Close", "OK" or "Escape"
        QTest::newRow("chooser, Escape") << "Open" << QStringList{"Close"} << QStringList{} << "Escape";
        QTest::newRow("settings, OK") << "Settings" << QStringList{"Close", "OK"} << QStringList{} << "OK";
        QTest::newRow("bookmarks, Close") << "Goto mark" << QStringList{"Close"} << QStringList{Pixmap, Pixmap}
                                          << "Close";
        QTest::newRow("contents, Escape") << "Table of Contents" << QStringList{"Close"} << QStringList{} << "Escape";
    }

    // Twice round each mode: the second entry finds everything as the first did, and no page of
    // the window is deleted by a change of mode. A close request outside reading mode is refused
    // but still writes the settings.
    void modes()
    {
        QFETCH(QString, enter);
        QFETCH(QStringList, tools);
        QFETCH(QStringList, menu);
        QFETCH(QString, leave);
        TextReader *w = start();
        QList<QPointer<QWidget>> pages{w->view, w->fileChooser, w->settingsDialog, w->bookmarkList,
                                       w->contentsList};
        w->view->fontSize = 17;
        for (int round = 0; round < 2; ++round) {
            this->enter(enter);
            QWidget *central = w->centralWidget();
            QVERIFY(central && central != w->view && central->isVisible() && !w->view->isVisible());
            QVERIFY(!w->close());
            QCOMPARE(storedKeyCount(), 27);
            QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("Global/Fontsize").toString(),
                     QStringLiteral("17"));
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : central, Qt::Key_R);
            QCOMPARE(w->view->rotation, 0.0);  // the window's rotation key does nothing here
            QCOMPARE(w->centralWidget(), central);
            QCOMPARE(texts(w->actionToolBar->actions()), tools);
            QCOMPARE(texts(w->menuBar->actions()), menu);
            if (leave == QLatin1String("Escape"))
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : central, Qt::Key_Escape);
            else
                click(leave == QLatin1String("OK") ? w->acceptSettingsAction : w->actionToolBar->actions().first());
            checkReadingMode();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto &p : pages)
            QVERIFY2(p, "a page was deleted by a change of mode");
    }

    void rotationCycle_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QList<double>>("steps");
        QTest::newRow("from 0") << 0 << QList<double>{-90, 180, 90, 0, -90};
        QTest::newRow("from 45") << 45 << QList<double>{-45, 180, 90, 0};
    }

    // Each R lays the document out again in the new rotation from the same page start.
    void rotationCycle()
    {
        QFETCH(int, stored);
        QFETCH(QList<double>, steps);
        settingsFor(writeDoc(QStringLiteral("novel.txt"), novelText()), stored);
        TextReader *w = start();
        QCOMPARE(w->view->rotation, double(stored));
        w->view->printPage();
        const qint64 pageStart = w->view->pageStart.position;
        QVERIFY(pageStart > 0);
        for (double expected : steps) {
            QTest::keyClick(w->view, Qt::Key_R);
            QCOMPARE(w->view->rotation, expected);
            QCOMPARE(w->view->pageStart.position, pageStart);
        }
    }

    // No settings file: an empty window that writes every key on closing, positions past 4 GB whole.
    void firstRun()
    {
        TextReader *w = start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium"));
        QVERIFY(!w->view->documentOpen);
        checkReadingMode();
        QVERIFY(!QFile::exists(settingsFile()));  // reading writes nothing
        w->view->pageStart.position = qint64(5) << 32;
        QVERIFY(w->close());
        QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(storedKeyCount(), 27);
        QCOMPARE(stored.value(QStringLiteral("Global/Position")).toString(), QStringLiteral("21474836480"));
        QCOMPARE(stored.value(QStringLiteral("Global/Folderpath")).toString(), QDir::homePath());
    }

    // Every setting, the document and the page start with its styles come back after a restart.
    void roundTrip()
    {
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        settingsFor(doc);
        TextReader *w = start();
        MyView *v = w->view;
        v->fontName = QStringLiteral("DejaVu Sans");
        v->fontSize = 14;
        v->fontBold = false;
        v->fontItalic = v->stripHtml = v->stripNewlinesInHtml = v->crConvert = true;
        v->justifyLines = v->reparagraph = v->barVisible = v->internalDictionary = false;
        v->paragraphRegexp = QStringLiteral("^\\s*$");
        v->encodingName = QStringLiteral("CP1251");
        v->paragraphIndent = 21;
        v->pageMargin = 9;
        v->lineSpacing = 5;
        v->scrollDelay = 35;
        v->dictionaryPath = QStringLiteral("/somewhere/words.dic");
        QTest::keyClick(v, Qt::Key_R);  // lays the page out again under all of it
        QTest::keyClick(v, Qt::Key_R);
        v->printPage();
        v->printPage();
        v->pageStart.penColor = QColor(0x12, 0x34, 0xab);  // styles at the page start
        v->pageStart.italic = true;
        const QStringList settings = settingsOf(v);
        const PageStart before = v->pageStart;
        QVERIFY(before.position > 0);
        QVERIFY(w->close());

        w = start();
        v = w->view;
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium - novel"));
        QCOMPARE(v->fileName, doc);
        QCOMPARE(settingsOf(v), settings);
        QCOMPARE(v->pageStart.position, before.position);
        QCOMPARE(v->pageStart.paragraph, before.paragraph);
        QCOMPARE(v->pageStart.penColor, before.penColor);
        QCOMPARE(v->pageStart.italic, true);
    }

    // A damaged settings file (text where numbers belong, negative positions and sizes) starts
    // cleanly, and what that run writes starts cleanly too.
    void damagedSettings()
    {
        const QByteArray doc = writeDoc(QStringLiteral("novel.txt"), novelText()).toUtf8();
        for (const QByteArray &ini :
             {"[Global]\nFontsize=big\nRotation=left\nIndent=x\nMargin=1.5\nSpacing=\nScroll=fast\nPosition=middle\n"
              "Bold=perhaps\nFile=" + doc,
              "[Global]\nFontname=DejaVu Sans\nFontsize=-40\nRotation=90\nPosition=-77\nMargin=-5\nSpacing=-9\n"
              "Indent=-3\npagePenColor=no colour\nFile=" + doc}) {
            writeSettings(ini);
            TextReader *w = start();
            QVERIFY(w->view->isVisible());
            QCOMPARE(w->view->rotation, ini.contains("=90") ? 90.0 : -1.0);
            QTest::keyClick(w->view, Qt::Key_R);
            QVERIFY(w->close());
            QCOMPARE(storedKeyCount(), 27);
            QVERIFY(start()->close());
        }
    }

    // A mark reaches the file only through "Save marks"; chosen from the list, in the same run or
    // after a restart, it brings back exactly its page.
    void marks()
    {
        settingsFor(writeDoc(QStringLiteral("novel.txt"), novelText()));
        const QString bkm = docs() + QStringLiteral("/novel.bkm");
        TextReader *w = start();
        MyView *v = w->view;
        for (int i = 0; i < 5; ++i)
            v->printPage();
        const PageStart marked = v->pageStart;
        const QImage image = v->paper.toImage();
        const QByteArray saved = v->getBookmarkName().toUtf8() + '\n' + QByteArray::number(v->getPageNumber())
                                 + '\n' + QByteArray::number(marked.position) + '\n'
                                 + (marked.paragraph ? "1\n" : "0\n");
        click(w->addMarkAction);
        QCOMPARE(v->pageStart.position, marked.position);
        QVERIFY(!QFile::exists(bkm));
        clickNavigation(w->saveMarksAction);
        QCOMPARE(readAll(bkm), saved);

        for (int run = 0; run < 2; ++run) {
            if (run == 1) {
                QVERIFY(w->close());
                v = (w = start())->view;
            }
            v->pageStart = PageStart{};
            v->pageStart.paragraph = true;
            v->resumeSlot();
            v->printPage();
            QVERIFY(v->pageStart.position != marked.position);
            click(w->gotoMarkAction);
            tap(w->bookmarkList->entryList, w->bookmarkList->entryList->topLevelItem(0));
            checkReadingMode();
            QCOMPARE(v->pageStart.position, marked.position);
            QCOMPARE(v->pageStart.paragraph, marked.paragraph);
            QVERIFY(v->paper.toImage() == image);
        }
    }

    // "Build Contents" lists the document's anchors at their positions and leaves the page on
    // screen alone; an entry chosen then moves the page to it.
    void buildContents()
    {
        const QByteArray p = "<p>" + QByteArray(" filler words").repeated(150) + "</p>\n";
        const QByteArray html = "<html><body><h1>Book</h1>" + p + "<h2><a NAME=\"one\">Chapter One</a></h2>" + p
                                + "<h2><a href=\"#one\">not a heading</a></h2>\n<h2><a name=\"two\">Chapter <b>Two</b>"
                                + "</a></h2>" + p + "<a name=\"blank\">   </a>" + p + "</body></html>\n";
        settingsFor(writeDoc(QStringLiteral("book.html"), html));
        TextReader *w = start();
        MyView *v = w->view;
        v->printPage();
        const qint64 onScreen = v->pageStart.position;
        const QImage image = v->paper.toImage();
        clickNavigation(w->buildContentsAction);
        checkReadingMode();
        QCOMPARE(v->pageStart.position, onScreen);
        QVERIFY(v->paper.toImage() == image);
        QCOMPARE(titles(w->contentsList), (QStringList{"Chapter One", "Chapter Two"}));
        QCOMPARE(readAll(docs() + QStringLiteral("/book.cnt")).count('\n'), 8);
        const qint64 one = html.indexOf("<a NAME=\"one\">") + 14;
        const qint64 two = html.indexOf("<a name=\"two\">") + 14;
        QCOMPARE(w->contentsList->entryList->topLevelItem(0)->text(2).toLongLong(), one);
        QCOMPARE(w->contentsList->entryList->topLevelItem(1)->text(2).toLongLong(), two);

        clickNavigation(w->contentsAction);
        tap(w->contentsList->entryList, w->contentsList->entryList->topLevelItem(1));
        checkReadingMode();
        QCOMPARE(v->pageStart.position, two);
    }
};

QTEST_MAIN(tst_TextReader)
#include "tst_textreader.moc"
