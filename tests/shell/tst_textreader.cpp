// The main window driven through its real widgets under the offscreen platform: the five modes
// with their exact menu bar and tool bar, the window's keys, the close rule, and the settings
// file across restarts. Each test gets its own home and configuration folder.

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
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <memory>

namespace {

const QStringList ReadingTools{"goBack", "Open", "Settings", "Add mark", "Goto mark"};
const QStringList ReadingMenu{"File", "Navigation"};
const QString PixmapItem = QStringLiteral("<pixmap>");

const QStringList AllKeys{"Fontname", "Fontsize", "Bold", "Italic", "Justify", "Reparagraph",
                          "ParagraphRegexp", "Striphtml", "StripNLinHtml", "Crconvert", "BarVisible",
                          "Encoding", "Rotation", "Indent", "Margin", "Spacing", "Scroll", "File",
                          "Folderpath", "Position", "Paragraph", "pagePenColor", "pageBold",
                          "pageItalic", "pageUnderline", "InternalDictionary", "DictionaryPath"};

QStringList texts(const QList<QAction *> &actions)
{
    QStringList out;
    for (const QAction *a : actions) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->text().isEmpty() && !a->icon().isNull())
            out << PixmapItem;
        else
            out << a->text();
    }
    return out;
}

// Paragraphs of plain words, enough for several pages at any size the tests use.
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

    QString writeDoc(const QString &name, const QByteArray &bytes)
    {
        QDir().mkpath(docs());
        QFile f(docs() + QLatin1Char('/') + name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }

    void writeSettings(const QByteArray &ini)
    {
        QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
        QFile f(settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }

    void click(QAction *action)
    {
        QWidget *button = m_window->actionToolBar->widgetForAction(action);
        QVERIFY2(button, qPrintable(action->text() + QStringLiteral(" is not on the tool bar")));
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Opens the "Navigation" (or "File") menu from the menu bar and clicks one of its entries.
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

    // "Open", then a tap on each path element below the listed folder, the last one a file.
    void openThroughChooser(const QString &path)
    {
        click(m_window->openAction);
        GetFileName *chooser = m_window->fileChooser;
        QTRY_COMPARE(m_window->centralWidget(), static_cast<QWidget *>(chooser));
        QString rel = QDir(chooser->currentFolder).relativeFilePath(path);
        if (rel.startsWith(QLatin1String(".."))) {  // start from the folder itself
            chooser->pathEdit->clear();
            QTest::keyClicks(chooser->pathEdit, QFileInfo(path).absolutePath());
            QTest::keyClick(chooser->pathEdit, Qt::Key_Return);
            rel = QFileInfo(path).fileName();
        }
        for (const QString &name : rel.split(QLatin1Char('/'))) {
            QTreeWidgetItem *item = nullptr;
            for (int i = 0; i < chooser->entryList->topLevelItemCount(); ++i)
                if (chooser->entryList->topLevelItem(i)->text(0) == name)
                    item = chooser->entryList->topLevelItem(i);
            QVERIFY2(item, qPrintable(name));
            chooser->entryList->scrollToItem(item);
            QTest::mouseClick(chooser->entryList->viewport(), Qt::LeftButton, {},
                              chooser->entryList->visualItemRect(item).center());
        }
    }

    void checkReadingMode()
    {
        QCOMPARE(m_window->centralWidget(), static_cast<QWidget *>(m_window->view));
        QVERIFY(m_window->view->isVisible());
        QCOMPARE(texts(m_window->actionToolBar->actions()), ReadingTools);
        QCOMPARE(texts(m_window->menuBar->actions()), ReadingMenu);
        for (QWidget *page : {static_cast<QWidget *>(m_window->fileChooser),
                              static_cast<QWidget *>(m_window->settingsDialog),
                              static_cast<QWidget *>(m_window->bookmarkList),
                              static_cast<QWidget *>(m_window->contentsList)})
            QVERIFY(!page->isVisible());
    }

    QStringList storedKeys()
    {
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.beginGroup(QStringLiteral("Global"));
        return stored.childKeys();
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
    }

    void cleanupTestCase() { setWarningSink({}); }

    // ---- Modes ----------------------------------------------------------------------------------

    void modes_data()
    {
        QTest::addColumn<QString>("enter");  // what the user clicks in reading mode
        QTest::addColumn<QString>("page");   // object name of the central widget afterwards
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QStringList>("menu");
        QTest::addColumn<QString>("leave");  // "Close", "OK" or "Escape"

        const QStringList none;
        QTest::newRow("chooser, Close") << "Open" << "chooser" << QStringList{"Close"} << none << "Close";
        QTest::newRow("chooser, Escape") << "Open" << "chooser" << QStringList{"Close"} << none << "Escape";
        QTest::newRow("settings, Close") << "Settings" << "settings" << QStringList{"Close", "OK"} << none
                                         << "Close";
        QTest::newRow("settings, OK") << "Settings" << "settings" << QStringList{"Close", "OK"} << none
                                      << "OK";
        QTest::newRow("bookmarks, Close") << "Goto mark" << "bookmarks" << QStringList{"Close"}
                                          << QStringList{PixmapItem, PixmapItem} << "Close";
        QTest::newRow("bookmarks, Escape") << "Goto mark" << "bookmarks" << QStringList{"Close"}
                                           << QStringList{PixmapItem, PixmapItem} << "Escape";
        QTest::newRow("contents, Close") << "Table of Contents" << "contents" << QStringList{"Close"}
                                         << none << "Close";
        QTest::newRow("contents, Escape") << "Table of Contents" << "contents" << QStringList{"Close"}
                                          << none << "Escape";
    }

    void modes()
    {
        QFETCH(QString, enter);
        QFETCH(QString, page);
        QFETCH(QStringList, tools);
        QFETCH(QStringList, menu);
        QFETCH(QString, leave);
        TextReader *w = start();
        QList<QPointer<QWidget>> pages{w->view, w->fileChooser, w->settingsDialog, w->bookmarkList,
                                       w->contentsList};
        checkReadingMode();
        QVERIFY(!w->backAction->isEnabled());

        // Twice round: the second entry finds everything as the first did.
        for (int round = 0; round < 2; ++round) {
            if (enter == QLatin1String("Table of Contents"))
                clickMenu(QStringLiteral("Navigation"), w->contentsAction);
            else if (enter == QLatin1String("Open"))
                click(w->openAction);
            else if (enter == QLatin1String("Settings"))
                click(w->settingsAction);
            else
                click(w->gotoMarkAction);

            QWidget *central = w->centralWidget();
            QVERIFY(central);
            QCOMPARE(central->objectName(), page);
            QVERIFY(central->isVisible());
            QVERIFY(!w->view->isVisible());
            QCOMPARE(texts(w->actionToolBar->actions()), tools);
            QCOMPARE(texts(w->menuBar->actions()), menu);

            if (leave == QLatin1String("Escape")) {
                QWidget *focus = QApplication::focusWidget();
                QTest::keyClick(focus ? focus : central, Qt::Key_Escape);
            } else {
                click(leave == QLatin1String("OK") ? w->acceptSettingsAction : w->actionToolBar->actions().first());
            }
            checkReadingMode();
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->view));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const auto &p : pages)
            QVERIFY2(p, "a page was deleted by a change of mode");
        QVERIFY(!w->backAction->isEnabled());
    }

    void navigationMenuHoldsTheRest()
    {
        TextReader *w = start();
        QCOMPARE(texts(w->fileMenu->actions()), (QStringList{"Open", "Settings"}));
        QCOMPARE(texts(w->navigationMenu->actions()),
                 (QStringList{"Add mark", "Goto mark", "Save marks", "-", "Table of Contents",
                              "Build Contents"}));
    }

    void keysThatDoNothingInAMode_data()
    {
        QTest::addColumn<QString>("enter");
        QTest::addColumn<int>("key");
        QTest::newRow("Escape in reading mode") << "" << int(Qt::Key_Escape);
        QTest::newRow("R on the settings page") << "Settings" << int(Qt::Key_R);
        QTest::newRow("Space on the settings page") << "Settings" << int(Qt::Key_Space);
        QTest::newRow("Space in the chooser") << "Open" << int(Qt::Key_Space);
        QTest::newRow("F11 in the chooser") << "Open" << int(Qt::Key_F11);
    }

    void keysThatDoNothingInAMode()
    {
        QFETCH(QString, enter);
        QFETCH(int, key);
        TextReader *w = start();
        if (enter == QLatin1String("Open"))
            click(w->openAction);
        else if (enter == QLatin1String("Settings"))
            click(w->settingsAction);
        QWidget *central = w->centralWidget();
        const QStringList tools = texts(w->actionToolBar->actions());

        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : central, Qt::Key(key));
        QCOMPARE(w->centralWidget(), central);
        QVERIFY(central->isVisible());
        QCOMPARE(texts(w->actionToolBar->actions()), tools);
        QVERIFY(!w->fullScreen);
        QVERIFY(w->menuToolBar->isVisible());
    }

    // ---- Keys -----------------------------------------------------------------------------------

    void rotationCycle_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QList<double>>("steps");
        QTest::newRow("from 0") << 0 << QList<double>{-90, 180, 90, 0, -90};
        QTest::newRow("from 45") << 45 << QList<double>{-45, 180, 90, 0};
        QTest::newRow("from -90") << -90 << QList<double>{180, 90, 0, -90};
    }

    void rotationCycle()
    {
        QFETCH(int, stored);
        QFETCH(QList<double>, steps);
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        writeSettings("[Global]\nFontname=DejaVu Sans\nFontsize=12\nFile=" + doc.toUtf8()
                      + "\nFolderpath=" + docs().toUtf8() + "\nPosition=0\nParagraph=true\nRotation="
                      + QByteArray::number(stored) + "\nIndent=8\nMargin=4\nSpacing=2\nScroll=100\n");
        TextReader *w = start();
        QCOMPARE(w->view->rotation, double(stored));
        QVERIFY(w->view->documentOpen);
        w->view->printPage();  // on to the second page
        const qint64 pageStart = w->view->pageStart.position;
        QVERIFY(pageStart > 0);

        for (double expected : steps) {
            QTest::keyClick(w->view, Qt::Key_R);
            QCOMPARE(w->view->rotation, expected);
            // The document was laid out again in the new rotation, from the same page start.
            QCOMPARE(w->view->pageStart.position, pageStart);
            const bool upright = expected == 0 || expected == 180;
            const QSize paper = w->view->paper.size();
            if (expected == 0 || expected == 180 || expected == 90 || expected == -90)
                QCOMPARE(paper, upright ? w->view->size() : w->view->size().transposed());
        }
    }

    void fullScreenSwitch()
    {
        TextReader *w = start();
        QTest::keyClick(w->view, Qt::Key_Space);
        QVERIFY(w->fullScreen);
        QVERIFY(w->isFullScreen());
        QVERIFY(!w->menuToolBar->isVisible());
        QVERIFY(w->actionToolBar->isVisible());
        QCOMPARE(texts(w->actionToolBar->actions()), ReadingTools);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w->view));

        QTest::keyClick(w->view, Qt::Key_Space);
        QVERIFY(!w->fullScreen);
        QVERIFY(!w->isFullScreen());
        QVERIFY(w->menuToolBar->isVisible());
        checkReadingMode();
    }

    void f11OpensTheFirstMenu()
    {
        TextReader *w = start();
        QTest::keyClick(w->view, Qt::Key_F11);
        QTRY_VERIFY(w->fileMenu->isVisible());
        QCOMPARE(w->menuBar->activeAction(), w->fileMenu->menuAction());
        w->fileMenu->hide();
    }

    void translationPageTakesTheWindowKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("R") << int(Qt::Key_R);
        QTest::newRow("Space") << int(Qt::Key_Space);
        QTest::newRow("F11") << int(Qt::Key_F11);
        QTest::newRow("Escape in bookmarks mode") << int(Qt::Key_Escape);
    }

    void translationPageTakesTheWindowKeys()
    {
        QFETCH(int, key);
        TextReader *w = start();
        if (key == Qt::Key_Escape)
            click(w->gotoMarkAction);
        QWidget *central = w->centralWidget();
        w->view->translationShown = true;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : central, Qt::Key(key));
        QCOMPARE(w->view->rotation, 0.0);
        QVERIFY(!w->fullScreen);
        QVERIFY(!w->fileMenu->isVisible());
        QCOMPARE(w->centralWidget(), central);
    }

    // ---- Closing and the settings file ----------------------------------------------------------

    void closeRule_data()
    {
        QTest::addColumn<QString>("enter");
        QTest::addColumn<bool>("closes");
        QTest::newRow("reading") << "" << true;
        QTest::newRow("chooser") << "Open" << false;
        QTest::newRow("settings") << "Settings" << false;
        QTest::newRow("bookmarks") << "Goto mark" << false;
        QTest::newRow("contents") << "Table of Contents" << false;
    }

    void closeRule()
    {
        QFETCH(QString, enter);
        QFETCH(bool, closes);
        TextReader *w = start();
        w->view->fontSize = 17;  // a value only the close request can have written
        if (enter == QLatin1String("Table of Contents"))
            clickMenu(QStringLiteral("Navigation"), w->contentsAction);
        else if (enter == QLatin1String("Open"))
            click(w->openAction);
        else if (enter == QLatin1String("Settings"))
            click(w->settingsAction);
        else if (!enter.isEmpty())
            click(w->gotoMarkAction);
        QWidget *central = w->centralWidget();
        QVERIFY(!QFile::exists(settingsFile()));

        QCOMPARE(w->close(), closes);
        QVERIFY(QFile::exists(settingsFile()));
        QCOMPARE(Config(QStringLiteral("Folium")).isValid(), true);
        QStringList keys = storedKeys();
        keys.sort();
        QStringList all = AllKeys;
        all.sort();
        QCOMPARE(keys, all);
        QSettings stored(settingsFile(), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Global/Fontsize")).toString(), QStringLiteral("17"));
        if (!closes) {
            QCOMPARE(w->centralWidget(), central);
            QVERIFY(w->isVisible());
        }
    }

    void firstRun()
    {
        TextReader *w = start();
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium"));
        QVERIFY(!w->view->documentOpen);
        QCOMPARE(w->view->rotation, 0.0);
        QCOMPARE(w->folderPath, QDir::homePath());
        QVERIFY(w->filePath.isNull());
        QVERIFY(!QFile::exists(settingsFile()));  // reading writes nothing
        checkReadingMode();

        // "Open" starts in the home folder.
        click(w->openAction);
        QCOMPARE(w->fileChooser->currentFolder, QDir(home()).absolutePath());
        click(w->closeFileAction);

        QVERIFY(w->close());
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.beginGroup(QStringLiteral("Global"));
        QCOMPARE(stored.childKeys().size(), 27);
        QCOMPARE(stored.value(QStringLiteral("Rotation")).toString(), QStringLiteral("0"));
        QCOMPARE(stored.value(QStringLiteral("File")).toString(), QString());
        QCOMPARE(stored.value(QStringLiteral("Folderpath")).toString(), QDir::homePath());
    }

    void openFlow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("plain") << "novel.txt" << "Folium - novel";
        QTest::newRow("two dots") << "archive.tar.gz.txt" << "Folium - archive";
        QTest::newRow("no dot") << "README" << "Folium - README";
    }

    void openFlow()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QDir().mkpath(docs() + QStringLiteral("/inner"));
        const QString doc = writeDoc(QStringLiteral("inner/") + name, novelText());
        TextReader *w = start();
        w->view->fontName = QStringLiteral("DejaVu Sans");
        w->view->pickupSettings();

        openThroughChooser(doc);
        checkReadingMode();
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->filePath, doc);
        QCOMPARE(w->folderPath, docs() + QStringLiteral("/inner"));
        QCOMPARE(w->bookmarkFile(), docs() + "/inner/" + caption.mid(9) + ".bkm");
        QVERIFY(w->view->documentOpen);
        QCOMPARE(w->view->fileName, doc);
        QCOMPARE(w->view->pageStart.position, 0);
        QVERIFY(!w->backAction->isEnabled());

        // Browsing elsewhere and giving up changes nothing; the next "Open" starts in the
        // document's folder again.
        click(w->openAction);
        QCOMPARE(w->fileChooser->currentFolder, docs() + QStringLiteral("/inner"));
        QTest::keyClick(w->fileChooser->entryList, Qt::Key_Home);
        QTest::keyClick(w->fileChooser->entryList, Qt::Key_Return);  // the ".." row
        QCOMPARE(w->fileChooser->currentFolder, docs());
        QTest::keyClick(w->fileChooser->entryList, Qt::Key_Escape);
        checkReadingMode();
        QCOMPARE(w->folderPath, docs() + QStringLiteral("/inner"));
        QCOMPARE(w->windowTitle(), caption);
        click(w->openAction);
        QCOMPARE(w->fileChooser->currentFolder, docs() + QStringLiteral("/inner"));
        QVERIFY(m_warnings.isEmpty());
    }

    // Everything the user set and where they were comes back after closing and starting again,
    // down to the pixels of the page.
    void roundTrip()
    {
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        TextReader *w = start();
        openThroughChooser(doc);
        MyView *v = w->view;
        v->fontName = QStringLiteral("DejaVu Sans");
        v->fontSize = 14;
        v->fontBold = false;
        v->fontItalic = true;
        v->justifyLines = false;
        v->reparagraph = false;
        v->paragraphRegexp = QStringLiteral("^\\s*$");
        v->stripHtml = true;
        v->stripNewlinesInHtml = true;
        v->crConvert = true;
        v->barVisible = false;
        v->encodingName = QStringLiteral("CP1251");
        v->paragraphIndent = 21;
        v->pageMargin = 9;
        v->lineSpacing = 5;
        v->scrollDelay = 35;
        v->internalDictionary = false;
        v->dictionaryPath = QStringLiteral("/somewhere/words.dic");
        QTest::keyClick(v, Qt::Key_R);  // -90, and the page is laid out again under all of it
        QTest::keyClick(v, Qt::Key_R);  // 180
        v->printPage();
        v->printPage();
        const PageStart before = v->pageStart;
        QVERIFY(before.position > 0);
        const QImage page = v->paper.toImage();
        QVERIFY(w->close());
        m_window.reset();

        w = start();
        v = w->view;
        QCOMPARE(w->windowTitle(), QStringLiteral("Folium - novel"));
        QCOMPARE(w->filePath, doc);
        QCOMPARE(w->folderPath, docs());
        QVERIFY(v->documentOpen);
        QCOMPARE(v->fileName, doc);
        QCOMPARE(v->fontName, QStringLiteral("DejaVu Sans"));
        QCOMPARE(v->fontSize, 14);
        QCOMPARE(v->fontBold, false);
        QCOMPARE(v->fontItalic, true);
        QCOMPARE(v->justifyLines, false);
        QCOMPARE(v->reparagraph, false);
        QCOMPARE(v->paragraphRegexp, QStringLiteral("^\\s*$"));
        QCOMPARE(v->stripHtml, true);
        QCOMPARE(v->stripNewlinesInHtml, true);
        QCOMPARE(v->crConvert, true);
        QCOMPARE(v->barVisible, false);
        QCOMPARE(v->encodingName, QStringLiteral("CP1251"));
        QCOMPARE(v->rotation, 180.0);
        QCOMPARE(v->paragraphIndent, 21);
        QCOMPARE(v->pageMargin, 9);
        QCOMPARE(v->lineSpacing, 5);
        QCOMPARE(v->scrollDelay, 35);
        QCOMPARE(v->internalDictionary, false);
        QCOMPARE(v->dictionaryPath, QStringLiteral("/somewhere/words.dic"));
        QCOMPARE(v->pageStart.position, before.position);
        QCOMPARE(v->pageStart.paragraph, before.paragraph);
        QCOMPARE(v->pageStart.penColor, before.penColor);
        QCOMPARE(v->pageStart.bold, before.bold);
        QCOMPARE(v->pageStart.italic, before.italic);
        QCOMPARE(v->pageStart.underline, before.underline);
        QVERIFY(v->paper.toImage() == page);

        click(w->openAction);
        QCOMPARE(w->fileChooser->currentFolder, docs());
    }

    void storedForms()
    {
        TextReader *w = start();
        w->view->rotation = 45.7;
        w->view->pageStart.position = qint64(5) << 32;  // past 4 GB
        w->view->pageStart.penColor = QColor(0x12, 0x34, 0xab);
        QVERIFY(w->close());
        QSettings stored(settingsFile(), QSettings::IniFormat);
        stored.beginGroup(QStringLiteral("Global"));
        QCOMPARE(stored.value(QStringLiteral("Rotation")).toString(), QStringLiteral("45"));
        QCOMPARE(stored.value(QStringLiteral("Position")).toString(), QStringLiteral("21474836480"));
        QCOMPARE(stored.value(QStringLiteral("pagePenColor")).toString(), QStringLiteral("#1234ab"));

        w = start();
        w->view->rotation = -1e300;  // far outside whole degrees
        QVERIFY(w->close());
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("Global/Rotation").toString(),
                 QString::number(INT_MIN));
    }

    void damagedSettings_data()
    {
        QTest::addColumn<QByteArray>("ini");  // DOC stands for a real document's path
        QTest::addColumn<double>("rotation");
        QTest::addColumn<QString>("caption");

        QTest::newRow("text where numbers belong")
            << QByteArray("[Global]\nFontsize=big\nRotation=left\nIndent=x\nMargin=1.5\nSpacing=\n"
                          "Scroll=fast\nPosition=middle\nBold=perhaps\nFile=DOC\n")
            << -1.0 << "Folium - novel";
        QTest::newRow("rotation 1e9 as text") << QByteArray("[Global]\nRotation=1e9\n") << -1.0
                                              << "Folium - ";
        QTest::newRow("rotation 1e9 as digits") << QByteArray("[Global]\nRotation=1000000000\n")
                                                << 1e9 << "Folium - ";
        QTest::newRow("number past int") << QByteArray("[Global]\nRotation=99999999999\nFontsize=99999999999\n")
                                         << -1.0 << "Folium - ";
        QTest::newRow("missing group") << QByteArray("[Other]\nRotation=90\nFile=DOC\n") << -1.0
                                       << "Folium - ";
        QTest::newRow("no group line at all") << QByteArray("Rotation=90\n") << -1.0 << "Folium - ";
        QTest::newRow("position far past the end")
            << QByteArray("[Global]\nFile=DOC\nFontname=DejaVu Sans\nFontsize=12\nRotation=0\n"
                          "Position=9223372036854775807\nMargin=4\nSpacing=2\nIndent=0\n")
            << 0.0 << "Folium - novel";
        QTest::newRow("negative position and sizes")
            << QByteArray("[Global]\nFile=DOC\nFontname=DejaVu Sans\nFontsize=-40\nRotation=90\n"
                          "Position=-77\nMargin=-5\nSpacing=-9\nIndent=-3\npagePenColor=no colour\n")
            << 90.0 << "Folium - novel";
        QByteArray junk("[Global]\n");
        for (int i = 0; i < 4096; ++i)
            junk += char((i * 151 + 7) % 256);
        QTest::newRow("binary junk") << junk << -2.0 << QString();  // -2: not checked
        QTest::newRow("a folder as the document")
            << QByteArray("[Global]\nFile=DOCDIR\nRotation=0\n") << 0.0 << QString();
    }

    void damagedSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(double, rotation);
        QFETCH(QString, caption);
        const QString doc = writeDoc(QStringLiteral("novel.txt"), novelText());
        ini.replace("DOCDIR", docs().toUtf8()).replace("DOC", doc.toUtf8());
        writeSettings(ini);

        TextReader *w = start();
        QVERIFY(w->view->isVisible());
        if (rotation != -2.0)
            QCOMPARE(w->view->rotation, rotation);
        if (!caption.isNull())
            QCOMPARE(w->windowTitle(), caption);
        QTest::keyClick(w->view, Qt::Key_R);
        QVERIFY(w->close());
        QCOMPARE(storedKeys().size(), 27);

        start();  // and once more from what this run wrote
        QVERIFY(m_window->close());
    }
};

QTEST_MAIN(tst_TextReader)
#include "tst_textreader.moc"
