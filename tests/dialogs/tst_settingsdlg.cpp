// The settings page through its real widgets: edits through every control, the item chosen on
// show for values in and out of the lists, the encoding list, and the dictionary folder browser.

#include "SettingsDlg.h"
#include "toUnicode.h"

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
#include <QTextCodec>
#include <memory>

namespace {

// The page's nineteen value fields, reached by name.
struct Field
{
    const char *name;
    QString SettingsDlg::*text;
    int SettingsDlg::*number;
    bool SettingsDlg::*flag;
};
#define TEXT(n) {#n, &SettingsDlg::n, nullptr, nullptr}
#define NUMBER(n) {#n, nullptr, &SettingsDlg::n, nullptr}
#define FLAG(n) {#n, nullptr, nullptr, &SettingsDlg::n}
const Field Fields[] = {
    TEXT(fontName), TEXT(encodingName), TEXT(rotationText), TEXT(paragraphRegexp), TEXT(dictionaryPath),
    NUMBER(fontSize), NUMBER(pageMargin), NUMBER(lineSpacing), NUMBER(paragraphIndent), NUMBER(scrollDelay),
    FLAG(fontBold), FLAG(fontItalic), FLAG(justifyLines), FLAG(reparagraph), FLAG(barVisible), FLAG(stripHtml),
    FLAG(stripNewlinesInHtml), FLAG(crConvert), FLAG(internalDictionary)};

// "name=value" per field, so that a failed comparison names the field.
QStringList valuesOf(const SettingsDlg *d)
{
    QStringList out;
    for (const Field &f : Fields)
        out << QLatin1String(f.name) + QLatin1Char('=')
                   + (f.text ? d->*f.text : f.number ? QString::number(d->*f.number)
                                                     : QVariant(d->*f.flag).toString());
    return out;
}

void setValues(SettingsDlg *d, const QVariantMap &values)
{
    for (const Field &f : Fields) {
        const QVariant v = values.value(QLatin1String(f.name));
        if (f.text)
            d->*f.text = v.toString();
        else if (f.number)
            d->*f.number = v.toInt();
        else
            d->*f.flag = v.toBool();
    }
}

const QString Font = QStringLiteral("DejaVu Sans");  // installed with the test set-up

QVariantMap typical()
{
    return {{"fontName", Font}, {"encodingName", "CP 1251"}, {"rotationText", "-90"},
            {"paragraphRegexp", "^\\s*$"}, {"dictionaryPath", "/nowhere/words.dic"}, {"fontSize", 14},
            {"pageMargin", 7}, {"lineSpacing", 4}, {"paragraphIndent", 21}, {"scrollDelay", 35},
            {"fontItalic", true}, {"reparagraph", true}, {"stripHtml", true}, {"crConvert", true}};
}

QVariantMap with(QVariantMap values, const QVariantMap &changes)
{
    values.insert(changes);
    return values;
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

    void showWith(const QVariantMap &values)
    {
        m_dlg->hide();
        setValues(m_dlg, values);
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
        QVariantMap want = typical();
        showWith(want);
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);

        const QString otherFont = m_dlg->fontList->itemText(m_dlg->fontList->currentIndex() == 0 ? 1 : 0);
        choose(m_dlg->fontList, otherFont);
        choose(m_dlg->rotationList, QStringLiteral("90"));
        choose(m_dlg->encodingList, QStringLiteral("KOI8-U"));
        choose(m_dlg->paragraphList, QStringLiteral("^[\\s\\d]"));
        typeNumber(m_dlg->fontSizeBox, 17);
        typeNumber(m_dlg->indentBox, 33);
        typeNumber(m_dlg->marginBox, 12);
        typeNumber(m_dlg->scrollBox, 450);
        for (QCheckBox *box : {m_dlg->boldCheck, m_dlg->italicCheck, m_dlg->justifyCheck, m_dlg->barCheck,
                               m_dlg->reparagraphCheck, m_dlg->stripHtmlCheck, m_dlg->stripNewlinesCheck,
                               m_dlg->crConvertCheck, m_dlg->dictionaryCheck})
            tick(box);
        typeNumber(m_dlg->spacingBox, 9);
        QTest::keyClick(m_dlg->spacingBox, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        m_dlg->acceptChanges();  // what the window does on acceptSettings()

        want = with(want, {{"fontName", otherFont}, {"rotationText", "90"}, {"encodingName", "KOI8-U"},
                           {"paragraphRegexp", "^[\\s\\d]"}, {"fontSize", 17},
                           {"paragraphIndent", 33}, {"pageMargin", 12}, {"scrollDelay", 450}, {"lineSpacing", 9}});
        for (const Field &f : Fields)
            if (f.flag)
                want[QLatin1String(f.name)] = !want.value(QLatin1String(f.name)).toBool();
        SettingsDlg model;
        setValues(&model, want);
        QCOMPARE(valuesOf(m_dlg), valuesOf(&model));
    }

    // Edits left with Escape are not taken, and the next showing starts from the values copied in.
    void unacceptedEditsAreDropped()
    {
        showWith(typical());
        const QStringList before = valuesOf(m_dlg);
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        QTest::keyClick(m_dlg->marginBox, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(valuesOf(m_dlg), before);
        showWith(typical());
        m_dlg->acceptChanges();
        QCOMPARE(valuesOf(m_dlg), before);
    }

    // A window brought back from being minimised shows its pages again; the edits stay.
    void restoredWindowKeepsEdits()
    {
        struct ShowCounter : QObject
        {
            int shows = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                shows += e->type() == QEvent::Show && e->spontaneous();
                return false;
            }
        } counter;
        showWith(typical());
        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        m_dlg->installEventFilter(&counter);
        m_parent->showMinimized();
        QTRY_VERIFY(m_parent->isMinimized());
        m_parent->showNormal();
        QTRY_COMPARE(counter.shows, 1);
        m_dlg->removeEventFilter(&counter);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->stripHtml, !typical().value("stripHtml").toBool());
        QCOMPARE(m_dlg->pageMargin, 30);
    }

    void selectionRule_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("index");

        QTest::newRow("rotation 90") << "rotationText" << "90" << 2;
        QTest::newRow("rotation 45 is not listed") << "rotationText" << "45" << 0;
        QTest::newRow("expression that starts longer ones") << "paragraphRegexp" << "^\\s" << 2;
        QTest::newRow("expression not listed") << "paragraphRegexp" << "^\\s{2}" << 0;
        QTest::newRow("code page in other case") << "encodingName" << "koi8-r" << 0;
    }

    void selectionRule()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, index);
        QComboBox *list = field == QLatin1String("rotationText") ? m_dlg->rotationList
                          : field == QLatin1String("encodingName") ? m_dlg->encodingList : m_dlg->paragraphList;
        // First shown with a listed value that is not the first item, so that the rule is seen
        // to move the list, not leave it where it was.
        showWith(with(typical(), {{"rotationText", "180"}, {"paragraphRegexp", "^\\s*"}, {"encodingName", "CP 1258"}}));
        QVERIFY(list->currentIndex() > 0);

        showWith(with(typical(), {{field, value}}));
        QCOMPARE(list->currentIndex(), index);
        m_dlg->acceptChanges();
        QVERIFY(valuesOf(m_dlg).contains(field + QLatin1Char('=') + list->itemText(index)));
    }

    // The platform's codecs by number, each name once and none that is also a built-in code page,
    // then the built-in code pages in table order.
    void encodingList()
    {
        const QStringList listed = items(m_dlg->encodingList);
        const QStringList builtIn = toUnicode::getCodecList().split(QLatin1Char(','));
        QStringList expected;
        for (int mib = 0; mib < 3000; ++mib) {
            if (QTextCodec *codec = QTextCodec::codecForMib(mib)) {
                const QString name = QString::fromLatin1(codec->name());
                if (!builtIn.contains(name) && !expected.contains(name))
                    expected << name;
            }
        }
        QCOMPARE(listed, expected + builtIn);
        QCOMPARE(listed.count(QStringLiteral("KOI8-R")), 1);  // the platform has it too
    }

    // The browser lists folders first, then ".dic" files; ".." and folder rows change the folder,
    // a file row fills the path line, the header row does nothing, and only acceptance stores the
    // path.
    void folderBrowser()
    {
        make({"d/sub/", "d/Zeta/", "d/NotAvailable/", "d/a.dic", "d/B.dic", "d/book.DIC", "d/notes.txt",
              "d/x.dic.bak", "d/.hidden.dic", "d/folder.dic/", "top.dic"});
        QString stored = root() + QStringLiteral("/d/a.dic");
        showWith(with(typical(), {{"dictionaryPath", stored}}));
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
        QCOMPARE(m_dlg->dictionaryPath, stored);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->dictionaryPath, root() + QStringLiteral("/top.dic"));

        // A stored path in a folder that is gone lists home; the header row still names the gone
        // folder and choosing it leads nowhere (not to home + the missing path).
        stored = root() + QStringLiteral("/gone/x.dic");
        showWith(with(typical(), {{"dictionaryPath", stored}}));
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, root() + QStringLiteral("/gone"));
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
    }
};

QTEST_MAIN(tst_SettingsDlg)
#include "tst_settingsdlg.moc"
