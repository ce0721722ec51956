// Encoding detection: texts saved in a code page, a platform codec or a UTF (made here with the
// platform codecs) are detected and read back unchanged through the positioned reader; the rules
// take turns in their order; every answer can be decoded.
#include "EncodingDetector.h"
#include "PositionedReader.h"
#include "TestFiles.h"
#include "toUnicode.h"

#include <QRegularExpression>
#include <QTextCodec>
#include <QtTest>

using Rule = EncodingDetector::Rule;
using Decoding = EncodingDetector::Decoding;
using Mode = PositionedReader::Mode;

namespace {
// A paragraph of prose in one script, from prose.txt's "name TAB text" lines.
QString prose(const QString &name)
{
    static const QStringList lines = QString::fromUtf8(readFile(FOLIUM_TEST_DATA "/prose.txt")).split('\n');
    const QStringList found = lines.filter(QRegularExpression('^' + name + '\t'));
    return found.isEmpty() ? QString() : found.first().section('\t', 1);
}

QByteArray encode(const QString &text, const char *codec)
{
    QTextCodec *c = QTextCodec::codecForName(codec);
    return c ? c->fromUnicode(text) : QByteArray();
}
} // namespace

class tst_EncodingDetector : public QObject
{
    Q_OBJECT

    TestFolder folder;
    EncodingDetector detector;

    // The file read back as the view would: through the reader, from the byte-order mark on, with
    // the built-in table where one was chosen. Null when the result names nothing that decodes.
    QString readBack(const QByteArray &bytes, const EncodingDetector::Result &result)
    {
        const QMap<Decoding, Mode> modes{{Decoding::CodePage, Mode::Bytes}, {Decoding::Utf8, Mode::Utf8},
                                         {Decoding::Utf16LE, Mode::Utf16LE},
                                         {Decoding::Utf16BE, Mode::Utf16BE}};
        PositionedReader reader;
        toUnicode table;
        QTextCodec *codec = QTextCodec::codecForName(result.decoderName.toLatin1());
        if (result.decoding == Decoding::CodePage)
            table.setCodec(result.decoderName);
        if (!reader.open(folder.write(QString::number(qHash(bytes)), bytes)).isOk()
            || (result.decoding == Decoding::CodePage && table.index() < 0)
            || (result.decoding == Decoding::Codec && !codec))
            return {};
        if (codec && result.decoding == Decoding::Codec)
            reader.setCodec(codec);
        else
            reader.setMode(modes[result.decoding]);
        reader.seek(reader.bomLength());
        QString text(0, QChar()); // empty but not null
        while (!reader.atEnd()) {
            char32_t c = reader.readChar();
            if (table.index() >= 0)
                c = table.getQChar(uchar(c)).unicode();
            text += QString::fromUcs4(&c, 1);
        }
        return text;
    }

private slots:
    void detect_data()
    {
        QTest::addColumn<QString>("text"); // what reads back; null: not checked
        QTest::addColumn<QByteArray>("sample");
        QTest::addColumn<bool>("markup");
        QTest::addColumn<QString>("expected"); // display names that are right, separated by "|"
        QTest::addColumn<int>("rule");
        const int mark = int(Rule::ByteOrderMark), declared = int(Rule::Declaration);
        const int utf8 = int(Rule::ValidUtf8), detected = int(Rule::Statistics);
        // One text for each kind of answer: detected, and read back unchanged.
        struct Text { const char *text, *codec, *expected; int rule; };
        const Text texts[] = {
            {"Russian", "windows-1251", "windows-1251", detected}, {"Russian", "KOI8-R", "koi8-r", detected},
            {"Russian", "ISO-8859-5", "iso-8859-5", detected},
            {"Russian", "IBM866", "ibm866", detected}, // a platform codec, not a table
            {"Greek", "windows-1253", "windows-1253|iso-8859-7", detected},
            {"Greek", "ISO-8859-7", "iso-8859-7|windows-1253", detected},
            {"French", "windows-1252", "windows-1252", detected},
            {"Czech", "windows-1250", "windows-1250", detected},
            {"Czech", "ISO-8859-2", "iso-8859-2", detected},
            {"Hebrew", "windows-1255", "windows-1255|iso-8859-8", detected},
            {"Turkish", "windows-1254", "windows-1254|iso-8859-9", detected},
            {"Turkish", "ISO-8859-9", "iso-8859-9|windows-1254", detected},
            {"Japanese", "Shift_JIS", "shift_jis", detected}, {"Japanese", "EUC-JP", "euc-jp", detected},
            {"Chinese", "GB18030", "gb18030", detected}, {"Russian", "UTF-8", "utf-8", utf8},
            {"Japanese", "UTF-8", "utf-8", utf8}, {"English", "US-ASCII", "utf-8", utf8},
            {"Greek", "UTF-16LE", "utf-16le", mark}, {"Chinese", "UTF-16BE", "utf-16be", mark},
        };
        for (const Text &r : texts) {
            const bool littleEndian = QByteArray(r.codec) == "UTF-16LE";
            const char *bom = r.rule != mark ? "" : littleEndian ? "\xFF\xFE" : "\xFE\xFF";
            QTest::addRow("%s %s", r.text, r.codec)
                << prose(r.text) << bom + encode(prose(r.text), r.codec) << false << r.expected << r.rule;
        }
        const QByteArray russian = prose("Russian").toUtf8();
        const QByteArray russian1251 = encode(prose("Russian"), "windows-1251");
        QTest::newRow("UTF-8 with mark") << prose("Russian") << "\xEF\xBB\xBF" + russian << false << "utf-8"
                                         << mark;
        // A sample cut in the middle of a character by its end is still UTF-8.
        const QByteArray cut = russian.left(russian.indexOf("шёл") + 1);
        QTest::newRow("UTF-8 cut") << QString() << cut << false << "utf-8" << utf8;

        // Declarations in HTML and XML beat the other rules except a byte-order mark; what is not one
        // leaves the Russian windows-1251 text that follows to the statistics.
        struct Head { const char *name; QByteArray head; const char *expected; int rule; };
        const Head heads[] = {
            {"meta charset", "<html><head><meta charset=\"koi8-r\">", "koi8-r", declared},
            {"unquoted, capitals", "<HTML><HEAD><META CHARSET=KOI8-R>", "koi8-r", declared},
            {"single quotes, slash", "<meta charset='windows-1253'/>", "windows-1253", declared},
            {"http-equiv", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">",
             "windows-1250", declared},
            {"content first, no space",
             "<meta content='text/html;charset=iso-8859-2' http-equiv=content-type>", "iso-8859-2", declared},
            {"quoted in content", "<meta http-equiv=content-type content='text/html; charset=\"koi8-r\"'>",
             "koi8-r", declared},
            {"a later meta", "<meta name=author content=x><title>a > b</title>\n<meta charset=koi8-r>",
             "koi8-r", declared},
            {"Latin-1 as windows-1252", "<meta charset=ISO-8859-1>", "windows-1252", declared},
            {"platform codec", "<meta charset=Shift_JIS>", "shift_jis", declared},
            {"UTF-16 read as ASCII", "<meta charset=utf-16>", "utf-8", declared},
            {"xml", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><doc>", "koi8-r", declared},
            {"xml before meta", "<?xml version=\"1.0\" encoding=\"koi8-r\"?><meta charset=\"windows-1253\">",
             "koi8-r", declared},
            {"unknown xml name, meta", "<?xml version=\"1.0\" encoding=\"nonsense\"?><meta charset=koi8-u>",
             "koi8-u", declared},
            {"content without http-equiv", "<meta content=\"text/html; charset=koi8-r\">", "windows-1251",
             detected},
            {"in a comment", "<!-- <meta charset=\"koi8-r\"> -->", "windows-1251", detected},
            {"not meta", "<metadata charset=koi8-r>", "windows-1251", detected},
            {"unknown name", "<meta charset=\"no-such-charset\">", "windows-1251", detected},
            {"empty name", "<meta charset=\"\">", "windows-1251", detected},
            {"xml not at the start", "<doc><?xml version=\"1.0\" encoding=\"koi8-r\"?>", "windows-1251",
             detected},
            {"unterminated", "<meta charset=\"koi8-r", "windows-1251", detected},
            // a mark beats a declaration, and ends the look at the sample
            {"mark, meta", "\xEF\xBB\xBF<meta charset=koi8-r>", "utf-8", mark},
            // not UTF-8: overlong, surrogate, past U+10FFFF
            {"overlong", "abc\xC0\xAF", "windows-1251", detected},
            {"surrogate", "abc\xED\xA0\x80", "windows-1251", detected},
            {"past U+10FFFF", "abc\xF4\x90\x80\x80", "windows-1251", detected},
            {"long ASCII head", "<html><head><style>" + QByteArray(30000, ' ') + "</style></head><body>",
             "windows-1251", detected},
        };
        for (const Head &r : heads)
            QTest::newRow(r.name) << QString() << r.head + russian1251 << true << r.expected << r.rule;
        QTest::newRow("plain text") << QString() << "<meta charset=\"koi8-r\">" + russian1251 << false
                                    << "windows-1251" << detected;
        QTest::newRow("declaration beats UTF-8")
            << QString() << "<meta charset=windows-1251>" + russian << true << "windows-1251" << declared;
        // A full sample of one code page still reads so.
        QByteArray full;
        while (full.size() < EncodingDetector::SampleSize)
            full += encode(prose("Greek"), "windows-1253");
        QTest::newRow("full sample") << QString() << full << false << "iso-8859-7" << detected;
        // Only the first SampleSize bytes count: a declaration after them is not seen.
        const QByteArray late = QByteArray(EncodingDetector::SampleSize, ' ') + "<meta charset=koi8-r>";
        QTest::newRow("declaration too late") << QString() << late << true << "utf-8" << utf8;
        QTest::newRow("declaration in time") << QString() << late.mid(100) << true << "koi8-r" << declared;
        // Bytes the detector cannot place fall back to the locale's code page.
        const auto locale = EncodingDetector::resolve(QTextCodec::codecForLocale()->name());
        QTest::newRow("binary") << QString() << QByteArray("\x80\x81\x82\x83\x84\x85") << true
                                << (locale ? locale->displayName : "utf-8") << int(Rule::Locale);
    }

    void detect()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sample);
        QFETCH(bool, markup);
        QFETCH(QString, expected);
        QVERIFY(!sample.isEmpty());
        const EncodingDetector::Result result = detector.detect(sample, markup);
        QVERIFY2(expected.split('|').contains(result.displayName), qPrintable(result.displayName));
        QTEST(int(result.rule), "rule");
        if (!text.isNull())
            QCOMPARE(readBack(sample, result), text);
    }

    // Whatever the name, an answer names a table, UTF-8/16 or a codec that exists.
    void everyAnswerDecodes()
    {
        QList<QByteArray> labels = QTextCodec::availableCodecs();
        // the detector's own answers, our table names, and nonsense
        for (const char *label : {"ASCII", "BIG5", "EUC-KR", "EUC-TW", "GB18030", "HZ-GB-2312", "IBM852",
                                  "IBM855", "IBM866", "ISO-2022-CN", "ISO-2022-JP", "ISO-2022-KR",
                                  "ISO-8859-16", "MAC-CYRILLIC", "MAC-CENTRALEUROPE", "TIS-620", "UTF-32",
                                  "VISCII", "X-ISO-10646-UCS-4-3412", "CP 1251", "ISO 8859-8-I", "PT 154", "",
                                  "-", "x-user-defined"})
            labels << QByteArray(label);
        for (const QByteArray &label : labels) {
            const std::optional<EncodingDetector::Result> r = EncodingDetector::resolve(label);
            QVERIFY2(!r || !readBack("abc", *r).isNull(), label.constData());
            QVERIFY(!r || (!r->displayName.isEmpty() && r->displayName == r->displayName.toLower()));
        }
        for (const char *name : toUnicode::getCodecList().toLatin1().split(','))
            QVERIFY2(EncodingDetector::resolve(name), name);
    }
};

QTEST_APPLESS_MAIN(tst_EncodingDetector)
#include "tst_encodingdetector.moc"
