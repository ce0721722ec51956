// Keys and taps: the key table in every rotation, toggles, the bar jump, word taps and links.
#include "PalmBuilder.h"
#include "PluckerIndex.h"
#include "ViewFixture.h"

#include <QAction>
#include <QtTest>

namespace {
QByteArray words(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "w" + QByteArray::number(i) + ' ';
    return text;
}
} // namespace

class tst_Input : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keyTableInEveryRotation_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("effect");
        const QList<QPair<double, QStringList>> table = {
            {0.0, {"previous", "next", "smaller", "larger"}},
            {-90.0, {"larger", "smaller", "previous", "next"}},
            {90.0, {"smaller", "larger", "next", "previous"}},
            {180.0, {"next", "previous", "larger", "smaller"}},
            {45.0, {"next", "previous", "larger", "smaller"}},
        };
        const int keys[4] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right};
        for (const auto &row : table)
            for (int k = 0; k < 4; ++k)
                QTest::addRow("%g %s", row.first, qPrintable(QKeySequence(keys[k]).toString()))
                    << row.first << keys[k] << row.second[k];
    }
    void keyTableInEveryRotation()
    {
        QFETCH(double, rotation);
        QFETCH(int, key);
        QFETCH(QString, effect);
        ViewFixture f(300, 300);
        f.view->rotation = rotation;
        f.view->pickupSettings();
        f.view->fileOpen(f.write(QStringLiteral("k.txt"), words(3000)));
        f.view->nextPage();
        const qint64 second = f.view->pageStart.position;
        const qint64 third = f.view->file.pos();
        const int size = f.view->fontSize;
        QTest::keyClick(f.view, Qt::Key(key));
        if (effect == QLatin1String("next"))
            QCOMPARE(f.view->pageStart.position, third);
        else if (effect == QLatin1String("previous"))
            QCOMPARE(f.view->pageStart.position, qint64(0));
        else
            QCOMPARE(f.view->fontSize, size + (effect == QLatin1String("larger") ? 1 : -1));
        if (effect == QLatin1String("smaller") || effect == QLatin1String("larger"))
            QCOMPARE(f.view->pageStart.position, second);  // the same page, laid out anew
    }

    void fontSizeStaysWithinBounds()
    {
        ViewFixture f;
        f.view->fileOpen(f.write(QStringLiteral("s.txt"), words(100)));
        for (int i = 0; i < 20; ++i)
            QTest::keyClick(f.view, Qt::Key_Right);
        QCOMPARE(f.view->fontSize, 24);
        for (int i = 0; i < 30; ++i)
            QTest::keyClick(f.view, Qt::Key_Left);
        QCOMPARE(f.view->fontSize, 8);
    }

    void toggles()
    {
        ViewFixture f;
        const QString path = f.write(QStringLiteral("t.txt"), "a <b>bold</b> word");
        f.view->fileOpen(path);
        QTest::keyClick(f.view, Qt::Key_B);
        QVERIFY(!f.view->barVisible);
        QTest::keyClick(f.view, Qt::Key_S);
        QVERIFY(f.view->stripHtml);
        QVERIFY(f.view->htmlDocument);
        QCOMPARE(f.view->pageWords[1].text, QStringLiteral("bold"));
    }

    void tapOnTheBarJumps_data()
    {
        QTest::addColumn<int>("rowAboveBottom");
        QTest::newRow("on the bar") << 2;
        QTest::newRow("just above the bar") << 6 + 3;
    }
    void tapOnTheBarJumps()
    {
        QFETCH(int, rowAboveBottom);
        ViewFixture f(300, 300);
        f.view->fileOpen(f.write(QStringLiteral("bar.txt"), words(20000)));
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(150, 300 - rowAboveBottom));
        // The page shown is the one that ends at the tapped fraction of the file.
        const qint64 target = f.view->fileSize * 150 / 300;
        QVERIFY(f.view->pageStart.position < target);
        QVERIFY(f.view->file.pos() >= target && f.view->file.pos() < target + 80);  // within its last line
        QCOMPARE(f.view->historyDepth, 0);
    }

    void tapsPickWords_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::newRow("0") << 0.0;
        QTest::newRow("90") << 90.0;
        QTest::newRow("-90") << -90.0;
        QTest::newRow("180") << 180.0;
    }
    void tapsPickWords()
    {
        QFETCH(double, rotation);
        ViewFixture f(300, 300);
        f.view->rotation = rotation;
        f.view->pickupSettings();
        f.view->fileOpen(f.write(QStringLiteral("tap.txt"), words(500)));
        const PageWord w = f.view->pageWords[5];
        // Paper point to widget point, the inverse of the view's mapping.
        const int px = w.x + 2, py = w.y - 3;
        QPoint at;
        if (rotation == 0.0)
            at = {px, py};
        else if (rotation == -90.0)
            at = {py, 300 - px};
        else if (rotation == 90.0)
            at = {300 - py, px};
        else
            at = {300 - px, 300 - py};
        QTest::mouseClick(f.view, Qt::LeftButton, {}, at);
        QCOMPARE(f.view->lookupWord, w.text.chopped(1));  // looked up without its trailing digit
    }

    void tapsLeftOfEveryWordFindNothing()
    {
        ViewFixture f(300, 300);
        f.view->fileOpen(f.write(QStringLiteral("m.txt"), "  first paragraph words here\n  second one"));
        f.view->lookupWord = QStringLiteral("stale");
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(1, 10));
        QCOMPARE(f.view->lookupWord, QString());
    }

    // Three documents' worth of links in one Plucker book: follow three, go back three times.
    void followLinksAndGoBack()
    {
        using namespace PalmBuilder;
        QList<QByteArray> records;
        const char *names[4] = {"start", "one", "two", "three"};
        for (unsigned r = 0; r < 4; ++r) {
            QByteArray paragraph = QByteArray(names[r]) + " " + words(150);
            if (r < 3)
                paragraph += Code::linkToParagraph(11 + r, 0) + "next" + Code::endLink() + " tail";
            records << pluckerTextRecord(10 + r, {paragraph}, Packing::Zlib);
        }
        ViewFixture f(300, 2000);
        QAction back(nullptr);
        f.view->backAction = &back;
        f.view->fileOpen(f.write(QStringLiteral("links.pdb"), pluckerDocument(2, records)));
        QVERIFY2(f.view->documentOpen, qPrintable(f.warnings.join(QLatin1Char(';'))));
        QCOMPARE(int(f.view->sourceKind), 2);
        QVERIFY(!back.isEnabled());

        QList<qint64> pages{f.view->pageStart.position};
        for (int hop = 0; hop < 3; ++hop) {
            int link = -1;
            for (int i = 0; i < f.view->pageWordCount; ++i)
                if (f.view->pageWords[size_t(i)].linkRecord != 0) {
                    link = i;
                    break;
                }
            QVERIFY(link >= 0);
            const PageWord w = f.view->pageWords[size_t(link)];
            QCOMPARE(w.text, QStringLiteral("next"));
            QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(w.x + 2, w.y - 3));
            qint64 expected = -1;
            for (const PluckerIndexEntry &e : std::as_const(f.view->pluckerIndex))
                if (e.recordId == w.linkRecord && e.paragraph == w.linkParagraph)
                    expected = e.offset;
            QCOMPARE(f.view->pageStart.position, expected);
            QCOMPARE(f.view->pageWords[0].text, QString::fromLatin1(names[hop + 1]));
            QVERIFY(back.isEnabled());
            pages << expected;
        }
        for (int hop = 2; hop >= 0; --hop) {
            f.view->goLinkBack();
            QCOMPARE(f.view->pageStart.position, pages[hop]);
        }
        QVERIFY(!back.isEnabled());
        QCOMPARE(f.view->pageWords[0].text, QStringLiteral("start"));
        f.view->goLinkBack();  // nothing left to go back over
        QCOMPARE(f.view->pageStart.position, pages[0]);
    }
};

QTEST_MAIN(tst_Input)
#include "tst_input.moc"
