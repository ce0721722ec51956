// The settings page driven through its real widgets: values in and out through every control,
// the item chosen on show for stored values in and out of the lists, the keys, the encoding
// list, and the dictionary folder browser.

#include "SettingsDlg.h"
#include "toUnicode.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
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
const Field Fields[] = {
    {"fontName", &SettingsDlg::fontName, nullptr, nullptr},
    {"encodingName", &SettingsDlg::encodingName, nullptr, nullptr},
    {"rotationText", &SettingsDlg::rotationText, nullptr, nullptr},
    {"paragraphRegexp", &SettingsDlg::paragraphRegexp, nullptr, nullptr},
    {"dictionaryPath", &SettingsDlg::dictionaryPath, nullptr, nullptr},
    {"fontSize", nullptr, &SettingsDlg::fontSize, nullptr},
    {"pageMargin", nullptr, &SettingsDlg::pageMargin, nullptr},
    {"lineSpacing", nullptr, &SettingsDlg::lineSpacing, nullptr},
    {"paragraphIndent", nullptr, &SettingsDlg::paragraphIndent, nullptr},
    {"scrollDelay", nullptr, &SettingsDlg::scrollDelay, nullptr},
    {"fontBold", nullptr, nullptr, &SettingsDlg::fontBold},
    {"fontItalic", nullptr, nullptr, &SettingsDlg::fontItalic},
    {"justifyLines", nullptr, nullptr, &SettingsDlg::justifyLines},
    {"reparagraph", nullptr, nullptr, &SettingsDlg::reparagraph},
    {"barVisible", nullptr, nullptr, &SettingsDlg::barVisible},
    {"stripHtml", nullptr, nullptr, &SettingsDlg::stripHtml},
    {"stripNewlinesInHtml", nullptr, nullptr, &SettingsDlg::stripNewlinesInHtml},
    {"crConvert", nullptr, nullptr, &SettingsDlg::crConvert},
    {"internalDictionary", nullptr, nullptr, &SettingsDlg::internalDictionary},
};

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
    for (auto it = changes.begin(); it != changes.end(); ++it)
        values[it.key()] = it.value();
    return values;
}

QStringList items(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

// The offscreen platform cannot raise a drop-down or grab the keyboard for it, and says so each
// time; the drop-downs work all the same.
QtMessageHandler previousHandler = nullptr;
void quietPopups(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        previousHandler(type, context, message);
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
    QList<int> m_keysAtParent;
    int m_restoredShows = 0;  // show events the platform sent the page

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
        for (int i = 0; i < list->count() && index < 0; ++i)
            if (list->itemText(i) == text && occurrence-- == 0)
                index = i;
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

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_parent.get() && event->type() == QEvent::KeyPress)
            m_keysAtParent << static_cast<QKeyEvent *>(event)->key();
        if (watched == m_dlg && event->type() == QEvent::Show && event->spontaneous())
            ++m_restoredShows;
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
        m_restoredShows = 0;
    }

    void cleanup()
    {
        m_parent.reset();
        m_dir.reset();
    }

    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    // Shown and accepted untouched, every value comes back as it went in, or as the nearest value
    // its number box allows.
    void untouchedValuesComeBack_data()
    {
        QTest::addColumn<QVariantMap>("in");
        QTest::addColumn<QVariantMap>("out");
        const QVariantMap t = typical();
        const QVariantMap lowest{{"fontSize", 8}, {"pageMargin", 0}, {"lineSpacing", 1},
                                 {"paragraphIndent", 0}, {"scrollDelay", 5}};
        const QVariantMap highest{{"fontSize", 24}, {"pageMargin", 40}, {"lineSpacing", 10},
                                  {"paragraphIndent", 40}, {"scrollDelay", 1000}};
        QTest::newRow("typical") << t << t;
        const QVariantMap flipped = with(t, {{"fontBold", true}, {"fontItalic", false}, {"justifyLines", true},
                                             {"reparagraph", false}, {"barVisible", true}, {"stripHtml", false},
                                             {"stripNewlinesInHtml", true}, {"crConvert", false},
                                             {"internalDictionary", true}, {"rotationText", "180"},
                                             {"encodingName", "UTF-8"}});
        QTest::newRow("other flags, lowest numbers") << with(flipped, lowest) << with(flipped, lowest);
        QTest::newRow("highest numbers") << with(t, highest) << with(t, highest);
        QTest::newRow("scroll delay between steps") << with(t, {{"scrollDelay", 203}})
                                                    << with(t, {{"scrollDelay", 203}});
        // What a settings file without these keys leaves in the view.
        QTest::newRow("absent numbers")
            << with(t, {{"fontSize", -1}, {"pageMargin", -1}, {"lineSpacing", -1},
                        {"paragraphIndent", -1}, {"scrollDelay", -1}})
            << with(t, lowest);
        QTest::newRow("numbers above the ranges")
            << with(t, {{"fontSize", 99}, {"pageMargin", 41}, {"lineSpacing", 11},
                        {"paragraphIndent", 41}, {"scrollDelay", 5000}})
            << with(t, highest);
    }

    void untouchedValuesComeBack()
    {
        QFETCH(QVariantMap, in);
        QFETCH(QVariantMap, out);
        showWith(in);
        m_dlg->acceptChanges();
        SettingsDlg model;
        setValues(&model, out);
        QCOMPARE(valuesOf(m_dlg), valuesOf(&model));
    }

    // Every control edited the way a user does it, then Return: each edit lands in its own field.
    void editsThroughTheControls()
    {
        make({"dicts/words.dic"});
        QVariantMap want = with(typical(), {{"dictionaryPath", root() + QStringLiteral("/dicts/none.dic")}});
        showWith(want);
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);

        const QString otherFont = m_dlg->fontList->itemText(m_dlg->fontList->currentIndex() == 0 ? 1 : 0);
        choose(m_dlg->fontList, otherFont);
        choose(m_dlg->rotationList, QStringLiteral("90"));
        choose(m_dlg->encodingList, QStringLiteral("KOI8-U"));
        choose(m_dlg->paragraphList, QStringLiteral("^[\\s\\d]"));
        choose(m_dlg->folderList, QStringLiteral("words.dic"));
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
                           {"paragraphRegexp", "^[\\s\\d]"},
                           {"dictionaryPath", root() + QStringLiteral("/dicts/words.dic")}, {"fontSize", 17},
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
        choose(m_dlg->encodingList, QStringLiteral("UTF-8"));
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
        showWith(typical());
        tick(m_dlg->stripHtmlCheck);
        typeNumber(m_dlg->marginBox, 30);
        m_dlg->installEventFilter(this);
        m_parent->showMinimized();
        QTRY_VERIFY(m_parent->isMinimized());
        m_parent->showNormal();
        QTRY_COMPARE(m_restoredShows, 1);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->stripHtml, !typical().value("stripHtml").toBool());
        QCOMPARE(m_dlg->pageMargin, 30);
    }

    void selectionRule_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("index");  // -1: wherever the value is listed

        QTest::newRow("rotation 90") << "rotationText" << "90" << 2;
        QTest::newRow("rotation 45 is not listed") << "rotationText" << "45" << 0;
        QTest::newRow("rotation 90.0 is not 90") << "rotationText" << "90.0" << 0;
        QTest::newRow("expression listed last") << "paragraphRegexp" << "^\\d" << 5;
        QTest::newRow("expression that starts longer ones") << "paragraphRegexp" << "^\\s" << 2;
        QTest::newRow("expression not listed") << "paragraphRegexp" << "^\\s{2}" << 0;
        QTest::newRow("built-in code page") << "encodingName" << "ISO 8859-11" << -1;
        QTest::newRow("platform codec") << "encodingName" << "windows-1252" << -1;
        QTest::newRow("code page in other case") << "encodingName" << "koi8-r" << 0;
        QTest::newRow("installed font") << "fontName" << Font << -1;
        QTest::newRow("font in other case") << "fontName" << Font.toLower() << 0;
        QTest::newRow("font not installed") << "fontName" << "No Such Font 42" << 0;
    }

    void selectionRule()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, index);
        QComboBox *list = field == QLatin1String("rotationText")      ? m_dlg->rotationList
                          : field == QLatin1String("paragraphRegexp") ? m_dlg->paragraphList
                          : field == QLatin1String("encodingName")    ? m_dlg->encodingList
                                                                      : m_dlg->fontList;
        if (index < 0)
            QVERIFY((index = items(list).indexOf(value)) >= 0);

        // First shown with a listed value that is not the first item, so that the rule is seen
        // to move the list, not leave it where it was.
        showWith(with(typical(), {{"rotationText", "180"}, {"paragraphRegexp", "^\\s*"},
                                  {"encodingName", "CP 1258"}, {"fontName", list->itemText(1)}}));
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
        QCOMPARE(builtIn.size(), 26);
        QStringList expected;
        for (int mib = 0; mib < 3000; ++mib) {
            if (QTextCodec *codec = QTextCodec::codecForMib(mib)) {
                const QString name = QString::fromLatin1(codec->name());
                if (!builtIn.contains(name) && !expected.contains(name))
                    expected << name;
            }
        }
        QVERIFY(expected.contains(QStringLiteral("UTF-8")));  // the view's own default
        QCOMPARE(listed, expected + builtIn);
        for (const char *both : {"KOI8-R", "KOI8-U"}) {  // the platform has them too
            QVERIFY(QTextCodec::codecForName(both));
            QCOMPARE(listed.count(QLatin1String(both)), 1);
        }
    }

    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("at");  // the focused control
        QTest::addColumn<QString>("signal");
        QTest::newRow("Escape on the tabs") << int(Qt::Key_Escape) << "tabs" << "close";
        QTest::newRow("Escape on a list") << int(Qt::Key_Escape) << "list" << "close";
        QTest::newRow("Return on a list") << int(Qt::Key_Return) << "list" << "accept";
        QTest::newRow("Return on a check box") << int(Qt::Key_Return) << "check" << "accept";
        QTest::newRow("Return on the path") << int(Qt::Key_Return) << "path" << "accept";
        QTest::newRow("Enter on a number") << int(Qt::Key_Enter) << "number" << "accept";
        QTest::newRow("F33 on the tabs") << int(Qt::Key_F33) << "tabs" << "accept";
        QTest::newRow("R goes on") << int(Qt::Key_R) << "tabs" << "";
        QTest::newRow("F11 goes on") << int(Qt::Key_F11) << "check" << "";
    }

    void keys()
    {
        QFETCH(int, key);
        QFETCH(QString, at);
        QFETCH(QString, signal);
        showWith(typical());
        QWidget *target = at == QLatin1String("list")     ? static_cast<QWidget *>(m_dlg->encodingList)
                          : at == QLatin1String("check")  ? static_cast<QWidget *>(m_dlg->crConvertCheck)
                          : at == QLatin1String("path")   ? static_cast<QWidget *>(m_dlg->pathEdit)
                          : at == QLatin1String("number") ? static_cast<QWidget *>(m_dlg->marginBox)
                                                          : static_cast<QWidget *>(m_dlg);
        showTabOf(target);
        target->setFocus();
        QSignalSpy accepted(m_dlg, &SettingsDlg::acceptSettings);
        QSignalSpy closed(m_dlg, &SettingsDlg::closeSettings);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(accepted.count(), signal == QLatin1String("accept") ? 1 : 0);
        QCOMPARE(closed.count(), signal == QLatin1String("close") ? 1 : 0);
        QCOMPARE(m_keysAtParent.contains(key), signal.isEmpty());
    }

    void folderListing_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("stored");  // the stored dictionary path, under the test folder
        QTest::addColumn<QString>("listed");  // the folder listed: ROOT... or HOME
        QTest::addColumn<QStringList>("rows");  // after the two header rows

        const QStringList tree{"d/sub/", "d/Zeta/", "d/alpha/", "d/a.dic", "d/B.dic", "d/book.DIC",
                               "d/notes.txt", "d/x.dic.bak", "d/.hidden.dic", "d/.dot/", "d/folder.dic/"};
        const QStringList rows{"alpha", "folder.dic", "sub", "Zeta", "a.dic", "B.dic"};
        QTest::newRow("folders first, .dic files only") << tree << "d/a.dic" << "ROOT/d" << rows;
        QTest::newRow("stored file need not exist") << tree << "d/gone.dic" << "ROOT/d" << rows;
        QTest::newRow("NotAvailable is a way up") << QStringList{"d/NotAvailable/", "d/m.dic"} << "d/m.dic"
                                                  << "ROOT/d" << QStringList{"..", "m.dic"};
        QTest::newRow("missing folder lists home") << QStringList{"x.dic"} << "gone/x.dic" << "HOME"
                                                   << QStringList{};
    }

    void folderListing()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, stored);
        QFETCH(QString, listed);
        QFETCH(QStringList, rows);
        make(files);
        const QString path = root() + QLatin1Char('/') + stored;
        showWith(with(typical(), {{"dictionaryPath", path}}));
        listed.replace(QLatin1String("ROOT"), root()).replace(QLatin1String("HOME"), m_home.path());
        QCOMPARE(m_dlg->currentFolder, listed);
        QCOMPARE(m_dlg->pathEdit->text(), path);
        QCOMPARE(items(m_dlg->folderList), QStringList({QFileInfo(path).absolutePath(), ".."}) + rows);
    }

    // ".." and folder rows change the folder, a file row fills the path line, the header row does
    // nothing, and only acceptance stores the path.
    void folderChoices()
    {
        make({"d/sub/", "other/", "d/NotAvailable/", "d/a.dic", "top.dic"});
        const QString stored = root() + QStringLiteral("/d/a.dic");
        showWith(with(typical(), {{"dictionaryPath", stored}}));

        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(items(m_dlg->folderList), (QStringList{root(), "..", "d", "other", "top.dic"}));
        choose(m_dlg->folderList, QStringLiteral("d"));
        choose(m_dlg->folderList, QStringLiteral("sub"));
        QCOMPARE(m_dlg->currentFolder, root() + QStringLiteral("/d/sub"));
        choose(m_dlg->folderList, QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, root() + QStringLiteral("/d"));
        choose(m_dlg->folderList, QStringLiteral(".."), 1);  // the NotAvailable row
        QCOMPARE(m_dlg->currentFolder, root());
        choose(m_dlg->folderList, root());
        QCOMPARE(m_dlg->currentFolder, root());
        QCOMPARE(m_dlg->pathEdit->text(), stored);

        choose(m_dlg->folderList, QStringLiteral("top.dic"));
        QCOMPARE(m_dlg->pathEdit->text(), root() + QStringLiteral("/top.dic"));
        QCOMPARE(m_dlg->dictionaryPath, stored);
        m_dlg->acceptChanges();
        QCOMPARE(m_dlg->dictionaryPath, root() + QStringLiteral("/top.dic"));

        m_dlg->setFolderList(QStringLiteral("/"));
        m_dlg->pathChanged(QStringLiteral(".."));
        QCOMPARE(m_dlg->currentFolder, QStringLiteral("/"));
    }

    // A stored path in a folder that is gone: the header row still names that folder while home
    // is listed, and choosing it leads nowhere (not to home + the missing path).
    void missingFolderHeader()
    {
        const QString stored = root() + QStringLiteral("/gone/x.dic");
        showWith(with(typical(), {{"dictionaryPath", stored}}));
        QCOMPARE(m_dlg->currentFolder, m_home.path());
        choose(m_dlg->folderList, root() + QStringLiteral("/gone"));
        QCOMPARE(m_dlg->pathEdit->text(), stored);
        QCOMPARE(m_dlg->currentFolder, m_home.path());
    }
};

QTEST_MAIN(tst_SettingsDlg)
#include "tst_settingsdlg.moc"
