// The finder against what the page shows: breaks, references, tags and hidden elements, code pages,
// UTF-16, a multi-byte codec and Plucker books; the ends of the file; case and whole words. Then
// against a plain decode-and-search over generated documents, forward, backward and from anywhere.
#include "FindModel.h"
#include "PalmBuilder.h"
#include "TestFiles.h"
#include "TextFinder.h"

#include <QRandomGenerator>
#include <QTextCodec>
#include <QtTest>

namespace {

using Hits = std::vector<Hit>;

QByteArray encode(const QString &text, const QString &encoding)
{
    if (const auto unicode = QStringConverter::encodingForName(encoding.toLatin1().constData()))
        return QStringEncoder(*unicode).encode(text);  // no byte-order mark unless the text has one
    // The built-in tables under the names their codecs have.
    QString codec = encoding;
    if (encoding.startsWith(QLatin1String("CP ")))
        codec = QStringLiteral("windows-") + encoding.mid(3);
    else if (encoding.startsWith(QLatin1String("ISO 8859-")))
        codec = QStringLiteral("ISO-8859-") + encoding.mid(9);
    return QTextCodec::codecForName(codec.toLatin1())->fromUnicode(text);
}

// `text` encoded, with the hits it marks between ⟦ and ⟧ as byte ranges.
struct Marked
{
    QByteArray bytes;
    Hits hits;
};
Marked marked(const QString &text, const QString &encoding)
{
    Marked out;
    QString piece;
    qint64 open = 0;
    auto flush = [&] {
        out.bytes += encode(piece, encoding);
        piece.clear();
    };
    for (const QChar c : text) {
        if (c == QChar(0x27E6)) {
            flush();
            open = out.bytes.size();
        } else if (c == QChar(0x27E7)) {
            flush();
            out.hits.push_back(Hit{open, qint64(out.bytes.size())});
        } else {
            piece += c;
        }
    }
    flush();
    return out;
}

QString describe(const Hits &hits)
{
    QStringList out;
    for (const Hit &h : hits)
        out << QStringLiteral("%1-%2").arg(h.first).arg(h.end);
    return out.join(QLatin1Char(' '));
}

Hits allHits(TextFinder &finder)
{
    Hits out;
    finder.findAll(0, finder.size(), [&](const Hit &h) {
        out.push_back(h);
        return true;
    });
    return out;
}

// Steps back from the end, one findBackward after another.
Hits backwardHits(TextFinder &finder, int most = 1 << 30)
{
    Hits out;
    Hit hit;
    for (qint64 before = finder.size(); int(out.size()) < most
                                        && finder.findBackward(before, 0, &hit) == TextFinder::Result::Found;) {
        out.push_back(hit);
        before = hit.first;
    }
    return out;
}

// A generated document: words in three cases and scripts, white space of every kind, and in HTML
// the markup that hides, breaks or stands for text.
QString generatedText(quint32 seed, int length, bool html)
{
    static const char16_t *const words[] = {
        u"quick", u"Quick", u"QUICK", u"brown", u"fox", u"café", u"CAFÉ", u"straße", u"σοφός", u"ΣΟΦΟΣ",
        u"日本", u"k", u"\u212A", u"a", u"aa", u"aaa", u"x_y", u"é", u"ab\uFEFFc",
    };
    static const char16_t *const spaces[] = {u" ", u"  ", u"\n", u"\r\n", u"\t", u"\u00A0", u"\r", u" \n\n "};
    static const char16_t *const markup[] = {
        u"<b>", u"</b>", u"<p>", u"</p>\n", u"<br>", u"<a href=\"quick brown\">", u"</a>", u"<!-- quick -->",
        u"<script>quick</script>", u"<style>fox</style>", u"<title>quick</title>", u"<pre>", u"</pre>",
        u"&amp;", u"&eacute;", u"&#233;", u"&#x51;uick", u"&nosuch;", u"& ", u"< ", u"<td>", u"&nbsp;",
        u"<img src='a>b' alt=\"quick\">", u"<x y=a>b", u"caf&eacute;", u"qu<i>ic</i>k", u"&NotEqualTilde;",
        u"<!DOCTYPE html>", u"<?xml a?>", u"</>", u"<ßig>", u"&#13;", u"<br/>",
    };
    QRandomGenerator rng(seed);
    QString text;
    while (text.size() < length) {
        const int pick = rng.bounded(10);
        if (html && pick < 3)
            text += QString::fromUtf16(markup[rng.bounded(int(std::size(markup)))]);
        else if (pick < 6)
            text += QString::fromUtf16(spaces[rng.bounded(int(std::size(spaces)))]);
        else
            text += QString::fromUtf16(words[rng.bounded(int(std::size(words)))]);
    }
    return text;
}

// A query cut from what the page shows, its case changed here and there, its white space changed.
QString queryFrom(const std::vector<findmodel::Char> &text, QRandomGenerator &rng)
{
    if (text.empty())
        return QStringLiteral("quick");
    const size_t start = size_t(rng.bounded(int(text.size())));
    const int length = 1 + rng.bounded(12);
    QString query;
    for (size_t i = start; i < text.size() && i < start + size_t(length); ++i) {
        const char32_t c = text[i].value;
        if (findchars::isSpace(c)) {
            query += rng.bounded(2) ? QStringLiteral(" ") : QStringLiteral("\n ");
            continue;
        }
        QString s = QString::fromUcs4(&c, 1);
        query += rng.bounded(3) == 0 ? s.toUpper() : s;
    }
    return query;
}

} // namespace

class tst_TextFinder : public QObject
{
    Q_OBJECT

    TestFolder m_folder;

    // A finder over `bytes` saved as `name`.
    std::unique_ptr<TextFinder> finderFor(const QString &name, const QByteArray &bytes, const QString &encoding,
                                          bool readAsHtml = false, ShownRules rules = {})
    {
        auto finder = std::make_unique<TextFinder>();
        FindSource source;
        source.path = m_folder.write(name, bytes);
        source.encoding = encoding;
        source.readAsHtml = readAsHtml;
        source.rules = rules;
        if (!finder->open(source).isOk())
            return nullptr;
        return finder;
    }

    // The hits of the plain way over the same file.
    Hits modelHits(const TextFinder &finder, const FindQuery &query, std::vector<findmodel::Char> *shown = nullptr)
    {
        Document document;
        document.open(finder.source().path);
        document.setReadAsHtml(finder.source().readAsHtml);
        document.setEncoding(finder.source().encoding);
        const std::vector<findmodel::Char> text = findmodel::shownText(document, finder.source().rules);
        if (shown)
            *shown = text;
        return findmodel::hits(text, query);
    }

private Q_SLOTS:
    void findsWhatThePageShows_data()
    {
        QTest::addColumn<QString>("text");  // hits marked by ⟦ ⟧
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wholeWords");
        const QString u8 = QStringLiteral("UTF-8");
        QTest::newRow("across a line feed") << "The ⟦quick\nbrown⟧ fox" << u8 << "t.txt" << "quick brown" << false << false;
        QTest::newRow("across paragraphs") << "<p>end of ⟦one</p>\n<p>start⟧</p>" << u8 << "p.html" << "one start" << false << false;
        QTest::newRow("windows line ends") << "⟦quick\r\n\r\n  brown⟧" << u8 << "c.txt" << "Quick  Brown" << false << false;
        QTest::newRow("a named reference") << "un ⟦caf&eacute;⟧ noir" << u8 << "e.html" << "café" << false << false;
        QTest::newRow("numeric references") << "⟦&#99;af&#xE9;⟧" << u8 << "n.html" << "CAFÉ" << false << false;
        QTest::newRow("never inside tags") << "<a href=\"quick\" title='quick'>⟦quick⟧</a><quick>" << u8 << "a.html" << "quick" << false << false;
        QTest::newRow("hidden elements") << "<title>fox</title><script>fox</script><!-- fox --><style>fox</style>⟦fox⟧"
                                         << u8 << "h.html" << "fox" << false << false;
        QTest::newRow("a tag inside a word") << "⟦qu<b>ic</b>k⟧ and <i>⟦quick⟧</i>" << u8 << "w.html" << "quick" << false << true;
        QTest::newRow("pre keeps its spaces") << "<pre>⟦quick \r\n  brown⟧</pre>" << u8 << "pre.html" << "quick brown" << false << false;
        QTest::newRow("no-break space and literal signs") << "1 ⟦&lt;&nbsp;2⟧ & ⟦< 2⟧" << u8 << "l.html" << "< 2" << false << false;
        QTest::newRow("an unknown reference is a space") << "⟦a&nosuch;b⟧" << u8 << "u.html" << "a b" << false << false;
        QTest::newRow("text read as html by the setting") << "⟦a&amp;b⟧ <b>" << u8 << "setting-html.txt" << "a&b" << false << false;
        QTest::newRow("a byte-order mark inside a word") << "⟦ab\uFEFFcd⟧" << u8 << "b.txt" << "abcd" << false << false;
        QTest::newRow("a lone carriage return is not shown") << "⟦ab\rcd⟧" << u8 << "r.txt" << "abcd" << false << false;
        QTest::newRow("first and last byte") << "⟦fox⟧ in the ⟦fox⟧" << u8 << "f.txt" << "FOX" << false << false;
        QTest::newRow("empty query") << "some text" << u8 << "e.txt" << "" << false << false;
        QTest::newRow("white space only") << "some text" << u8 << "s2.txt" << " \n " << false << false;
        QTest::newRow("longer than the document") << "ab" << u8 << "short.txt" << "abc" << false << false;
        QTest::newRow("match case") << "Quick ⟦quick⟧ QUICK" << u8 << "m.txt" << "quick" << true << false;
        QTest::newRow("whole words") << "⟦art⟧ ⟦art⟧. party art_x ⟦Art⟧" << u8 << "ww.txt" << "art" << false << true;
        QTest::newRow("whole words across a tag") << "<b>art</b>ist ⟦art⟧<br>ist" << u8 << "wt.html" << "art" << false << true;
        QTest::newRow("Greek final sigma") << "⟦ΟΔΟΣ⟧ ⟦οδος⟧ ⟦οδοσ⟧" << u8 << "g.txt" << "ΟΔΟς" << false << false;
        QTest::newRow("Kelvin sign") << "⟦\u212Aelvin⟧ ⟦kelvin⟧" << u8 << "k.txt" << "KELVIN" << false << false;
        QTest::newRow("CP 1251") << "<p>⟦Привет⟧, ⟦ПРИВЕТ⟧ мир</p>" << "CP 1251" << "r.html" << "привет" << false << false;
        QTest::newRow("CP 1252") << "⟦Été⟧ et ⟦ÉTÉ⟧" << "CP 1252" << "f.txt" << "été" << false << false;
        QTest::newRow("ISO 8859-7") << "⟦σοφός⟧ ⟦ΣΟΦΌΣ⟧" << "ISO 8859-7" << "gr.txt" << "ΣΟΦΌΣ" << false << false;
        QTest::newRow("KOI8-R in html") << "<i>⟦да&nbsp;нет⟧</i>" << "KOI8-R" << "k.html" << "ДА НЕТ" << false << false;
        QTest::newRow("UTF-16LE") << "\uFEFFone ⟦quick\nfox⟧ <b>" << "UTF-16LE" << "u16.txt" << "quick fox" << false << false;
        QTest::newRow("UTF-16BE html") << "<p>⟦caf&eacute;⟧</p><script>café</script>" << "UTF-16BE" << "u16.html" << "café" << false << false;
        QTest::newRow("Shift_JIS") << "⟦日本語⟧です。⟦日本語⟧" << "Shift_JIS" << "j.txt" << "日本語" << false << false;
    }
    void findsWhatThePageShows()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoding);
        QFETCH(QString, name);
        QFETCH(QString, query);
        QFETCH(bool, matchCase);
        QFETCH(bool, wholeWords);
        const Marked doc = marked(text, encoding);
        auto finder = finderFor(name, doc.bytes, encoding, name.startsWith(QLatin1String("setting-html")));
        QVERIFY(finder);
        const FindQuery q(query, FindOptions{matchCase, wholeWords});
        finder->setQuery(q);
        QCOMPARE(describe(allHits(*finder)), describe(doc.hits));
        QCOMPARE(describe(modelHits(*finder, q)), describe(doc.hits));
        Hits reversed = doc.hits;
        std::reverse(reversed.begin(), reversed.end());
        QCOMPARE(describe(backwardHits(*finder)), describe(reversed));
    }

    void pluckerText()
    {
        using namespace PalmBuilder;
        // The link's record number is two line feeds: arguments of a code are never text.
        const QByteArray pdb = pluckerDocument(
            2, {pluckerTextRecord(2, {"The " + Code::italicOn() + "qu" + Code::style(7) + "ick" + Code::italicOff() + " brown" + endOfParagraph(),
                                      "fox " + Code::linkToRecord(0x0A0A) + "qu" + Code::endLink() + "ick" + Code::lineBreak() + "brown"},
                                  Packing::Raw)});
        auto finder = finderFor(QStringLiteral("book.pdb"), pdb, QStringLiteral("UTF-8"));
        QVERIFY(finder);
        QCOMPARE(finder->way(), TextFinder::Way::Decoding);
        const FindQuery query(QStringLiteral("quick brown"), {});
        finder->setQuery(query);
        const Hits expected = modelHits(*finder, query);
        QCOMPARE(int(expected.size()), 2);
        QCOMPARE(describe(allHits(*finder)), describe(expected));
    }

    // Text of about two megabytes: the scans cross their windows, backward reading crosses its
    // chunks and HTML searches resume from the places earlier ones recorded.
    void longDocuments_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("way");
        QTest::newRow("text") << "UTF-8" << "long.txt" << int(TextFinder::Way::ByteScan);
        QTest::newRow("html") << "UTF-8" << "long.html" << int(TextFinder::Way::MarkupScan);
        QTest::newRow("html in a code page") << "CP 1252" << "long1252.html" << int(TextFinder::Way::MarkupScan);
        QTest::newRow("utf-16") << "UTF-16LE" << "long16.txt" << int(TextFinder::Way::Decoding);
    }
    void longDocuments()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, name);
        QFETCH(int, way);
        const bool html = name.endsWith(QLatin1String(".html"));
        const QByteArray bytes = encode(generatedText(3, 1100000, html), encoding);
        auto finder = finderFor(name, bytes, encoding);
        QCOMPARE(int(finder->way()), way);
        std::vector<findmodel::Char> shown;
        modelHits(*finder, FindQuery(), &shown);
        for (const QString &text : {QStringLiteral("quick brown"), QStringLiteral("café k")}) {
            const FindQuery query(text, FindOptions{false, true});
            finder->setQuery(query);
            const Hits expected = findmodel::hits(shown, query);
            QVERIFY(expected.size() > 20);
            QCOMPARE(describe(allHits(*finder)), describe(expected));
            Hits tail(expected.end() - 20, expected.end());
            std::reverse(tail.begin(), tail.end());
            QCOMPARE(describe(backwardHits(*finder, 20)), describe(tail));
            // From places all over the file, forward and back.
            QRandomGenerator rng(9);
            for (int i = 0; i < 10; ++i) {
                const qint64 at = rng.bounded(quint32(bytes.size()));
                auto after = std::lower_bound(expected.begin(), expected.end(), at,
                                              [](const Hit &h, qint64 p) { return h.first < p; });
                Hit hit;
                QCOMPARE(finder->findForward(at, finder->size(), &hit) == TextFinder::Result::Found,
                         after != expected.end());
                if (after != expected.end())
                    QCOMPARE(describe({hit}), describe({*after}));
                QCOMPARE(finder->findBackward(at, 0, &hit) == TextFinder::Result::Found, after != expected.begin());
                if (after != expected.begin())
                    QCOMPARE(describe({hit}), describe({*std::prev(after)}));
            }
        }
    }

    // The finder against the plain way over generated documents in every way of reading.
    void agreesWithPlainDecoding_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("crIsLineFeed");
        QTest::addColumn<bool>("stripNewlines");
        QTest::newRow("utf-8 text") << "UTF-8" << "g.txt" << false << false;
        QTest::newRow("utf-8 html") << "UTF-8" << "g.html" << false << false;
        QTest::newRow("utf-8 html, line feeds as spaces") << "UTF-8" << "gs.html" << true << true;
        QTest::newRow("CP 1252 html") << "CP 1252" << "g1252.html" << false << false;
        QTest::newRow("ISO 8859-7 text") << "ISO 8859-7" << "g7.txt" << true << false;
        QTest::newRow("utf-16be html") << "UTF-16BE" << "g16.html" << false << false;
        QTest::newRow("Shift_JIS html") << "Shift_JIS" << "gj.html" << false << false;
    }
    void agreesWithPlainDecoding()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, name);
        QFETCH(bool, crIsLineFeed);
        QFETCH(bool, stripNewlines);
        ShownRules rules;
        rules.crIsLineFeed = crIsLineFeed;
        rules.stripNewlines = stripNewlines;
        QRandomGenerator rng(17);
        for (quint32 seed = 1; seed <= 4; ++seed) {
            const bool html = name.endsWith(QLatin1String(".html"));
            const QByteArray bytes = encode(generatedText(seed, 2000 + 3000 * int(seed), html), encoding);
            auto finder = finderFor(name, bytes, encoding, false, rules);
            QVERIFY(finder);
            std::vector<findmodel::Char> shown;
            modelHits(*finder, FindQuery(), &shown);
            for (int i = 0; i < 8; ++i) {
                // "aa" gives overlapping hits in "aaa", forward and back.
                const QString text = i == 0 ? QStringLiteral("caf\u00E9") : i == 1 ? QStringLiteral("aa") : queryFrom(shown, rng);
                const FindQuery query(text, FindOptions{rng.bounded(3) == 0, i != 1 && rng.bounded(2) == 0});
                finder->setQuery(query);
                const Hits expected = findmodel::hits(shown, query);
                const QString context = QStringLiteral("seed %1, query \"%2\"").arg(seed).arg(text);
                QVERIFY2(describe(allHits(*finder)) == describe(expected), qPrintable(context));
                // Each step back reads at least 16 KB again: the last hits are enough.
                Hits reversed(expected.end() - std::min<ptrdiff_t>(ptrdiff_t(expected.size()), 12), expected.end());
                std::reverse(reversed.begin(), reversed.end());
                QVERIFY2(describe(backwardHits(*finder, 12)) == describe(reversed), qPrintable(context));
            }
        }
    }

    // A place the view reads from is taken as it is: the hits after it are the same as reading from
    // the start finds, and text the view would show from there is found.
    void readingPlaces()
    {
        QByteArray html = "<html><body>";
        for (int i = 0; i < 3000; ++i)
            html += "<p>a <b>quick</b> brown fox</p>\n";
        const qint64 place = html.size();
        html += "<p>the quick\nbrown fox</p><!-- quick brown -->";
        const qint64 inComment = html.size() - 16;
        auto finder = finderFor(QStringLiteral("places.html"), html, QStringLiteral("UTF-8"));
        const FindQuery query(QStringLiteral("quick brown"), {});
        finder->setQuery(query);
        const Hits expected = modelHits(*finder, query);
        finder->addReadingPlace(place, false);
        Hits after;
        finder->findAll(place, finder->size(), [&](const Hit &h) {
            after.push_back(h);
            return true;
        });
        QCOMPARE(describe(after), describe(Hits(expected.end() - 1, expected.end())));
        finder->addReadingPlace(inComment, false);
        Hit hit;
        QCOMPARE(finder->findForward(inComment, finder->size(), &hit), TextFinder::Result::Found);
        QCOMPARE(hit.first, inComment + 1);
    }

    void longSearchesReportAndStop()
    {
        auto finder = finderFor(QStringLiteral("big.txt"), QByteArray(6 << 20, 'x'), QStringLiteral("UTF-8"));
        finder->setQuery(FindQuery(QStringLiteral("y"), {}));
        QList<qint64> reports;
        FindControl control;
        control.progress = [&](qint64 done, qint64 total) {
            QCOMPARE(total, finder->size());
            reports << done;
        };
        Hit hit;
        QCOMPARE(finder->findForward(0, finder->size(), &hit, control), TextFinder::Result::NotFound);
        QVERIFY(reports.size() >= 3);
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
        control.cancelled = [&] { return reports.size() > 2; };
        reports.clear();
        QCOMPARE(finder->findBackward(finder->size(), 0, &hit, control), TextFinder::Result::Cancelled);
        QCOMPARE(reports.size(), 3);
    }
};

QTEST_MAIN(tst_TextFinder)
#include "tst_textfinder.moc"
