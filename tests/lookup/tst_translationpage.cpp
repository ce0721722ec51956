// Word lookup: cleaning, exact and closest entries from a real dictionary file, errors drawn in
// red, and entry formatting.
#include "EntryFormatter.h"
#include "TestFiles.h"
#include "TranslationPage.h"

#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QtTest>

class tst_TranslationPage : public QObject
{
    Q_OBJECT

    TestFolder m_folder;
    QString m_dictionary;

private Q_SLOTS:
    void initTestCase()
    {
        // A dictionary made the way users make one: folium-dict build from tab-separated lines.
        const QString tsv = m_folder.write(QStringLiteral("words.tsv"),
                                           "hello\t{s}{ps}interj{/ps}a greeting{/s}\n"
                                           "world\t{s}{ss}the earth{/ss}{ss}everything\\nthat is{/ss}{/s}\n"
                                           "abc\tthe alphabet\n"
                                           "re-enter\tto enter again\n");
        m_dictionary = m_folder.filePath(QStringLiteral("test.dic"));
        QProcess tool;
        tool.start(QStringLiteral(FOLIUM_DICT_TOOL), {QStringLiteral("build"), tsv, m_dictionary});
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
        TranslationPage page;
        page.lookUp(tapped, m_dictionary);
        QVERIFY(page.isShown());
        QCOMPARE(page.word(), word);
        QCOMPARE(page.title(), title);
    }

    // The reason in red, with the path under it; mark-up in the path is shown as text (it would
    // draw a rule across the page).
    void missingDictionaryShowsTheReasonInRed()
    {
        TranslationPage page;
        for (int i = 0; i < 2; ++i) {
            page.lookUp(QStringLiteral("word"), m_folder.filePath(QStringLiteral("no<hr/>ne.dic")));
            QCOMPARE(page.title(), QStringLiteral("Dictionary file error:"));
        }
        QPixmap paper(400, 400);
        page.draw(paper, TranslationPage::Geometry{QFont(QStringLiteral("DejaVu Sans")), 12, 3, 4});
        const QImage image = paper.toImage();
        bool red = false;
        int longestRun = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0, run = 0; x < image.width(); ++x) {
                const QColor c(image.pixel(x, y));
                red = red || (y < 80 && c.red() > 200 && c.green() < 80);
                run = c == Qt::white ? 0 : run + 1;
                longestRun = std::max(longestRun, run);
            }
        }
        QVERIFY(red);
        QVERIFY2(longestRun < 300, "a rule was drawn");
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
        QTest::newRow("mark-up in a sense is text") << "{sa}\"><hr/>{/sa}a&b"
                                                     << "<a href=\"&quot;&gt;&lt;hr/&gt;\">&quot;&gt;&lt;hr/&gt;</a>a&amp;b";
        QTest::newRow("unformatted sense escaped too") << "{x}<b>{/x}" << "{x}&lt;b&gt;{/x}";
        QTest::newRow("empty headword") << "{hw/}" << "<b>cat</b>";
        QTest::newRow("example") << "{ex}purr{/ex}" << "<i>purr</i>";
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
        QCOMPARE(EntryFormatter().dictFormat(sense, QStringLiteral("cat")), formatted);
    }

    void hostileNestingComesBackUnformatted()
    {
        const QString deep = QStringLiteral("{s}").repeated(5000) + QStringLiteral("{/x}");
        QCOMPARE(EntryFormatter().dictFormat(deep, QStringLiteral("w")), deep);
        const QString recovering = QStringLiteral("{s}{ex}").repeated(40) + QStringLiteral("{/q}");
        QCOMPARE(EntryFormatter().dictFormat(recovering, QStringLiteral("w")), recovering);
        // Each {sa} writes its content twice: 40 nested ones would make a page of 2^40 characters.
        const QString doubling = QStringLiteral("{sa}").repeated(40) + QStringLiteral("x")
                               + QStringLiteral("{/sa}").repeated(40);
        QCOMPARE(EntryFormatter().dictFormat(doubling, QStringLiteral("w")), doubling);
    }
};

QTEST_MAIN(tst_TranslationPage)
#include "tst_translationpage.moc"
