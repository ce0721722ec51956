// Keys and taps: the key table in every rotation, toggles, the bar jump, word taps, links, and the
// translation page in place of the page.
#include "EpubBuilder.h"
#include "PalmBuilder.h"
#include "PrivateBus.h"
#include "TestFiles.h"
#include "ViewFixture.h"

#include <QAction>
#include <QProcess>
#include <QtTest>

namespace {
QByteArray words(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "w" + QByteArray::number(i) + ' ';
    return text;
}

// Paper point to widget point for a 300 x 300 view, the inverse of the view's mapping.
QPoint onScreen(int px, int py, double rotation)
{
    if (rotation == 0.0)
        return {px, py};
    if (rotation == -90.0)
        return {py, 300 - px};
    if (rotation == 90.0)
        return {300 - py, px};
    return {300 - px, 300 - py};
}

void tap(ViewFixture &f, const PageWords::Word &w, double rotation = 0.0)
{
    QTest::mouseClick(f.view, Qt::LeftButton, {}, onScreen(w.x + 2, w.y - 3, rotation));
}
} // namespace

class tst_Input : public QObject
{
    Q_OBJECT

    TestFolder m_folder;
    QString m_dictionary;

private Q_SLOTS:
    void initTestCase()
    {
        const QString tsv = m_folder.write(QStringLiteral("w.tsv"), "hello\ta greeting\nzebra\tan animal\n");
        m_dictionary = m_folder.filePath(QStringLiteral("w.dic"));
        QProcess tool;
        tool.start(QStringLiteral(FOLIUM_DICT_TOOL), {QStringLiteral("build"), tsv, m_dictionary});
        QVERIFY(tool.waitForFinished(60000) && tool.exitCode() == 0);
    }

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
        ViewFixture f(300, 300, [rotation](ReaderSettings &s) { s.rotation = rotation; });
        f.open(QStringLiteral("k.txt"), words(3000));
        f.view->nextPage();
        const qint64 second = f.view->pageStart().position;
        const qint64 third = f.position();
        const int size = f.view->settings().fontSize;
        QTest::keyClick(f.view, Qt::Key(key));
        if (effect == QLatin1String("next")) {
            QCOMPARE(f.view->pageStart().position, third);
        } else if (effect == QLatin1String("previous")) {
            QCOMPARE(f.view->pageStart().position, qint64(0));
        } else {
            QCOMPARE(f.view->settings().fontSize, size + (effect == QLatin1String("larger") ? 1 : -1));
            QCOMPARE(f.view->pageStart().position, second);  // the same page, laid out anew
        }
    }

    // Keys move the size one step toward 8..24 and never out of it, also from a stored size
    // outside that range.
    void fontSizeKeys_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("presses");
        QTest::addColumn<int>("size");
        QTest::newRow("larger stops at 24") << 12 << int(Qt::Key_Right) << 20 << 24;
        QTest::newRow("smaller stops at 8") << 12 << int(Qt::Key_Left) << 20 << 8;
        QTest::newRow("smaller from 30") << 30 << int(Qt::Key_Left) << 1 << 29;
        QTest::newRow("larger from 5") << 5 << int(Qt::Key_Right) << 1 << 6;
    }
    void fontSizeKeys()
    {
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, presses);
        QFETCH(int, size);
        ViewFixture f(320, 320, [start](ReaderSettings &s) { s.fontSize = start; });
        f.open(QStringLiteral("s.txt"), words(100));
        for (int i = 0; i < presses; ++i)
            QTest::keyClick(f.view, Qt::Key(key));
        QCOMPARE(f.view->settings().fontSize, size);
    }

    // The desktop's paging in any rotation: Page Down / Page Up and wheel steps (half steps add
    // up) turn pages, End shows the page ending at the end of the text, Home the first, and Ctrl
    // with the wheel changes the size.
    void desktopPaging()
    {
        for (double rotation : {0.0, 90.0}) {
            ViewFixture f(300, 300, [rotation](ReaderSettings &s) { s.rotation = rotation; });
            const QByteArray text = words(3000);
            f.open(QStringLiteral("d.txt"), text);
            const qint64 second = f.position();
            auto wheel = [&f](int delta, Qt::KeyboardModifiers modifiers = {}) {
                QWheelEvent event(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton,
                                  modifiers, Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(f.view, &event);
            };
            QTest::keyClick(f.view, Qt::Key_PageDown);
            QCOMPARE(f.view->pageStart().position, second);
            QTest::keyClick(f.view, Qt::Key_PageUp);
            QCOMPARE(f.view->pageStart().position, qint64(0));
            wheel(-60);
            QCOMPARE(f.view->pageStart().position, qint64(0));
            wheel(-60);
            QCOMPARE(f.view->pageStart().position, second);
            wheel(120);
            QCOMPARE(f.view->pageStart().position, qint64(0));

            QTest::keyClick(f.view, Qt::Key_End);
            QCOMPARE(f.position(), qint64(text.size()));
            const qint64 last = f.view->pageStart().position;
            QVERIFY(last > second);
            QTest::keyClick(f.view, Qt::Key_PageDown);
            QCOMPARE(f.view->pageStart().position, last);
            QTest::keyClick(f.view, Qt::Key_Home);
            QCOMPARE(f.view->pageStart().position, qint64(0));
            QCOMPARE(f.position(), second);

            const int size = f.view->settings().fontSize;
            wheel(120, Qt::ControlModifier);
            QCOMPARE(f.view->settings().fontSize, size + 1);
            QCOMPARE(f.view->pageStart().position, qint64(0));
        }
    }

    void toggles()
    {
        ViewFixture f;
        f.open(QStringLiteral("t.txt"), "a <b>bold</b> word");
        QTest::keyClick(f.view, Qt::Key_B);
        QVERIFY(!f.view->settings().barVisible);
        QTest::keyClick(f.view, Qt::Key_S);
        QVERIFY(f.view->settings().stripHtml && f.view->document().isHtml());
        QCOMPARE(f.word(1).text, QStringLiteral("bold"));
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
        f.open(QStringLiteral("bar.txt"), words(20000));
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(150, 300 - rowAboveBottom));
        // The page shown is the one that ends at the tapped fraction of the file.
        const qint64 target = f.view->document().size() * 150 / 300;
        QVERIFY(f.view->pageStart().position < target);
        QVERIFY(f.position() >= target && f.position() < target + 80);  // within its last line
        QCOMPARE(f.view->pageHistory().depth(), 0);
    }

    void tapsLookWordsUp_data()
    {
        QTest::addColumn<double>("rotation");
        QTest::newRow("0") << 0.0;
        QTest::newRow("90") << 90.0;
        QTest::newRow("-90") << -90.0;
        QTest::newRow("180") << 180.0;
    }
    void tapsLookWordsUp()
    {
        QFETCH(double, rotation);
        ViewFixture f(300, 300, [&](ReaderSettings &s) {
            s.rotation = rotation;
            s.dictionaryPath = m_dictionary;
        });
        f.open(QStringLiteral("tap.txt"), "Hello, zebra! " + words(500));
        const QImage page = f.view->paper().toImage();
        tap(f, f.word(1), rotation);
        QVERIFY(f.view->translationShown());
        QCOMPARE(f.view->translation().word(), QStringLiteral("zebra"));
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(10, 10));  // any tap returns to the page
        QVERIFY(!f.view->translationShown());
        QCOMPARE(f.view->paper().toImage(), page);
        QTest::mouseClick(f.view, Qt::LeftButton, {}, onScreen(1, f.word(0).y - 3, rotation));
        QCOMPARE(f.view->translation().word(), QString());  // left of every word: none
    }

    void editingTheWordByKeys()
    {
        ViewFixture f(400, 400, [&](ReaderSettings &s) { s.dictionaryPath = m_dictionary; });
        f.open(QStringLiteral("e.txt"), "h");
        f.view->intTranslate(QStringLiteral("h"));
        QTest::keyClick(f.view, Qt::Key_Backspace);
        QCOMPARE(f.view->translation().word(), QString());
        QTest::keyClicks(f.view, QStringLiteral("zebra"));
        QCOMPARE(f.view->translation().word(), QStringLiteral("zebra"));
        f.change([](ReaderSettings &s) { s.rotation = 90; });  // the translation is drawn again
        QVERIFY(f.view->translationShown());
        QTest::keyClick(f.view, Qt::Key_Return);
        QVERIFY(!f.view->translationShown());
    }

    void outsideApplicationGetsTheCleanWord()
    {
        PrivateBus bus;
        QCopListener listener;
        QString why;
        if (!bus.start(&listener, &why))
            QSKIP(qPrintable(why));
        ViewFixture f(400, 400, [](ReaderSettings &s) { s.internalDictionary = false; });
        f.open(QStringLiteral("o.txt"), "Hello, world");
        tap(f, f.word(0));
        QTRY_COMPARE(listener.received.size(), 1);
        const QCopListener::Message m = listener.received.first();
        QCOMPARE(m.channel, QStringLiteral("QPE/Application/dictionary"));
        QCOMPARE(m.message, QStringLiteral("find(QString)"));
        QDataStream in(m.data);
        in.setVersion(QCopEnvelope::DataStreamVersion);
        QString word;
        in >> word;
        QCOMPARE(word, QStringLiteral("hello"));
        QVERIFY(!f.view->translationShown());
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
        f.view->setBackAction(&back);
        f.open(QStringLiteral("links.pdb"), pluckerDocument(2, records));
        QVERIFY2(f.view->documentOpen(), qPrintable(f.warnings.join(QLatin1Char(';'))));
        QVERIFY(!back.isEnabled());

        QList<qint64> pages{f.view->pageStart().position};
        for (int hop = 0; hop < 3; ++hop) {
            int link = 0;
            while (link < f.view->pageWords().count() && f.word(link).linkRecord == 0)
                ++link;
            QCOMPARE(f.word(link).text, QStringLiteral("next"));
            tap(f, f.word(link));
            QCOMPARE(f.word(0).text, QString::fromLatin1(names[hop + 1]));
            QVERIFY(back.isEnabled());
            pages << f.view->pageStart().position;
        }
        for (int hop = 2; hop >= 0; --hop) {
            f.view->goLinkBack();
            QCOMPARE(f.view->pageStart().position, pages[hop]);
        }
        QVERIFY(!back.isEnabled());
        QCOMPARE(f.word(0).text, QStringLiteral("start"));
        f.view->goLinkBack();  // nothing left to go back over
        QCOMPARE(f.view->pageStart().position, pages[0]);
    }

    // HTML links, in a page and in an EPUB book: drawn as links, a tap goes to the named place
    // (not to a name inside a comment) and Back returns; a web address goes to the desktop's
    // handler and the page stays; a link to another file is no link, so the word is looked up.
    void htmlLinks()
    {
        const QByteArray filler = "<p>" + words(400) + "</p>";
        const QByteArray page = "<html><body><p><a href='#far'>go</a> <a href=\"https://example.org/?a=1&amp;b=2\">web</a> "
                                "<a href=other.html>other</a></p>"
                              + filler + "<!-- <p id=\"far\">not here</p> -->" + filler + "<h2 id=\"far\">Far</h2>" + filler
                              + "</body></html>";
        EpubBuilder book;
        book.chapter("one.xhtml", "<p><a href=\"two.xhtml#far\">go</a> <a href=\"https://example.org/?a=1&amp;b=2\">web"
                                  "</a> <a href=\"other.html\">other</a></p>" + filler)
            .chapter("two.xhtml", filler + "<h2 id=\"far\">Far</h2>" + filler);
        for (const bool epub : {false, true}) {
            ViewFixture f(300, 400, [](ReaderSettings &s) { s.encodingName = QStringLiteral("CP1251"); });
            QAction back(nullptr);
            f.view->setBackAction(&back);
            QList<QUrl> opened;
            f.view->setUrlOpener([&opened](const QUrl &url) { opened << url; });
            f.open(epub ? QStringLiteral("b.epub") : QStringLiteral("p.html"), epub ? book.build() : page);
            QCOMPARE(f.view->document().isBook(), epub);
            const qint64 start = f.view->pageStart().position;
            QCOMPARE(f.word(0).text, QStringLiteral("go"));
            QVERIFY(f.word(0).htmlLink && f.word(1).htmlLink && f.word(2).htmlLink == (epub ? 0 : f.word(2).htmlLink));
            QVERIFY(!f.word(3).htmlLink);
            tap(f, f.word(1));
            QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://example.org/?a=1&b=2"))});
            QCOMPARE(f.view->pageStart().position, start);
            tap(f, f.word(2));
            QVERIFY(f.view->translationShown());
            QTest::keyClick(f.view, Qt::Key_Return);
            tap(f, f.word(0));
            QCOMPARE(f.word(0).text, QStringLiteral("Far"));
            QVERIFY(back.isEnabled());
            f.view->goLinkBack();
            QCOMPARE(f.view->pageStart().position, start);
        }
    }
};

QTEST_MAIN(tst_Input)
#include "tst_input.moc"
