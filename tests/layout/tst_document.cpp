// Opening documents: the kind by extension, failures with their messages, prepared copies, and
// nominal page numbers.
#include "Document.h"
#include "PalmBuilder.h"
#include "ZipBuilder.h"
#include "TestFiles.h"

#include <QTextCodec>
#include <QtTest>

class tst_Document : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // HTML by the name (or a gzip file's inner name), by what the file says, or by the name of the
    // zip member holding it; any document reads as HTML on request, keeping its kind.
    void kind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readAllAsHtml");
        QTest::addColumn<bool>("html");
        auto row = [](const char *tag, const char *name, const QByteArray &text, bool html, bool asHtml = 0) {
            QTest::newRow(tag) << QString(name) << text << asHtml << html;
        };
        row("upper-case HTM", "a.b.HTM", "hello", true);
        row("xhtml", "c.XHT", "hello", true);
        row("text read as html", "notes.txt", "hello", false, true);
        row("no extension", "README", "hello", false);
        row("uncompressed gzip reads as it is", "plain.gz", "hello", false);
        row("html by its inner name", "manual.html.gz", "hello", true);
        row("doctype after a mark and spaces", "a.txt", "\xEF\xBB\xBF \n<!doctype HTML><p>", true);
        row("html element", "b", "<HTML lang=en>", true);
        row("xml with an html element", "c.txt", "<?xml version='1.0'?>\n<html xmlns='x'>", true);
        row("other xml", "d.txt", "<?xml version='1.0'?><svg/>", false);
        row("utf-16", "e.txt", QByteArray("\xFF\xFE<\0h\0t\0m\0l\0>\0", 14), true);
        row("zip member named xhtml", "f.zip",
            zipArchive({{"META-INF/", {}, false, 0x10}, {"OEBPS/chapter.xhtml", "<p>a</p>"}}), true);
        row("zip member of text", "g.zip", zipArchive({{"notes.txt", "<p>a</p>"}}), false);
    }
    void kind()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readAllAsHtml);
        QFETCH(bool, html);
        TestFolder folder;
        Document document;
        QVERIFY(document.open(folder.write(name, bytes)).isOk() && document.isOpen());
        document.setReadAsHtml(readAllAsHtml);
        QCOMPARE(document.kind() == SourceKind::Html, html);
        QCOMPARE(document.isHtml(), html || readAllAsHtml);
        QVERIFY(bytes != "hello" || document.readDecodedChar() == U'h');
    }

    void brokenArchivesSayWhy()
    {
        for (const auto &[name, message] : QList<QPair<QString, QString>>{
                 {"bad.zip", "Error openning .zip file!"}, {"bad.pdb", "Unsupported Palm Document!"}}) {
            TestFolder folder;
            Document document;
            QVERIFY(document.open(folder.write(QStringLiteral("ok.txt"), "readable")).isOk());
            const Status status = document.open(folder.write(name, "this is not an archive of any kind"));
            QCOMPARE(QString::fromStdString(status.message()), message);
            QVERIFY(!status.detail().empty() && !document.isOpen());
        }
    }

    // "Automatic" decodes by what the bytes say, Palm books by their converted text; a name
    // chosen by hand keeps meaning exactly that: a built-in table, a platform codec, UTF-8, and
    // bytes as Latin-1 for a name that is none of these.
    void encodingFoundByItself_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("first");
        const QString russian = QString::fromUtf8("Мороз и солнце; день чудесный! Ещё ты дремлешь, друг прелестный. ").repeated(20);
        auto in = [&](const char *codec) { return QTextCodec::codecForName(codec)->fromUnicode(russian); };
        QTest::newRow("windows-1251") << "r.txt" << in("windows-1251") << "Automatic" << "windows-1251" << "Мороз";
        QTest::newRow("utf-16 with a mark") << "u.txt" << QByteArray("\xFF\xFE") + in("UTF-16LE") << "Automatic" << "utf-16le"
                                            << QString::fromUtf8("\uFEFFМороз");
        QTest::newRow("declared in html") << "d.html" << "<meta charset=koi8-r><p>" + in("KOI8-R") << "Automatic"
                                          << "koi8-r" << "<meta";
        QTest::newRow("palm book") << "p.pdb" << PalmBuilder::palmDocBook(in("windows-1251"), 2) << "Automatic"
                                   << "windows-1251" << "Мороз";
        for (const char *name : {"CP 1251", "ISO-8859-5"}) // a built-in table, a platform codec
            QTest::newRow(name) << "t.txt" << in(QByteArray(name) == "CP 1251" ? "windows-1251" : name)
                                << name << name << "Мороз";
        QTest::newRow("unknown name") << "n.txt" << QByteArray("caf\xe9 ") << "no-such" << "no-such"
                                      << "café";
        QTest::newRow("UTF-8 chosen by hand") << "h.txt" << in("windows-1251") << "UTF-8" << "UTF-8" << "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD";
    }
    void encodingFoundByItself()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, encoding);
        QFETCH(QString, shown);
        QFETCH(QString, first);
        TestFolder folder;
        Document document;
        QVERIFY(document.open(folder.write(name, bytes)).isOk());
        document.setEncoding(encoding);
        QCOMPARE(document.encodingShown(), shown);
        QString word;
        for (char32_t c; word.size() < first.size() && (c = document.readDecodedChar()) != U' ';)
            word += QString::fromUcs4(&c, 1);
        QCOMPARE(word, first);
    }

    void preparedCopyOutlivesTheDocument()
    {
        TestFolder folder;
        QString copy;
        {
            Document document;
            QVERIFY(document.open(folder.write(QStringLiteral("kept.gz"), qCompress("x").mid(4))).isOk());
            copy = document.reader().fileName();
            QVERIFY(copy != folder.filePath(QStringLiteral("kept.gz")));
        }
        QVERIFY(QFile::exists(copy));  // kept for the next start, which reuses it
        Document document;
        QVERIFY(document.open(folder.write(QStringLiteral("kept.gz"), qCompress("x").mid(4))).isOk());
        document.close();
        QVERIFY(!QFile::exists(copy));  // closing deletes the copy it made
    }

    void pageNumbersWithoutOverflow()
    {
        struct Row { qint64 fileSize, position, page; };
        const qint64 huge = qint64(1) << 62; // position x pages passes 63 bits
        for (const Row &r : {Row{6000000000, 5999999999, 3000000}, {huge, huge / 2, huge / 2000 / 2 + 1},
                             {0, 0, 1}, {1999, 1500, 1}, {100000, 2000, 2}})
            QCOMPARE(Document::pageNumber(r.position, r.fileSize), r.page);
    }
};

QTEST_MAIN(tst_Document)
#include "tst_document.moc"
