// Encoding detection: one text per script saved in the encodings its readers use (made here with
// the platform codecs) is detected and reads back unchanged through the positioned reader; the
// rules take turns in their order; every answer can be decoded.
#include "EncodingDetector.h"
#include "PositionedReader.h"
#include "toUnicode.h"

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using Rule = EncodingDetector::Rule;
using Decoding = EncodingDetector::Decoding;

namespace {

const char *const Russian =
    "Осенью в нашем городе часто идут дожди, и улицы становятся тихими. Люди возвращаются домой "
    "пораньше, зажигают лампы и читают книги у окна. Старый библиотекарь рассказывал мне, что лучшие "
    "истории пишутся именно в такие вечера, когда ветер стучит в стекло, а чай остывает на столе. Я "
    "помню, как впервые открыл толстый роман о путешествии через всю страну: поезд шёл на восток, за "
    "окном мелькали леса, реки и маленькие станции с деревянными вокзалами.";
const char *const Greek =
    "Το φθινόπωρο στην πόλη μας βρέχει συχνά και οι δρόμοι γίνονται ήσυχοι. Οι άνθρωποι γυρίζουν νωρίς "
    "στο σπίτι, ανάβουν τις λάμπες και διαβάζουν βιβλία δίπλα στο παράθυρο. Ο γέρος βιβλιοθηκάριος μου "
    "έλεγε ότι οι καλύτερες ιστορίες γράφονται τέτοια βράδια, όταν ο άνεμος χτυπά το τζάμι και το τσάι "
    "κρυώνει πάνω στο τραπέζι.";
const char *const French =
    "En automne, il pleut souvent dans notre ville et les rues deviennent silencieuses. Les gens "
    "rentrent tôt à la maison, allument les lampes et lisent près de la fenêtre. Le vieux bibliothécaire "
    "me disait que les meilleures histoires s’écrivent pendant ces soirées-là, quand le vent frappe à la "
    "vitre et que le thé refroidit sur la table. Je me souviens d’un roman épais où un garçon traversait "
    "le pays à pied, découvrant des villages, des rivières et des forêts où l’été ne finissait jamais.";
// Only what Latin-1 can hold: straight apostrophes.
const char *const FrenchLatin1 =
    "En automne, il pleut souvent dans notre ville et les rues deviennent silencieuses. Les gens "
    "rentrent tôt à la maison et lisent près de la fenêtre. Le vieux bibliothécaire me disait que les "
    "meilleures histoires s'écrivent pendant ces soirées-là, quand le vent frappe à la vitre. J'ai "
    "encore en mémoire ce roman épais où un garçon traversait le pays à pied, découvrant des villages, "
    "des rivières et des forêts.";
const char *const Czech =
    "Na podzim u nás ve městě často prší a ulice ztichnou. Lidé se vracejí domů dříve, rozsvěcují lampy "
    "a čtou knihy u okna. Starý knihovník mi říkal, že nejlepší příběhy se píší právě za takových "
    "večerů, kdy vítr buší do skla a čaj na stole pomalu chladne. Pamatuji si, jak jsem poprvé otevřel "
    "tlustý román o cestě přes celou zemi: vlak jel na východ a za oknem se míhaly lesy, řeky a malá "
    "nádraží.";
const char *const Hebrew =
    "בסתיו יורד בעירנו גשם לעתים קרובות והרחובות נעשים שקטים. אנשים חוזרים הביתה מוקדם, מדליקים מנורות "
    "וקוראים ספרים ליד החלון. הספרן הזקן סיפר לי שהסיפורים הטובים ביותר נכתבים בערבים כאלה, כשהרוח דופקת "
    "על הזכוכית והתה מתקרר על השולחן. אני זוכר איך פתחתי בפעם הראשונה רומן עבה על מסע לאורך כל הארץ.";
const char *const Turkish =
    "Sonbaharda şehrimizde sık sık yağmur yağar ve sokaklar sessizleşir. İnsanlar eve erken döner, "
    "lambaları yakar ve pencerenin yanında kitap okur. Yaşlı kütüphaneci bana en güzel hikâyelerin tam "
    "da böyle akşamlarda yazıldığını söylerdi; rüzgâr cama vururken çay masanın üstünde soğurdu. Ülkeyi "
    "baştan başa geçen bir yolculuğu anlatan kalın bir romanı ilk açtığım günü hâlâ hatırlıyorum.";
const char *const Japanese =
    "秋になると、私たちの町ではよく雨が降り、通りは静かになります。人々は早めに家に帰り、明かりをつけ"
    "て窓辺で本を読みます。年老いた図書館員は、一番良い物語はこのような夜に書かれるのだと私に話してく"
    "れました。風がガラスをたたき、テーブルの上でお茶が冷めていく夜です。国じゅうを旅する長い小説を初"
    "めて開いた日のことを、今でもよく覚えています。";
const char *const Chinese =
    "秋天的时候，我们的城市经常下雨，街道变得很安静。人们早早回家，点亮灯，在窗边读书。老图书管理员告"
    "诉我，最好的故事往往是在这样的夜晚写成的：风敲打着玻璃，桌上的茶慢慢变凉。我还记得第一次打开一本"
    "厚厚的小说，讲的是一次穿越全国的旅行，火车一路向东，窗外闪过森林、河流和小小的车站。";
const char *const English =
    "In autumn it often rains in our town and the streets grow quiet. People come home early, light the "
    "lamps and read by the window.";

QByteArray encode(const QString &text, const char *codec)
{
    QTextCodec *c = QTextCodec::codecForName(codec);
    return c ? c->fromUnicode(text) : QByteArray();
}

} // namespace

class tst_EncodingDetector : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    EncodingDetector detector;

    // The file read back as the view would: through the reader, from the byte-order mark on, with
    // the built-in table where one was chosen. Null when the result names nothing that decodes.
    QString readBack(const QByteArray &bytes, const EncodingDetector::Result &result)
    {
        const QString path = dir.filePath(QString::number(qHash(bytes)));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        f.close();
        PositionedReader reader;
        if (!reader.open(path).isOk())
            return {};
        toUnicode table;
        switch (result.decoding) {
        case Decoding::CodePage:
            table.setCodec(result.decoderName);
            if (table.index() < 0)
                return {};
            reader.setMode(PositionedReader::Mode::Bytes);
            break;
        case Decoding::Utf8:
            reader.setMode(PositionedReader::Mode::Utf8);
            break;
        case Decoding::Utf16LE:
            reader.setMode(PositionedReader::Mode::Utf16LE);
            break;
        case Decoding::Utf16BE:
            reader.setMode(PositionedReader::Mode::Utf16BE);
            break;
        case Decoding::Codec:
            if (QTextCodec *codec = QTextCodec::codecForName(result.decoderName.toLatin1()))
                reader.setCodec(codec);
            else
                return {};
            break;
        }
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
    void sameTextManyEncodings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("expected"); // display names that are right, separated by "|"
        QTest::addColumn<int>("rule");
        struct Row { const char *text, *codec, *expected; Rule rule; };
        const Row rows[] = {
            {Russian, "windows-1251", "windows-1251", Rule::Statistics},
            {Russian, "KOI8-R", "koi8-r", Rule::Statistics},
            {Russian, "ISO-8859-5", "iso-8859-5", Rule::Statistics},
            {Russian, "IBM866", "ibm866", Rule::Statistics}, // a platform codec, not a table
            {Greek, "windows-1253", "windows-1253|iso-8859-7", Rule::Statistics},
            {Greek, "ISO-8859-7", "iso-8859-7|windows-1253", Rule::Statistics},
            {French, "windows-1252", "windows-1252", Rule::Statistics},
            {FrenchLatin1, "ISO-8859-1", "windows-1252", Rule::Statistics}, // its superset
            {Czech, "windows-1250", "windows-1250", Rule::Statistics},
            {Czech, "ISO-8859-2", "iso-8859-2", Rule::Statistics},
            {Hebrew, "windows-1255", "windows-1255|iso-8859-8", Rule::Statistics},
            {Turkish, "windows-1254", "windows-1254|iso-8859-9", Rule::Statistics},
            {Turkish, "ISO-8859-9", "iso-8859-9|windows-1254", Rule::Statistics},
            {Japanese, "Shift_JIS", "shift_jis", Rule::Statistics},
            {Japanese, "EUC-JP", "euc-jp", Rule::Statistics},
            {Chinese, "GB18030", "gb18030", Rule::Statistics},
            {Russian, "UTF-8", "utf-8", Rule::ValidUtf8},
            {Japanese, "UTF-8", "utf-8", Rule::ValidUtf8},
            {English, "US-ASCII", "utf-8", Rule::ValidUtf8},
            {Greek, "UTF-16LE", "utf-16le", Rule::ByteOrderMark},
            {Chinese, "UTF-16BE", "utf-16be", Rule::ByteOrderMark},
        };
        for (const Row &r : rows) {
            const QString text = QString::fromUtf8(r.text);
            QByteArray bytes = encode(text, r.codec);
            if (r.rule == Rule::ByteOrderMark)
                bytes.prepend(QByteArray(r.codec) == "UTF-16LE" ? "\xFF\xFE" : "\xFE\xFF");
            const QString name = QString::fromLatin1(r.codec) + " " + text.left(12);
            QTest::newRow(qPrintable(name)) << text << bytes << QString::fromLatin1(r.expected)
                                            << int(r.rule);
        }
        // UTF-8 with its mark, and the same one cut in the middle of a character by the sample's end.
        const QByteArray utf8 = QByteArray(Russian);
        QTest::newRow("UTF-8 with mark") << QString::fromUtf8(Russian) << "\xEF\xBB\xBF" + utf8 << "utf-8"
                                         << int(Rule::ByteOrderMark);
        QTest::newRow("UTF-8 cut") << QString() << utf8.left(utf8.indexOf("шёл") + 1) << "utf-8"
                                   << int(Rule::ValidUtf8);
    }

    void sameTextManyEncodings()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, expected);
        QFETCH(int, rule);
        QVERIFY(!bytes.isEmpty());
        const EncodingDetector::Result result = detector.detect(bytes, false);
        QVERIFY2(expected.split('|').contains(result.displayName), qPrintable(result.displayName));
        QCOMPARE(int(result.rule), rule);
        if (!text.isNull())
            QCOMPARE(readBack(bytes, result), text);
    }

    // Declarations in HTML and XML beat the other rules except a byte-order mark.
    void declarations_data()
    {
        QTest::addColumn<QByteArray>("head"); // the body that follows is Russian in windows-1251
        QTest::addColumn<bool>("markup");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("rule");
        const int declared = int(Rule::Declaration), detected = int(Rule::Statistics);
        struct Row { const char *name, *head; bool markup; const char *expected; int rule; };
        const Row rows[] = {
            {"meta charset", "<html><head><meta charset=\"koi8-r\">", true, "koi8-r", declared},
            {"unquoted, capitals", "<HTML><HEAD><META CHARSET=KOI8-R>", true, "koi8-r", declared},
            {"single quotes, slash", "<meta charset='windows-1253'/>", true, "windows-1253", declared},
            {"http-equiv", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1250\">",
             true, "windows-1250", declared},
            {"content first, no space",
             "<meta content='text/html;charset=iso-8859-2' http-equiv=content-type>", true, "iso-8859-2", declared},
            {"quoted in content", "<meta http-equiv=content-type content='text/html; charset=\"koi8-r\"'>",
             true, "koi8-r", declared},
            {"a later meta", "<meta name=author content=x><title>a > b</title>\n<meta charset=koi8-r>", true,
             "koi8-r", declared},
            {"Latin-1 as windows-1252", "<meta charset=ISO-8859-1>", true, "windows-1252", declared},
            {"platform codec", "<meta charset=Shift_JIS>", true, "shift_jis", declared},
            {"UTF-16 read as ASCII", "<meta charset=utf-16>", true, "utf-8", declared},
            {"xml", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><doc>", true, "koi8-r", declared},
            {"xml, single quotes", "\n<?xml version='1.0' encoding='iso-8859-5' standalone='yes'?>", true,
             "iso-8859-5", declared},
            {"xml before meta", "<?xml version=\"1.0\" encoding=\"koi8-r\"?><meta charset=\"windows-1253\">",
             true, "koi8-r", declared},
            {"unknown xml name, meta", "<?xml version=\"1.0\" encoding=\"nonsense\"?><meta charset=koi8-u>",
             true, "koi8-u", declared},
            // not declarations: the detector decides
            {"content without http-equiv", "<meta content=\"text/html; charset=koi8-r\">", true,
             "windows-1251", detected},
            {"in a comment", "<!-- <meta charset=\"koi8-r\"> -->", true, "windows-1251", detected},
            {"not meta", "<metadata charset=koi8-r>", true, "windows-1251", detected},
            {"unknown name", "<meta charset=\"no-such-charset\">", true, "windows-1251", detected},
            {"empty name", "<meta charset=\"\">", true, "windows-1251", detected},
            {"plain text", "<meta charset=\"koi8-r\">", false, "windows-1251", detected},
            {"xml not at the start", "<doc><?xml version=\"1.0\" encoding=\"koi8-r\"?>", true, "windows-1251",
             detected},
            {"unterminated", "<meta charset=\"koi8-r", true, "windows-1251", detected},
        };
        for (const Row &r : rows)
            QTest::newRow(r.name) << QByteArray(r.head) << r.markup << QString::fromLatin1(r.expected)
                                  << r.rule;
    }

    void declarations()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, markup);
        QFETCH(QString, expected);
        QFETCH(int, rule);
        const QByteArray sample = head + encode(QString::fromUtf8(Russian), "windows-1251");
        const EncodingDetector::Result result = detector.detect(sample, markup);
        QCOMPARE(result.displayName, expected);
        QCOMPARE(int(result.rule), rule);
    }

    void precedence()
    {
        const QByteArray russian1251 = encode(QString::fromUtf8(Russian), "windows-1251");
        struct Row { QByteArray sample; const char *expected; Rule rule; };
        const Row rows[] = {
            // a declaration beats valid UTF-8
            {"<meta charset=windows-1251>" + QByteArray(Russian), "windows-1251", Rule::Declaration},
            // a mark beats a declaration
            {"\xEF\xBB\xBF<meta charset=koi8-r>" + russian1251, "utf-8", Rule::ByteOrderMark},
            {"\xFF\xFE" + encode("<?xml version=\"1.0\" encoding=\"iso-8859-7\"?>", "UTF-16LE"), "utf-16le",
             Rule::ByteOrderMark},
            {"\xFE\xFF" + encode("<meta charset=koi8-r>", "UTF-16BE"), "utf-16be", Rule::ByteOrderMark},
            // a mark ends the sample's look at it: what follows may be anything
            {"\xEF\xBB\xBF" + russian1251, "utf-8", Rule::ByteOrderMark},
            // not UTF-8: overlong, surrogate, past U+10FFFF, a stray continuation byte, 0xFF
            {"abc\xC0\xAF" + russian1251, "windows-1251", Rule::Statistics},
            {"abc\xED\xA0\x80" + russian1251, "windows-1251", Rule::Statistics},
            {"abc\xF4\x90\x80\x80" + russian1251, "windows-1251", Rule::Statistics},
        };
        // The detector looks past a long ASCII head, and a full sample of one code page still reads so.
        const QByteArray head = "<html><head><style>" + QByteArray(30000, ' ') + "</style></head><body>";
        QByteArray full;
        while (full.size() < EncodingDetector::SampleSize)
            full += encode(QString::fromUtf8(Greek), "windows-1253");
        QCOMPARE(detector.detect(head + russian1251, true).displayName, QStringLiteral("windows-1251"));
        QCOMPARE(detector.detect(full, false).displayName, QStringLiteral("iso-8859-7"));
        for (const Row &r : rows) {
            const EncodingDetector::Result result = detector.detect(r.sample, true);
            QCOMPARE(result.displayName, QString::fromLatin1(r.expected));
            QCOMPARE(int(result.rule), int(r.rule));
        }
        // Bytes the detector cannot place fall back to the locale's code page.
        const EncodingDetector::Result binary = detector.detect("\x80\x81\x82\x83\x84\x85", true);
        QCOMPARE(int(binary.rule), int(Rule::Locale));
        const auto locale = EncodingDetector::resolve(QTextCodec::codecForLocale()->name());
        QCOMPARE(binary.displayName, locale ? locale->displayName : QStringLiteral("utf-8"));
        // Only the first SampleSize bytes count: a declaration after them is not seen.
        const QByteArray late = QByteArray(EncodingDetector::SampleSize, ' ') + "<meta charset=koi8-r>";
        QCOMPARE(int(detector.detect(late, true).rule), int(Rule::ValidUtf8));
        QCOMPARE(int(detector.detect(late.mid(100), true).rule), int(Rule::Declaration));
    }

    // Whatever the name, an answer names a table, UTF-8/16 or a codec that exists.
    void everyAnswerDecodes()
    {
        QList<QByteArray> labels = QTextCodec::availableCodecs();
        // the detector's own answers, our table names, and nonsense
        for (const char *label : {"ASCII", "BIG5", "EUC-KR", "EUC-TW", "GB18030", "HZ-GB-2312", "IBM852",
                                  "IBM855", "IBM866", "ISO-2022-CN", "ISO-2022-JP", "ISO-2022-KR",
                                  "ISO-8859-16", "MAC-CYRILLIC", "MAC-CENTRALEUROPE", "TIS-620", "UTF-32", "VISCII",
                                  "X-ISO-10646-UCS-4-3412",
                                  "CP 1251", "ISO 8859-8-I", "PT 154", "", "-", "x-user-defined"})
            labels << QByteArray(label);
        int tables = 0;
        for (const QByteArray &label : labels) {
            const std::optional<EncodingDetector::Result> r = EncodingDetector::resolve(label);
            if (!r)
                continue;
            QVERIFY2(!readBack("abc", *r).isNull(), label.constData());
            QVERIFY(!r->displayName.isEmpty() && r->displayName == r->displayName.toLower());
            tables += r->decoding == Decoding::CodePage;
        }
        QVERIFY(tables > 26); // the tables are found under their usual names
        for (const char *name : toUnicode::getCodecList().toLatin1().split(','))
            QVERIFY2(EncodingDetector::resolve(name), name);
    }
};

QTEST_APPLESS_MAIN(tst_EncodingDetector)
#include "tst_encodingdetector.moc"
