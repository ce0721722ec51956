// Opening documents: the kind by extension, failures with their messages, prepared copies, and
// nominal page numbers.
#include "Document.h"
#include "TestFiles.h"

#include <QtTest>

class tst_Document : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void kindByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readAllAsHtml");
        QTest::addColumn<bool>("html");
        QTest::addColumn<SourceKind>("kind");
        QTest::newRow("upper-case HTM") << "Story.HTM" << false << true << SourceKind::Html;
        QTest::newRow("html") << "a.b.html" << false << true << SourceKind::Html;
        QTest::newRow("text read as html") << "notes.txt" << true << true << SourceKind::PlainText;
        QTest::newRow("plain text") << "notes.txt" << false << false << SourceKind::PlainText;
        QTest::newRow("no extension") << "README" << false << false << SourceKind::PlainText;
        QTest::newRow("uncompressed gzip reads as it is") << "plain.gz" << false << false << SourceKind::PlainText;
    }
    void kindByExtension()
    {
        QFETCH(QString, name);
        QFETCH(bool, readAllAsHtml);
        QFETCH(bool, html);
        QFETCH(SourceKind, kind);
        TestFolder folder;
        Document document;
        QVERIFY(document.open(folder.write(name, "hello")).isOk());
        document.setReadAsHtml(readAllAsHtml);
        QVERIFY(document.isOpen());
        QCOMPARE(document.isHtml(), html);
        QCOMPARE(document.kind(), kind);
        QCOMPARE(document.readDecodedChar(), char32_t(U'h'));
    }

    void brokenArchivesSayWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("zip") << "bad.zip" << "Error openning .zip file!";
        QTest::newRow("palm") << "bad.pdb" << "Unsupported Palm Document!";
        QTest::newRow("palm prc") << "BAD.PRC" << "Unsupported Palm Document!";
    }
    void brokenArchivesSayWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        TestFolder folder;
        Document document;
        QVERIFY(document.open(folder.write(QStringLiteral("ok.txt"), "readable")).isOk());
        const Status status = document.open(folder.write(name, "this is not an archive of any kind"));
        QCOMPARE(QString::fromStdString(status.message()), message);
        QVERIFY(!status.detail().empty());
        QVERIFY(!document.isOpen());
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

    void pageNumbersWithoutOverflow_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<qint64>("position");
        QTest::addColumn<qint64>("page");
        QTest::newRow("start") << qint64(10000000) << qint64(0) << qint64(1);
        QTest::newRow("ten million bytes") << qint64(10000000) << qint64(9999999) << qint64(5000);
        QTest::newRow("several gigabytes") << qint64(6000000000) << qint64(5999999999) << qint64(3000000);
        QTest::newRow("product past 63 bits") << (qint64(1) << 62) << (qint64(1) << 61)
                                        << ((qint64(1) << 62) / 2000) / 2 + 1;
        QTest::newRow("empty file") << qint64(0) << qint64(0) << qint64(1);
        QTest::newRow("under one nominal page") << qint64(1999) << qint64(1500) << qint64(1);
        QTest::newRow("nominal pages") << qint64(100000) << qint64(2000) << qint64(2);
    }
    void pageNumbersWithoutOverflow()
    {
        QFETCH(qint64, fileSize);
        QFETCH(qint64, position);
        QFETCH(qint64, page);
        QCOMPARE(Document::pageNumber(position, fileSize), page);
    }
};

QTEST_MAIN(tst_Document)
#include "tst_document.moc"
