// Word lookup: cleaning, exact and closest entries from a real dictionary file, editing the word
// on the translation page, errors, the outside application, and entry formatting.
#include "PrivateBus.h"
#include "ViewFixture.h"

#include <QProcess>
#include <QtTest>

class tst_WordLookup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dictionary;

    ViewFixture *open(ViewFixture &f)
    {
        f.view->dictionaryPath = m_dictionary;
        f.view->fileOpen(f.write(QStringLiteral("doc.txt"), "Hello, world of 123abc (words) -- re-enter"));
        return &f;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A dictionary made the way users make one: folium-dict build from tab-separated lines.
        QFile tsv(m_dir.filePath(QStringLiteral("words.tsv")));
        QVERIFY(tsv.open(QIODevice::WriteOnly));
        tsv.write("hello\t{s}{ps}interj{/ps}a greeting{/s}\n"
                  "world\t{s}{ss}the earth{/ss}{ss}everything\\nthat is{/ss}{/s}\n"
                  "abc\tthe alphabet\n"
                  "re-enter\tto enter again\n"
                  "zebra\tan animal\n");
        tsv.close();
        m_dictionary = m_dir.filePath(QStringLiteral("test.dic"));
        QProcess tool;
        tool.start(QStringLiteral(FOLIUM_DICT_TOOL), {QStringLiteral("build"), tsv.fileName(), m_dictionary});
        QVERIFY(tool.waitForFinished(60000));
        QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    }

    void lookups_data()
    {
        QTest::addColumn<QString>("tapped");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("title");
        QTest::newRow("punctuation and case") << "Hello," << "hello" << "Exact translation";
        QTest::newRow("digits in front") << "123abc" << "abc" << "Exact translation";
        QTest::newRow("inner hyphen stays") << "re-enter" << "re-enter" << "Exact translation";
        QTest::newRow("capitals") << "WORLD" << "world" << "Exact translation";
        QTest::newRow("no such word") << "worlds" << "worlds" << "Closest translation";
        QTest::newRow("only punctuation") << "--" << "" << "Closest translation";
    }
    void lookups()
    {
        QFETCH(QString, tapped);
        QFETCH(QString, word);
        QFETCH(QString, title);
        ViewFixture f(400, 400);
        open(f);
        f.view->intTranslate(tapped);
        QVERIFY(f.view->translationShown);
        QCOMPARE(f.view->lookupWord, word);
        QCOMPARE(f.view->translationTitle, title);
    }

    void tapOnAWordShowsItsTranslationAndTapReturns()
    {
        ViewFixture f(400, 400);
        open(f);
        const QImage page = f.view->paper.toImage();
        const PageWord hello = f.view->pageWords[0];
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(hello.x + 2, hello.y - 3));
        QVERIFY(f.view->translationShown);
        QCOMPARE(f.view->lookupWord, QStringLiteral("hello"));
        QVERIFY(f.view->paper.toImage() != page);
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(10, 10));
        QVERIFY(!f.view->translationShown);
        QCOMPARE(f.view->paper.toImage(), page);
    }

    void editingTheWordByKeys()
    {
        ViewFixture f(400, 400);
        open(f);
        f.view->intTranslate(QStringLiteral("h"));
        QTest::keyClick(f.view, Qt::Key_Backspace);
        QCOMPARE(f.view->lookupWord, QString());
        QTest::keyClicks(f.view, QStringLiteral("zebra"));
        QCOMPARE(f.view->lookupWord, QStringLiteral("zebra"));
        QCOMPARE(f.view->translationTitle, QStringLiteral("Exact translation"));
        QTest::keyClick(f.view, Qt::Key_Return);
        QVERIFY(!f.view->translationShown);
    }

    void resizeRedrawsTheTranslation()
    {
        ViewFixture f(400, 400);
        open(f);
        f.view->intTranslate(QStringLiteral("world"));
        f.view->rotation = 90;
        f.view->pickupSettings();  // also drops the open dictionary
        QVERIFY(f.view->translationShown);
        QCOMPARE(f.view->translationTitle, QStringLiteral("Exact translation"));
        QCOMPARE(f.view->paper.size(), QSize(400, 400));
    }

    void missingDictionaryShowsTheReasonInRed()
    {
        ViewFixture f(400, 400);
        f.view->fileOpen(f.write(QStringLiteral("d.txt"), "word"));
        f.view->dictionaryPath = f.dir.filePath(QStringLiteral("none.dic"));
        for (int i = 0; i < 2; ++i) {
            f.view->intTranslate(QStringLiteral("word"));
            QCOMPARE(f.view->translationTitle, QStringLiteral("Dictionary file error:"));
        }
        const QImage image = f.view->paper.toImage();
        bool red = false;
        for (int y = 20; y < 80 && !red; ++y)
            for (int x = 0; x < 200 && !red; ++x)
                red = QColor(image.pixel(x, y)).red() > 200 && QColor(image.pixel(x, y)).green() < 80;
        QVERIFY(red);
    }

    void outsideApplicationGetsTheCleanWord()
    {
        PrivateBus bus;
        QCopListener listener;
        QString why;
        if (!bus.start(&listener, &why))
            QSKIP(qPrintable(why));
        ViewFixture f(400, 400);
        open(f);
        f.view->internalDictionary = false;
        const QImage page = f.view->paper.toImage();
        const PageWord hello = f.view->pageWords[0];
        QTest::mouseClick(f.view, Qt::LeftButton, {}, QPoint(hello.x + 2, hello.y - 3));
        QTRY_COMPARE(listener.received.size(), 1);
        const QCopListener::Message m = listener.received.first();
        QCOMPARE(m.channel, QStringLiteral("QPE/Application/dictionary"));
        QCOMPARE(m.message, QStringLiteral("find(QString)"));
        QDataStream in(m.data);
        in.setVersion(QCopEnvelope::DataStreamVersion);
        QString word;
        in >> word;
        QCOMPARE(word, QStringLiteral("hello"));
        QVERIFY(!f.view->translationShown);
        QCOMPARE(f.view->paper.toImage(), page);
    }

    void formatting_data()
    {
        QTest::addColumn<QString>("sense");
        QTest::addColumn<QString>("formatted");
        QTest::newRow("no braces") << "plain text" << "plain text";
        QTest::newRow("part of speech") << "{s}{ps}n{/ps}a cat{/s}" << "<b>cat</b> <i>n</i>a cat<hr/>";
        QTest::newRow("two sub-senses") << "{s}{ss}one{/ss}{ss}two{/ss}{/s}"
                                        << "<b>cat</b> <ol><li><p>one</p></li><li><p>two</p></li></ol><hr/>";
        QTest::newRow("one sub-sense") << "{s}{ss}one{/ss}{/s}" << "<b>cat</b> <p>one</p><hr/>";
        QTest::newRow("sub-sense lines") << "{s}{ss}a\nb{/ss}{ss}c{/ss}{/s}"
                                         << "<b>cat</b> <ol><li><p>a</p><p>b</p></li><li><p>c</p></li></ol><hr/>";
        QTest::newRow("pronunciation") << "{pr}kat{/pr}{s}x{/s}" << "<b>cat</b>  /kat/ x<hr/>";
        QTest::newRow("see also") << "{sa}dog{/sa}" << "<a href=\"dog\">dog</a>";
        QTest::newRow("empty headword") << "{hw/}" << "<b>cat</b>";
        QTest::newRow("example") << "{ex}purr{/ex}" << "<i>purr</i>";
        QTest::newRow("unknown section") << "{x}text{/x}" << "{x}text{/x}";
        QTest::newRow("wrong closing tag") << "{s}unclosed{/ss}" << "{s}unclosed{/ss}";
        QTest::newRow("lone brace") << "a { b" << "a { b";
        QTest::newRow("unclosed example inside a sense is dropped") << "{s}{ex}x{/s}" << "<b>cat</b> x<hr/>";
        QTest::newRow("part of speech inside a sense stays there") << "{s}{ps}v{/ps}a{/s}{s}b{/s}"
                                                                   << "<b>cat</b> <i>v</i>a<hr/><b>cat</b> b<hr/>";
        QTest::newRow("part of speech outside carries on") << "{ps}n{/ps}{s}a{/s}{s}b{/s}"
                                                           << "<b>cat</b> <i>n</i>a<hr/><b>cat</b> <i>n</i>b<hr/>";
    }
    void formatting()
    {
        QFETCH(QString, sense);
        QFETCH(QString, formatted);
        ViewFixture f;
        QCOMPARE(f.view->dictFormat(sense, QStringLiteral("cat")), formatted);
    }

    void hostileNestingComesBackUnformatted()
    {
        ViewFixture f;
        QString sense;
        for (int i = 0; i < 5000; ++i)
            sense += QStringLiteral("{s}");
        sense += QStringLiteral("{/x}");
        QCOMPARE(f.view->dictFormat(sense, QStringLiteral("w")), sense);
        QString recovering;
        for (int i = 0; i < 40; ++i)
            recovering += QStringLiteral("{s}{ex}");
        recovering += QStringLiteral("{/q}");
        QCOMPARE(f.view->dictFormat(recovering, QStringLiteral("w")), recovering);
    }
};

QTEST_MAIN(tst_WordLookup)
#include "tst_wordlookup.moc"
