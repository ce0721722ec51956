// The settings page through its real widgets: edits through every control, the item chosen on
// show for values in and out of the lists, the dictionary folder browser, and a small window.

#include "SettingsDlg.h"
#include "TestFiles.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <memory>

namespace {

ReaderSettings typical()  // every field away from its default, so that a field left unset shows
{
    ReaderSettings s;
    s.fontName = QStringLiteral("DejaVu Sans");  // installed with the test set-up
    s.encodingName = QStringLiteral("CP 1251"), s.paragraphRegexp = QStringLiteral("^\\s*$");
    s.rotation = -90, s.dictionaryPath = QStringLiteral("/nowhere/words.dic");
    s.fontSize = 14, s.pageMargin = 7, s.lineSpacing = 4, s.paragraphIndent = 21, s.scrollDelay = 35;
    s.fontBold = s.justifyLines = s.barVisible = s.internalDictionary = false;
    s.fontItalic = s.reparagraph = s.stripHtml = s.crConvert = true;
    return s;
}

QStringList items(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

} // namespace

class tst_SettingsDlg : public QObject
{
    Q_OBJECT

    TestFolder m_home;
    std::unique_ptr<TestFolder> m_dir;
    std::unique_ptr<QWidget> m_parent;  // stands in for the main window
    SettingsDlg *m_dlg = nullptr;

    QString root() const { return m_dir->path(); }

    void showWith(const ReaderSettings &values)
    {
        m_dlg->hide();
        m_dlg->setValues(values);
        m_dlg->show();
        m_parent->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_parent.get()));
    }

    void showTabOf(QWidget *control)
    {
        for (int i = 0; i < m_dlg->tabs->count(); ++i)
            if (m_dlg->tabs->widget(i)->isAncestorOf(control))
                m_dlg->tabs->setCurrentIndex(i);
        QVERIFY(control->isVisible());
    }

    // Picks an item the way a user does: opens the drop-down and clicks the row.
    void choose(QComboBox *list, const QString &text) { choose(list, int(items(list).indexOf(text))); }
    void choose(QComboBox *list, int index)
    {
        QVERIFY(index >= 0);
        showTabOf(list);
        list->showPopup();
        QAbstractItemView *rows = list->view();
        QTRY_VERIFY(rows->isVisible());
        const QModelIndex row = rows->model()->index(index, list->modelColumn());
        rows->scrollTo(row);
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rows->visualRect(row).center());
        QTRY_VERIFY(!rows->isVisible());
    }

    void typeNumber(QSpinBox *box, int value)
    {
        showTabOf(box);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, QString::number(value));
    }

    void tick(QCheckBox *box)
    {
        showTabOf(box);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
    }

private Q_SLOTS:
    void initTestCase() { qputenv("HOME", QFile::encodeName(m_home.path())); }

    void init()
    {
        m_dir = std::make_unique<TestFolder>();
        m_parent = std::make_unique<QWidget>();
        m_dlg = new SettingsDlg(m_parent.get(), "settings");
        m_dlg->resize(480, 560);
        m_dlg->hide();  // laid out first by showWith(), after a test's own items are in
        m_parent->resize(480, 560);
        m_parent->show();
    }

    void cleanup()
    {
        m_parent.reset();
        m_dir.reset();
    }

    // Edits left with Escape are not taken, and the next showing starts from the values handed
    // in. Then every control edited the way a user does it, the window minimised and brought back
    // halfway (its pages are shown again: the edits stay), and Return: each edit in its own field.
    void editsThroughTheControls()
    {
        ReaderSettings want = typical();
        showWith(want);
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        QTest::keyClick(m_dlg->marginBox, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        showWith(want);
        m_dlg->acceptChanges();
        QVERIFY(m_dlg->values() == want);

        want.fontName = m_dlg->fontList->itemText(m_dlg->fontList->currentIndex() == 0 ? 1 : 0);
        choose(m_dlg->fontList, want.fontName);
        choose(m_dlg->rotationList, QStringLiteral("90"));
        want.rotation = 90;
        choose(m_dlg->encodingList, want.encodingName = QStringLiteral("KOI8-U"));
        choose(m_dlg->paragraphList, want.paragraphRegexp = QStringLiteral("^[\\s\\d]"));
        typeNumber(m_dlg->fontSizeBox, want.fontSize = 17);
        typeNumber(m_dlg->indentBox, want.paragraphIndent = 33);
        typeNumber(m_dlg->marginBox, want.pageMargin = 12);
        m_parent->showMinimized();
        QTRY_VERIFY(m_parent->isMinimized());
        m_parent->showNormal();
        QTRY_VERIFY(m_dlg->isVisible());
        typeNumber(m_dlg->scrollBox, want.scrollDelay = 450);
        choose(m_dlg->themeList, want.theme = QStringLiteral("Night"));
        typeNumber(m_dlg->lineWidthBox, want.maxLineWidth = 45);
        typeNumber(m_dlg->unpackedBox, int(want.largestUnpacked = 300));
        for (QCheckBox *box : {m_dlg->boldCheck, m_dlg->italicCheck, m_dlg->justifyCheck, m_dlg->barCheck,
                               m_dlg->reparagraphCheck, m_dlg->stripHtmlCheck, m_dlg->stripNewlinesCheck,
                               m_dlg->crConvertCheck, m_dlg->dictionaryCheck, m_dlg->classicBarCheck})
            tick(box);
        for (bool *flag :
             {&want.fontBold, &want.fontItalic, &want.justifyLines, &want.barVisible, &want.reparagraph,
              &want.stripHtml, &want.stripNewlinesInHtml, &want.crConvert, &want.internalDictionary, &want.classicBar})
            *flag = !*flag;
        typeNumber(m_dlg->spacingBox, want.lineSpacing = 9);
        QTest::keyClick(m_dlg->spacingBox, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        m_dlg->acceptChanges();  // what the window does on acceptSettings()
        QVERIFY(m_dlg->values() == want);
    }

    // OK without an edit changes nothing: not the desktop preset's wide margins, and not a font
    // the system does not list, which is shown (once) as it is.
    void acceptingUneditedKeepsEveryValue()
    {
        ReaderSettings preset = ReaderSettings::desktopPreset(3000);
        ReaderSettings missingFont = typical();
        missingFont.fontName = QStringLiteral("No Such Family 123");
        for (const ReaderSettings &s : {preset, missingFont, missingFont}) {
            showWith(s);
            QCOMPARE(m_dlg->fontList->currentText(), s.fontName);
            m_dlg->acceptChanges();
            QVERIFY(m_dlg->values() == s);
        }
        QCOMPARE(items(m_dlg->fontList).count(missingFont.fontName), 1);
    }

    // The item equal to the value is shown (not one the value starts, nor one in other case), else
    // the first; a code page the platform has too is listed once.
    void selectionRule()
    {
        showWith(typical());  // listed values past the first item: the rule must move each list
        ReaderSettings s = typical();
        s.rotation = 45, s.paragraphRegexp = QStringLiteral("^\\s"), s.encodingName = QLatin1String("koi8-r");
        showWith(s);
        QCOMPARE(m_dlg->rotationList->currentIndex(), 0);
        QCOMPARE(m_dlg->paragraphList->currentIndex(), 2);
        QCOMPARE(m_dlg->encodingList->currentIndex(), 0);
        QCOMPARE(items(m_dlg->encodingList).count(QStringLiteral("KOI8-R")), 1);
    }

    // The browser lists folders first, then ".dic" files; ".." and folder rows change the folder,
    // a file row fills the path line, the header row does nothing, and only acceptance stores the
    // path. A stored path in a folder that is gone lists home; the header row still names the gone
    // folder and choosing it leads nowhere (not to home + the missing path).
    void folderBrowser()
    {
        for (const char *folder : {"d/sub", "d/Zeta", "d/NotAvailable", "d/folder.dic"})
            QVERIFY(QDir().mkpath(m_dir->filePath(QLatin1String(folder))));
        for (const char *file : {"d/a.dic", "d/B.dic", "d/b.DIC", "d/c.dic~", "d/.h.dic", "top.dic"})
            m_dir->write(QLatin1String(file), {});
        ReaderSettings values = typical();
        QString stored = values.dictionaryPath = root() + QStringLiteral("/d/a.dic");
        showWith(values);
        QCOMPARE(items(m_dlg->folderList),
                 (QStringList{root() + "/d", "..", "folder.dic", "..", "sub", "Zeta", "a.dic", "B.dic"}));
        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(items(m_dlg->folderList), (QStringList{root(), "..", "d", "top.dic"}));
        for (const char *row : {"d", "sub", ".."})
            choose(m_dlg->folderList, QLatin1String(row));
        QCOMPARE(m_dlg->currentFolder, root() + QStringLiteral("/d"));
        choose(m_dlg->folderList, 3);  // the NotAvailable row
        choose(m_dlg->folderList, root());
        QCOMPARE(m_dlg->currentFolder, root());
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        choose(m_dlg->folderList, QStringLiteral("top.dic"));
        QCOMPARE(m_dlg->pathEdit->text(), root() + QStringLiteral("/top.dic"));
        QCOMPARE(m_dlg->values().dictionaryPath, stored);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->values().dictionaryPath, root() + QStringLiteral("/top.dic"));

        stored = values.dictionaryPath = root() + QStringLiteral("/gone/x.dic");
        showWith(values);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, root() + QStringLiteral("/gone"));
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
    }

    // Long font, code page or folder names do not make a tab need more width than a small window.
    void pagesFitASmallWindow()
    {
        ReaderSettings values = typical();
        values.fontName = values.encodingName = QString(250, QLatin1Char('W'));
        m_dlg->fontList->addItem(values.fontName);
        m_dlg->encodingList->addItem(values.fontName);
        QVERIFY(QDir().mkpath(m_dir->filePath(values.fontName)));
        values.dictionaryPath = m_dir->filePath(values.fontName + QStringLiteral("/x.dic"));
        showWith(values);
        for (int i = 0; i < m_dlg->tabs->count(); ++i) {
            const QWidget *page = qobject_cast<QScrollArea *>(m_dlg->tabs->widget(i))->widget();
            QVERIFY2(page->minimumSizeHint().width() <= m_dlg->width(), qPrintable(m_dlg->tabs->tabText(i)));
        }
    }
};

QTEST_MAIN(tst_SettingsDlg)
#include "tst_settingsdlg.moc"
