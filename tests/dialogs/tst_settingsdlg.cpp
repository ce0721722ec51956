// The settings page driven through its real widgets: values in and out through every control,
// choosing list items, the item chosen on show for stored values in and out of the lists, the
// keys, the encoding list, and the dictionary folder browser.

#include "SettingsDlg.h"
#include "toUnicode.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLineEdit>
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>
#include <memory>

namespace {

// The nineteen values, in the order of the page's fields.
struct Values
{
    QString fontName, encodingName, rotationText, paragraphRegexp, dictionaryPath;
    int fontSize = 0, pageMargin = 0, lineSpacing = 0, paragraphIndent = 0, scrollDelay = 0;
    bool fontBold = false, fontItalic = false, justifyLines = false, reparagraph = false,
         barVisible = false, stripHtml = false, stripNewlinesInHtml = false, crConvert = false,
         internalDictionary = false;

    void writeTo(SettingsDlg *d) const
    {
        d->fontName = fontName;
        d->encodingName = encodingName;
        d->rotationText = rotationText;
        d->paragraphRegexp = paragraphRegexp;
        d->dictionaryPath = dictionaryPath;
        d->fontSize = fontSize;
        d->pageMargin = pageMargin;
        d->lineSpacing = lineSpacing;
        d->paragraphIndent = paragraphIndent;
        d->scrollDelay = scrollDelay;
        d->fontBold = fontBold;
        d->fontItalic = fontItalic;
        d->justifyLines = justifyLines;
        d->reparagraph = reparagraph;
        d->barVisible = barVisible;
        d->stripHtml = stripHtml;
        d->stripNewlinesInHtml = stripNewlinesInHtml;
        d->crConvert = crConvert;
        d->internalDictionary = internalDictionary;
    }

    static Values readFrom(const SettingsDlg *d)
    {
        Values v;
        v.fontName = d->fontName;
        v.encodingName = d->encodingName;
        v.rotationText = d->rotationText;
        v.paragraphRegexp = d->paragraphRegexp;
        v.dictionaryPath = d->dictionaryPath;
        v.fontSize = d->fontSize;
        v.pageMargin = d->pageMargin;
        v.lineSpacing = d->lineSpacing;
        v.paragraphIndent = d->paragraphIndent;
        v.scrollDelay = d->scrollDelay;
        v.fontBold = d->fontBold;
        v.fontItalic = d->fontItalic;
        v.justifyLines = d->justifyLines;
        v.reparagraph = d->reparagraph;
        v.barVisible = d->barVisible;
        v.stripHtml = d->stripHtml;
        v.stripNewlinesInHtml = d->stripNewlinesInHtml;
        v.crConvert = d->crConvert;
        v.internalDictionary = d->internalDictionary;
        return v;
    }

    // One "name=value" text per field, so that a failed comparison names the field.
    QStringList describe() const
    {
        auto b = [](bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); };
        return {"font=" + fontName, "encoding=" + encodingName, "rotation=" + rotationText,
                "regexp=" + paragraphRegexp, "path=" + dictionaryPath,
                "size=" + QString::number(fontSize), "margin=" + QString::number(pageMargin),
                "spacing=" + QString::number(lineSpacing), "indent=" + QString::number(paragraphIndent),
                "scroll=" + QString::number(scrollDelay), "bold=" + b(fontBold), "italic=" + b(fontItalic),
                "justify=" + b(justifyLines), "reparagraph=" + b(reparagraph), "bar=" + b(barVisible),
                "striphtml=" + b(stripHtml), "stripnl=" + b(stripNewlinesInHtml), "cr=" + b(crConvert),
                "dict=" + b(internalDictionary)};
    }
};

const QString Font = QStringLiteral("DejaVu Sans");  // installed with the test set-up

Values typical()
{
    Values v;
    v.fontName = Font;
    v.encodingName = QStringLiteral("CP 1251");
    v.rotationText = QStringLiteral("-90");
    v.paragraphRegexp = QStringLiteral("^\\s*$");
    v.dictionaryPath = QStringLiteral("/nowhere/words.dic");
    v.fontSize = 14;
    v.pageMargin = 7;
    v.lineSpacing = 4;
    v.paragraphIndent = 21;
    v.scrollDelay = 35;
    v.fontItalic = true;
    v.reparagraph = true;
    v.stripHtml = true;
    v.crConvert = true;
    return v;
}

QStringList items(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

// The offscreen platform cannot raise a drop-down or grab the keyboard for it, and says so
// each time; the drop-downs work all the same.
QtMessageHandler previousHandler = nullptr;
void quietPopups(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    previousHandler(type, context, message);
}

} // namespace

Q_DECLARE_METATYPE(Values)

class tst_SettingsDlg : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QWidget> m_parent;  // stands in for the main window
    SettingsDlg *m_dlg = nullptr;
    QList<int> m_keysAtParent;

    QString root() const { return m_dir->path(); }

    void makeFile(const QString &relative)
    {
        QFile f(root() + QLatin1Char('/') + relative);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    void makeFolder(const QString &relative) { QVERIFY(QDir(root()).mkpath(relative)); }

    void showWith(const Values &values)
    {
        m_dlg->hide();
        values.writeTo(m_dlg);
        m_dlg->show();
        m_parent->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_parent.get()));
    }

    // Picks an item the way a user does: opens the drop-down and clicks the row.
    void choose(QComboBox *list, const QString &text, int occurrence = 0)
    {
        int index = -1;
        for (int i = 0; i < list->count() && index < 0; ++i)
            if (list->itemText(i) == text && occurrence-- == 0)
                index = i;
        QVERIFY2(index >= 0, qPrintable(text + QStringLiteral(" is not listed")));
        list->showPopup();
        QAbstractItemView *rows = list->view();
        QTRY_VERIFY(rows->isVisible());
        const QModelIndex row = rows->model()->index(index, list->modelColumn());
        rows->scrollTo(row);
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rows->visualRect(row).center());
        QTRY_VERIFY(!rows->isVisible());
    }

    void showTabOf(QWidget *control)
    {
        for (int i = 0; i < m_dlg->tabs->count(); ++i)
            if (m_dlg->tabs->widget(i)->isAncestorOf(control))
                m_dlg->tabs->setCurrentIndex(i);
        QVERIFY(control->isVisible());
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

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_parent.get() && event->type() == QEvent::KeyPress)
            m_keysAtParent << static_cast<QKeyEvent *>(event)->key();
        return QObject::eventFilter(watched, event);
    }

private Q_SLOTS:
    void initTestCase()
    {
        previousHandler = qInstallMessageHandler(quietPopups);
        qputenv("HOME", QFile::encodeName(m_home.path()));
        QVERIFY(QFontDatabase::families().contains(Font));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_parent = std::make_unique<QWidget>();
        m_parent->installEventFilter(this);
        m_dlg = new SettingsDlg(m_parent.get(), "settings");
        m_dlg->resize(480, 560);
        m_parent->resize(480, 560);
        m_parent->show();
        m_keysAtParent.clear();
    }

    void cleanup()
    {
        m_parent.reset();
        m_dir.reset();
    }

    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    // ---- Values in and out ----------------------------------------------------------------------

    // Shown and accepted untouched, every value comes back as it went in, or as the nearest
    // value its number box allows.
    void untouchedValuesComeBack_data()
    {
        QTest::addColumn<Values>("in");
        QTest::addColumn<Values>("out");

        const Values t = typical();
        QTest::newRow("typical") << t << t;

        Values low = t;
        low.fontBold = true;
        low.fontItalic = false;
        low.justifyLines = true;
        low.reparagraph = false;
        low.barVisible = true;
        low.stripHtml = false;
        low.stripNewlinesInHtml = true;
        low.crConvert = false;
        low.internalDictionary = true;
        low.fontSize = 8;
        low.pageMargin = 0;
        low.lineSpacing = 1;
        low.paragraphIndent = 0;
        low.scrollDelay = 5;
        low.rotationText = QStringLiteral("180");
        low.encodingName = QStringLiteral("UTF-8");
        QTest::newRow("lowest numbers, other flags") << low << low;

        Values high = t;
        high.fontSize = 24;
        high.pageMargin = 40;
        high.lineSpacing = 10;
        high.paragraphIndent = 40;
        high.scrollDelay = 1000;
        QTest::newRow("highest numbers") << high << high;

        Values off = t;
        off.scrollDelay = 203;  // not on a step of 5: kept as it is
        QTest::newRow("scroll delay between steps") << off << off;

        // What a settings file without these keys leaves in the view.
        Values absent = t;
        absent.fontSize = absent.pageMargin = absent.lineSpacing = absent.paragraphIndent = -1;
        absent.scrollDelay = -1;
        Values clampedUp = t;
        clampedUp.fontSize = 8;
        clampedUp.pageMargin = 0;
        clampedUp.lineSpacing = 1;
        clampedUp.paragraphIndent = 0;
        clampedUp.scrollDelay = 5;
        QTest::newRow("absent numbers") << absent << clampedUp;

        Values big = t;
        big.fontSize = 99;
        big.pageMargin = big.paragraphIndent = 41;
        big.lineSpacing = 11;
        big.scrollDelay = 5000;
        Values clampedDown = t;
        clampedDown.fontSize = 24;
        clampedDown.pageMargin = clampedDown.paragraphIndent = 40;
        clampedDown.lineSpacing = 10;
        clampedDown.scrollDelay = 1000;
        QTest::newRow("numbers above the ranges") << big << clampedDown;
    }

    void untouchedValuesComeBack()
    {
        QFETCH(Values, in);
        QFETCH(Values, out);
        showWith(in);
        m_dlg->acceptChanges();
        QCOMPARE(Values::readFrom(m_dlg).describe(), out.describe());
    }

    // Every control edited the way a user does it, then Return: each edit lands in its own field.
    void editsThroughTheControls()
    {
        makeFolder(QStringLiteral("dicts"));
        makeFile(QStringLiteral("dicts/words.dic"));
        Values start = typical();
        start.dictionaryPath = root() + QStringLiteral("/dicts/none.dic");
        showWith(start);
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);

        const QString otherFont = items(m_dlg->fontList).value(m_dlg->fontList->currentIndex() == 0 ? 1 : 0);
        showTabOf(m_dlg->fontList);
        choose(m_dlg->fontList, otherFont);
        typeNumber(m_dlg->fontSizeBox, 17);
        tick(m_dlg->boldCheck);
        tick(m_dlg->italicCheck);
        choose(m_dlg->rotationList, QStringLiteral("90"));
        tick(m_dlg->justifyCheck);
        typeNumber(m_dlg->indentBox, 33);
        typeNumber(m_dlg->marginBox, 12);
        typeNumber(m_dlg->spacingBox, 6);
        tick(m_dlg->barCheck);
        typeNumber(m_dlg->scrollBox, 450);

        showTabOf(m_dlg->encodingList);
        choose(m_dlg->encodingList, QStringLiteral("KOI8-U"));
        tick(m_dlg->reparagraphCheck);
        choose(m_dlg->paragraphList, QStringLiteral("^[\\s\\d]"));
        tick(m_dlg->stripHtmlCheck);
        tick(m_dlg->stripNewlinesCheck);
        tick(m_dlg->crConvertCheck);

        showTabOf(m_dlg->folderList);
        tick(m_dlg->dictionaryCheck);
        choose(m_dlg->folderList, QStringLiteral("words.dic"));

        typeNumber(m_dlg->spacingBox, 9);
        QTest::keyClick(m_dlg->spacingBox, Qt::Key_Return);
        QCOMPARE(accepted.count(), 1);
        m_dlg->acceptChanges();  // what the window does on acceptSettings()

        Values want;
        want.fontName = otherFont;
        want.encodingName = QStringLiteral("KOI8-U");
        want.rotationText = QStringLiteral("90");
        want.paragraphRegexp = QStringLiteral("^[\\s\\d]");
        want.dictionaryPath = root() + QStringLiteral("/dicts/words.dic");
        want.fontSize = 17;
        want.pageMargin = 12;
        want.lineSpacing = 9;
        want.paragraphIndent = 33;
        want.scrollDelay = 450;
        want.fontBold = !start.fontBold;
        want.fontItalic = !start.fontItalic;
        want.justifyLines = !start.justifyLines;
        want.reparagraph = !start.reparagraph;
        want.barVisible = !start.barVisible;
        want.stripHtml = !start.stripHtml;
        want.stripNewlinesInHtml = !start.stripNewlinesInHtml;
        want.crConvert = !start.crConvert;
        want.internalDictionary = !start.internalDictionary;
        QCOMPARE(Values::readFrom(m_dlg).describe(), want.describe());
    }

    // Edits that were not accepted are gone when the page is shown again: it starts from the
    // values copied in.
    void unacceptedEditsAreDropped()
    {
        const Values start = typical();
        showWith(start);
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        tick(m_dlg->stripHtmlCheck);
        choose(m_dlg->encodingList, QStringLiteral("UTF-8"));
        typeNumber(m_dlg->marginBox, 30);
        QTest::keyClick(m_dlg->marginBox, Qt::Key_Escape);
        QCOMPARE(closed.count(), 1);
        QCOMPARE(Values::readFrom(m_dlg).describe(), start.describe());

        showWith(start);
        m_dlg->acceptChanges();
        QCOMPARE(Values::readFrom(m_dlg).describe(), start.describe());
    }

    // ---- The item chosen on show ----------------------------------------------------------------

    void selectionRule_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("index");  // -1: wherever the value is listed

        QTest::newRow("rotation 90") << "rotation" << "90" << 2;
        QTest::newRow("rotation -90") << "rotation" << "-90" << 1;
        QTest::newRow("rotation 45 is not listed") << "rotation" << "45" << 0;
        QTest::newRow("rotation 90.0 is not 90") << "rotation" << "90.0" << 0;
        QTest::newRow("rotation empty") << "rotation" << "" << 0;
        QTest::newRow("expression listed last") << "regexp" << "^\\d" << 5;
        QTest::newRow("expression that starts a longer one") << "regexp" << "^\\s" << 2;
        QTest::newRow("expression not listed") << "regexp" << "^\\s{2}" << 0;
        QTest::newRow("expression null") << "regexp" << QString() << 0;
        QTest::newRow("built-in code page") << "encoding" << "ISO 8859-11" << -1;
        QTest::newRow("platform codec") << "encoding" << "windows-1252" << -1;
        QTest::newRow("code page in other case") << "encoding" << "koi8-r" << 0;
        QTest::newRow("code page with surrounding blank") << "encoding" << " CP 1251" << 0;
        QTest::newRow("installed font") << "font" << Font << -1;
        QTest::newRow("font in other case") << "font" << Font.toLower() << 0;
        QTest::newRow("font not installed") << "font" << "No Such Font 42" << 0;
    }

    void selectionRule()
    {
        QFETCH(QString, list);
        QFETCH(QString, value);
        QFETCH(int, index);
        Values v = typical();
        QComboBox *combo = nullptr;
        QString *field = nullptr;
        if (list == QLatin1String("rotation")) {
            combo = m_dlg->rotationList;
            field = &v.rotationText;
        } else if (list == QLatin1String("regexp")) {
            combo = m_dlg->paragraphList;
            field = &v.paragraphRegexp;
        } else if (list == QLatin1String("encoding")) {
            combo = m_dlg->encodingList;
            field = &v.encodingName;
        } else {
            combo = m_dlg->fontList;
            field = &v.fontName;
        }
        *field = value;
        if (index < 0) {
            index = items(combo).indexOf(value);
            QVERIFY(index >= 0);
        }

        // Shown once with a listed value first, so that the rule is not just "stays where it was".
        Values other = typical();
        other.rotationText = QStringLiteral("180");
        other.paragraphRegexp = QStringLiteral("^\\s*");
        other.encodingName = QStringLiteral("CP 1258");
        other.fontName = QFontDatabase::families().value(1);
        showWith(other);
        QVERIFY(combo->currentIndex() > 0);

        showWith(v);
        QCOMPARE(combo->currentIndex(), index);
        m_dlg->acceptChanges();
        Values out = Values::readFrom(m_dlg);
        const QString stored = list == QLatin1String("rotation") ? out.rotationText
                               : list == QLatin1String("regexp") ? out.paragraphRegexp
                               : list == QLatin1String("encoding") ? out.encodingName
                                                                   : out.fontName;
        QCOMPARE(stored, combo->itemText(index));
    }

    // ---- Lists ----------------------------------------------------------------------------------

    void fixedLists()
    {
        QCOMPARE(items(m_dlg->rotationList), (QStringList{"0", "-90", "90", "180"}));
        QCOMPARE(items(m_dlg->paragraphList),
                 (QStringList{"^\\s+|^\\s*$", "^\\s*", "^\\s", "^\\s*$", "^[\\s\\d]", "^\\d"}));
        QCOMPARE(items(m_dlg->fontList), QFontDatabase::families());
    }

    // The platform's codecs by number, each name once, none that is also a built-in code page;
    // then the built-in code pages in table order.
    void encodingList()
    {
        const QStringList listed = items(m_dlg->encodingList);
        const QStringList builtIn = toUnicode::getCodecList().split(QLatin1Char(','));
        QCOMPARE(builtIn.size(), 26);
        QVERIFY(listed.size() > builtIn.size());
        QCOMPARE(listed.mid(listed.size() - builtIn.size()), builtIn);

        const QStringList platform = listed.mid(0, listed.size() - builtIn.size());
        QCOMPARE(QSet<QString>(listed.begin(), listed.end()).size(), listed.size());

        // Independently: walk the numbers, note each codec where it first appears.
        QStringList expected;
        for (int mib = 0; mib < 3000; ++mib) {
            if (QTextCodec *codec = QTextCodec::codecForMib(mib)) {
                const QString name = QString::fromLatin1(codec->name());
                if (!builtIn.contains(name) && !expected.contains(name))
                    expected << name;
            }
        }
        QCOMPARE(platform, expected);

        // Names the platform also has as codecs sit only among the built-in names.
        for (const char *both : {"KOI8-R", "KOI8-U"}) {
            QVERIFY(QTextCodec::codecForName(both));
            QCOMPARE(listed.count(QLatin1String(both)), 1);
            QVERIFY(listed.indexOf(QLatin1String(both)) >= platform.size());
        }
        QVERIFY(platform.contains(QStringLiteral("UTF-8")));  // the view's own default
    }

    // ---- Keys -----------------------------------------------------------------------------------

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("at");  // the focused control
        QTest::addColumn<int>("accepts");
        QTest::addColumn<int>("closes");
        QTest::addColumn<bool>("passedOn");

        QTest::newRow("Escape on the tabs") << int(Qt::Key_Escape) << "tabs" << 0 << 1 << false;
        QTest::newRow("Escape on a list") << int(Qt::Key_Escape) << "list" << 0 << 1 << false;
        QTest::newRow("Return on the tabs") << int(Qt::Key_Return) << "tabs" << 1 << 0 << false;
        QTest::newRow("Return on a list") << int(Qt::Key_Return) << "list" << 1 << 0 << false;
        QTest::newRow("Return on a check box") << int(Qt::Key_Return) << "check" << 1 << 0 << false;
        QTest::newRow("Return on the path") << int(Qt::Key_Return) << "path" << 1 << 0 << false;
        QTest::newRow("Enter on a number") << int(Qt::Key_Enter) << "number" << 1 << 0 << false;
        QTest::newRow("F33 on the tabs") << int(Qt::Key_F33) << "tabs" << 1 << 0 << false;
        QTest::newRow("R goes on") << int(Qt::Key_R) << "tabs" << 0 << 0 << true;
        QTest::newRow("F11 goes on") << int(Qt::Key_F11) << "check" << 0 << 0 << true;
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(QString, at);
        QFETCH(int, accepts);
        QFETCH(int, closes);
        QFETCH(bool, passedOn);
        showWith(typical());
        QWidget *target = at == QLatin1String("list")    ? static_cast<QWidget *>(m_dlg->encodingList)
                          : at == QLatin1String("check") ? static_cast<QWidget *>(m_dlg->crConvertCheck)
                          : at == QLatin1String("path")  ? static_cast<QWidget *>(m_dlg->pathEdit)
                          : at == QLatin1String("number") ? static_cast<QWidget *>(m_dlg->marginBox)
                                                          : nullptr;
        if (target) {
            showTabOf(target);
            target->setFocus();
        } else {
            m_dlg->setFocus();
            target = QApplication::focusWidget();
            QVERIFY(m_dlg->isAncestorOf(target));
        }
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(accepted.count(), accepts);
        QCOMPARE(closed.count(), closes);
        QCOMPARE(m_keysAtParent.contains(key), passedOn);
    }

    // ---- The dictionary folder browser ----------------------------------------------------------

    void folderListing_data()
    {
        QTest::addColumn<QStringList>("files");    // made under the test folder; "x/" is a folder
        QTest::addColumn<QString>("stored");       // the stored dictionary path, under the folder
        QTest::addColumn<QString>("listed");       // which folder is listed: ROOT or HOME
        QTest::addColumn<QStringList>("rows");     // after the two header rows

        const QStringList tree{"dicts/", "dicts/sub/", "dicts/Zeta/", "dicts/alpha/", "dicts/a.dic",
                               "dicts/B.dic", "dicts/book.DIC", "dicts/notes.txt", "dicts/x.dic.bak",
                               "dicts/.hidden.dic", "dicts/.dot/", "dicts/folder.dic/"};
        QTest::newRow("folders first, .dic files only")
            << tree << "dicts/a.dic" << "ROOT/dicts"
            << QStringList{"alpha", "folder.dic", "sub", "Zeta", "a.dic", "B.dic"};
        QTest::newRow("stored file need not exist")
            << tree << "dicts/gone.dic" << "ROOT/dicts"
            << QStringList{"alpha", "folder.dic", "sub", "Zeta", "a.dic", "B.dic"};
        QTest::newRow("NotAvailable is a way up")
            << QStringList{"d/", "d/NotAvailable/", "d/m.dic"} << "d/m.dic" << "ROOT/d"
            << QStringList{"..", "m.dic"};
        QTest::newRow("missing folder lists home")
            << QStringList{"in-home.dic"} << "missing/words.dic" << "HOME" << QStringList{};
    }

    void folderListing()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, stored);
        QFETCH(QString, listed);
        QFETCH(QStringList, rows);
        for (const QString &f : files) {
            if (f.endsWith(QLatin1Char('/')))
                makeFolder(f);
            else
                makeFile(f);
        }
        Values v = typical();
        v.dictionaryPath = root() + QLatin1Char('/') + stored;
        showWith(v);

        const QString folder = QFileInfo(v.dictionaryPath).absolutePath();
        listed.replace(QLatin1String("ROOT"), root()).replace(QLatin1String("HOME"), m_home.path());
        QCOMPARE(m_dlg->currentFolder, listed);
        QCOMPARE(m_dlg->pathEdit->text(), v.dictionaryPath);
        const QStringList shown = items(m_dlg->folderList);
        QCOMPARE(shown.mid(0, 2), (QStringList{folder, ".."}));
        QCOMPARE(shown.mid(2), rows);
    }

    // Walking with the list: ".." and folder rows change the folder, a file row fills the path
    // line, the header row does nothing, and only acceptance stores the path.
    void folderChoices()
    {
        for (const char *f : {"dicts/sub", "other", "dicts/NotAvailable"})
            makeFolder(f);
        for (const char *f : {"dicts/a.dic", "dicts/sub/deep.dic", "top.dic"})
            makeFile(f);
        Values v = typical();
        v.dictionaryPath = root() + QStringLiteral("/dicts/a.dic");
        showWith(v);
        showTabOf(m_dlg->folderList);
        const QString dicts = root() + QStringLiteral("/dicts");

        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, root());
        QCOMPARE(items(m_dlg->folderList), (QStringList{root(), "..", "dicts", "other", "top.dic"}));

        choose(m_dlg->folderList, QStringLiteral("dicts"));
        QCOMPARE(m_dlg->currentFolder, dicts);
        choose(m_dlg->folderList, QStringLiteral("sub"));
        QCOMPARE(m_dlg->currentFolder, dicts + QStringLiteral("/sub"));
        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, dicts);
        choose(m_dlg->folderList, QStringLiteral(".."), 1);  // the NotAvailable row
        QCOMPARE(m_dlg->currentFolder, root());

        choose(m_dlg->folderList, root());  // the header row
        QCOMPARE(m_dlg->currentFolder, root());
        QCOMPARE(m_dlg->pathEdit->text(), v.dictionaryPath);

        choose(m_dlg->folderList, QStringLiteral("top.dic"));
        QCOMPARE(m_dlg->pathEdit->text(), root() + QStringLiteral("/top.dic"));
        QCOMPARE(m_dlg->dictionaryPath, v.dictionaryPath);  // not yet
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->dictionaryPath, root() + QStringLiteral("/top.dic"));
    }

    // A stored path in a folder that is gone: the browser shows home, and its header row, which
    // still names the missing folder, leads nowhere.
    void missingFolderHeader()
    {
        QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("words")));
        Values v = typical();
        v.dictionaryPath = root() + QStringLiteral("/gone/x.dic");
        showWith(v);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, root() + QStringLiteral("/gone"));
        QCOMPARE(m_dlg->pathEdit->text(), v.dictionaryPath);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, QStringLiteral("words"));
        QCOMPARE(m_dlg->currentFolder, m_home.path() + QStringLiteral("/words"));
        QVERIFY(QDir(m_home.path() + QStringLiteral("/words")).removeRecursively());
    }

    void rootHasNoParent()
    {
        m_dlg->setFolderList(QStringLiteral("/"));
        m_dlg->pathChanged(QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, QStringLiteral("/"));
        QCOMPARE(m_dlg->folderList->itemText(0), QStringLiteral("/"));
    }
};

QTEST_MAIN(tst_SettingsDlg)
#include "tst_settingsdlg.moc"
