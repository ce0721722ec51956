// The settings page through its real widgets: edits through every control, the item chosen on
// show for values in and out of the lists, and the dictionary folder browser.

#include "SettingsDlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

const QString Font = QStringLiteral("DejaVu Sans");  // installed with the test set-up

ReaderSettings typical()
{
    ReaderSettings s;
    s.fontName = Font;
    s.encodingName = QStringLiteral("CP 1251");
    s.rotation = -90;
    s.paragraphRegexp = QStringLiteral("^\\s*$");
    s.dictionaryPath = QStringLiteral("/nowhere/words.dic");
    s.fontSize = 14;
    s.pageMargin = 7;
    s.lineSpacing = 4;
    s.paragraphIndent = 21;
    s.scrollDelay = 35;
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

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_parent;  // stands in for the main window
    SettingsDlg *m_dlg = nullptr;

    QString root() const { return m_dir->path(); }

    void make(const QStringList &paths)  // under root(); a trailing "/" makes a folder
    {
        for (const QString &p : paths) {
            QFile f(root() + QLatin1Char('/') + p);
            QDir().mkpath(QFileInfo(f.fileName()).absolutePath());
            QVERIFY(p.endsWith(QLatin1Char('/')) ? QDir().mkpath(f.fileName()) : f.open(QIODevice::WriteOnly));
        }
    }

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
    void choose(QComboBox *list, const QString &text, int occurrence = 0)
    {
        int index = -1;
        for (int n = 0; n <= occurrence; ++n)
            index = int(items(list).indexOf(text, index + 1));
        QVERIFY2(index >= 0, qPrintable(text + QStringLiteral(" is not listed")));
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
        m_dir = std::make_unique<QTemporaryDir>();
        m_parent = std::make_unique<QWidget>();
        m_dlg = new SettingsDlg(m_parent.get(), "settings");
        m_dlg->resize(480, 560);
        m_parent->resize(480, 560);
        m_parent->show();
    }

    void cleanup()
    {
        m_parent.reset();
        m_dir.reset();
    }

    // Every control edited the way a user does it, then Return: each edit lands in its own field.
    void editsThroughTheControls()
    {
        ReaderSettings want = typical();
        showWith(want);
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);
        want.fontName = m_dlg->fontList->itemText(m_dlg->fontList->currentIndex() == 0 ? 1 : 0);
        choose(m_dlg->fontList, want.fontName);
        choose(m_dlg->rotationList, QStringLiteral("90"));
        choose(m_dlg->encodingList, want.encodingName = QStringLiteral("KOI8-U"));
        choose(m_dlg->paragraphList, want.paragraphRegexp = QStringLiteral("^[\\s\\d]"));
        typeNumber(m_dlg->fontSizeBox, want.fontSize = 17);
        typeNumber(m_dlg->indentBox, want.paragraphIndent = 33);
        typeNumber(m_dlg->marginBox, want.pageMargin = 12);
        typeNumber(m_dlg->scrollBox, want.scrollDelay = 450);
        choose(m_dlg->themeList, want.theme = QStringLiteral("Night"));
        typeNumber(m_dlg->lineWidthBox, want.maxLineWidth = 45);
        typeNumber(m_dlg->unpackedBox, int(want.largestUnpacked = 300));
        for (QCheckBox *box : {m_dlg->boldCheck, m_dlg->italicCheck, m_dlg->justifyCheck, m_dlg->barCheck,
                               m_dlg->reparagraphCheck, m_dlg->stripHtmlCheck, m_dlg->stripNewlinesCheck,
                               m_dlg->crConvertCheck, m_dlg->dictionaryCheck, m_dlg->classicBarCheck})
            tick(box);
        for (bool *flag : {&want.fontBold, &want.fontItalic, &want.justifyLines, &want.barVisible, &want.reparagraph,
                           &want.stripHtml, &want.stripNewlinesInHtml, &want.crConvert, &want.internalDictionary,
                           &want.classicBar})
            *flag = !*flag;
        want.rotation = 90;
        typeNumber(m_dlg->spacingBox, want.lineSpacing = 9);
        QTest::keyClick(m_dlg->spacingBox, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        m_dlg->acceptChanges();  // what the window does on acceptSettings()
        QVERIFY(m_dlg->values() == want);
    }

    // Edits left with Escape are not taken, and the next showing starts from the values handed in;
    // a window brought back from being minimised shows its pages again and keeps the edits.
    void editsAreTakenOnlyWhenAccepted()
    {
        showWith(typical());
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        QTest::keyClick(m_dlg->marginBox, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        QVERIFY(m_dlg->values() == typical());
        showWith(typical());
        m_dlg->acceptChanges();
        QVERIFY(m_dlg->values() == typical());

        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        m_parent->showMinimized();
        QTRY_VERIFY(m_parent->isMinimized());
        m_parent->showNormal();
        QTRY_VERIFY(m_dlg->isVisible());
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->values().stripHtml, !typical().stripHtml);
        QCOMPARE(m_dlg->values().pageMargin, 30);
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

    void selectionRule_data()
    {
        QTest::addColumn<int>("list");  // 0 rotation, 1 paragraph expression, 2 encoding
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("index");
        QTest::newRow("rotation 90") << 0 << "90" << 2;
        QTest::newRow("rotation 45 is not listed") << 0 << "45" << 0;
        QTest::newRow("expression that starts longer ones") << 1 << "^\\s" << 2;
        QTest::newRow("expression not listed") << 1 << "^\\s{2}" << 0;
        QTest::newRow("code page in other case") << 2 << "koi8-r" << 0;
    }
    void selectionRule()
    {
        QFETCH(int, list);
        QFETCH(QString, value);
        QFETCH(int, index);
        QComboBox *const lists[3] = {m_dlg->rotationList, m_dlg->paragraphList, m_dlg->encodingList};
        // First shown with listed values that are not the first item, so that the rule is seen to
        // move the list, not leave it where it was.
        ReaderSettings s = typical();
        s.rotation = 180;
        s.paragraphRegexp = QStringLiteral("^\\s*");
        s.encodingName = QStringLiteral("CP 1258");
        showWith(s);
        QVERIFY(lists[list]->currentIndex() > 0);
        s = typical();
        if (list == 0)
            s.rotation = value.toDouble();
        else
            (list == 1 ? s.paragraphRegexp : s.encodingName) = value;
        showWith(s);
        QCOMPARE(lists[list]->currentIndex(), index);
        QCOMPARE(items(m_dlg->encodingList).count(QStringLiteral("KOI8-R")), 1);  // the platform has it too
    }

    // The browser lists folders first, then ".dic" files; ".." and folder rows change the folder,
    // a file row fills the path line, the header row does nothing, and only acceptance stores the
    // path.
    void folderBrowser()
    {
        make({"d/sub/", "d/Zeta/", "d/NotAvailable/", "d/a.dic", "d/B.dic", "d/book.DIC", "d/notes.txt",
              "d/x.dic.bak", "d/.hidden.dic", "d/folder.dic/", "top.dic"});
        ReaderSettings values = typical();
        QString stored = values.dictionaryPath = root() + QStringLiteral("/d/a.dic");
        showWith(values);
        QCOMPARE(items(m_dlg->folderList),
                 (QStringList{root() + "/d", "..", "folder.dic", "..", "sub", "Zeta", "a.dic", "B.dic"}));

        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(items(m_dlg->folderList), (QStringList{root(), "..", "d", "top.dic"}));
        choose(m_dlg->folderList, QStringLiteral("d"));
        choose(m_dlg->folderList, QStringLiteral("sub"));
        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, root() + QStringLiteral("/d"));
        choose(m_dlg->folderList, QStringLiteral(".."), 1);  // the NotAvailable row
        choose(m_dlg->folderList, root());
        QCOMPARE(m_dlg->currentFolder, root());
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        choose(m_dlg->folderList, QStringLiteral("top.dic"));
        QCOMPARE(m_dlg->pathEdit->text(), root() + QStringLiteral("/top.dic"));
        QCOMPARE(m_dlg->values().dictionaryPath, stored);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->values().dictionaryPath, root() + QStringLiteral("/top.dic"));

        // A stored path in a folder that is gone lists home; the header row still names the gone
        // folder and choosing it leads nowhere (not to home + the missing path).
        stored = values.dictionaryPath = root() + QStringLiteral("/gone/x.dic");
        showWith(values);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, root() + QStringLiteral("/gone"));
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
    }
};

QTEST_MAIN(tst_SettingsDlg)
#include "tst_settingsdlg.moc"
