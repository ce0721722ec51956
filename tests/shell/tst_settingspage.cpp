// Settings mode of the main window, through the real widgets: accepted settings change the page
// on screen at once and keep its place; "Close" and Escape change nothing, even after edits and a
// press of the window's R key.

#include "MyView.h"
#include "SettingsDlg.h"
#include "TextReader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <memory>

namespace {

// The nineteen settings the page edits, as the view holds them.
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

class tst_SettingsPage : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("home")));
        qputenv("HOME", QFile::encodeName(m_root.path() + QStringLiteral("/home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.path() + QStringLiteral("/config")));
        QByteArray text;
        for (int p = 0; p < 60; ++p)
            text += "    Paragraph " + QByteArray::number(p) + QByteArray(300, 'x').replace("x", " ab") + ".\n";
        QFile doc(m_root.path() + QStringLiteral("/novel.txt"));
        QVERIFY(doc.open(QIODevice::WriteOnly));
        doc.write(text);
        QVERIFY(QDir(m_root.path()).mkpath(QStringLiteral("config")));
        QFile ini(m_root.path() + QStringLiteral("/config/Folium.conf"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Global]\nFontname=DejaVu Sans\nFontsize=12\nEncoding=UTF-8\nRotation=0\nIndent=8\n"
                  "Margin=4\nSpacing=2\nScroll=100\nParagraphRegexp=^\\\\s+|^\\\\s*$\nFile="
                  + QFile::encodeName(doc.fileName()) + "\nFolderpath=" + QFile::encodeName(m_root.path())
                  + "\nPosition=0\nParagraph=true\n");
    }

    void leave_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("taken");
        QTest::newRow("OK") << "OK" << true;
        QTest::newRow("Return") << "Return" << true;
        QTest::newRow("Close") << "Close" << false;
        QTest::newRow("Escape") << "Escape" << false;
    }

    void leave()
    {
        QFETCH(QString, how);
        QFETCH(bool, taken);
        TextReader w(nullptr, nullptr, Qt::Window);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        MyView *v = w.view;
        QVERIFY(v->documentOpen);
        v->printPage();  // on to the second page: that is where the page must stay
        const qint64 position = v->pageStart.position;
        QVERIFY(position > 0);
        const QImage page = v->paper.toImage();
        const QStringList before = settingsOf(v);

        QTest::mouseClick(w.actionToolBar->widgetForAction(w.settingsAction), Qt::LeftButton);
        SettingsDlg *d = w.settingsDialog;
        QCOMPARE(w.centralWidget(), static_cast<QWidget *>(d));
        QTest::keyClick(d->tabs->tabBar(), Qt::Key_R);  // the window's rotation key
        d->rotationList->setFocus();
        QTest::keyClick(d->rotationList, Qt::Key_Down);  // "-90"
        QTest::keyClick(d->rotationList, Qt::Key_Down);  // "90"
        d->fontSizeBox->setFocus();
        QTest::keyClick(d->fontSizeBox, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(d->fontSizeBox, QStringLiteral("18"));
        QTest::mouseClick(d->boldCheck, Qt::LeftButton, {}, QPoint(8, d->boldCheck->height() / 2));

        if (how == QLatin1String("OK") || how == QLatin1String("Close"))
            QTest::mouseClick(w.actionToolBar->widgetForAction(how == QLatin1String("OK") ? w.acceptSettingsAction
                                                                                         : w.closeSettingsAction),
                              Qt::LeftButton);
        else
            QTest::keyClick(d->fontSizeBox, how == QLatin1String("Return") ? Qt::Key_Return : Qt::Key_Escape);

        QCOMPARE(w.centralWidget(), static_cast<QWidget *>(v));
        QVERIFY(v->isVisible() && !d->isVisible());
        QCOMPARE(v->pageStart.position, position);
        const QStringList after = settingsOf(v);
        if (taken) {
            QStringList want = before;
            want[1] = QStringLiteral("18");   // fontSize
            want[2] = QStringLiteral("1");    // fontBold, off in the settings file
            want[12] = QStringLiteral("90");  // rotation
            QCOMPARE(after, want);
            QVERIFY(v->paper.toImage() != page);
        } else {
            QCOMPARE(after, before);
            QVERIFY(v->paper.toImage() == page);
        }
    }
};

QTEST_MAIN(tst_SettingsPage)
#include "tst_settingspage.moc"
