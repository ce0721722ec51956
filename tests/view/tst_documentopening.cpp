// Opening documents: type by extension, per-document reset, failures and decoding modes.
#include "ViewFixture.h"

#include <QtTest>

class tst_DocumentOpening : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typeByExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("stripHtml");
        QTest::addColumn<bool>("html");
        QTest::addColumn<int>("kind");
        QTest::newRow("upper-case HTM") << "Story.HTM" << false << true << 1;
        QTest::newRow("html") << "a.b.html" << false << true << 1;
        QTest::newRow("text with strip setting") << "notes.txt" << true << true << 0;
        QTest::newRow("plain text") << "notes.txt" << false << false << 0;
        QTest::newRow("no extension") << "README" << false << false << 0;
    }
    void typeByExtension()
    {
        QFETCH(QString, name);
        QFETCH(bool, stripHtml);
        QFETCH(bool, html);
        QFETCH(int, kind);
        ViewFixture f;
        f.view->stripHtml = stripHtml;
        const QString path = f.write(name, "hello");
        f.view->fileOpen(path);
        QVERIFY(f.view->documentOpen);
        QCOMPARE(f.view->htmlDocument, html);
        QCOMPARE(int(f.view->sourceKind), kind);
        QCOMPARE(f.view->fileName, path);
    }

    void missingPathKeepsThePreviousDocument()
    {
        ViewFixture f;
        const QString first = f.write(QStringLiteral("first.txt"), "alpha beta gamma");
        f.view->fileOpen(first);
        f.view->fileOpen(f.dir.filePath(QStringLiteral("missing.txt")));
        QVERIFY(f.view->documentOpen);
        QCOMPARE(f.view->fileName, first);
        QVERIFY(f.warnings.isEmpty());
    }

    void resetPerDocument()
    {
        ViewFixture f;
        f.view->fontBold = true;
        f.view->linkBackCount = 5;
        f.view->pluckerIndex.append(PluckerIndexEntry{1, 2, 3});
        f.view->fileOpen(f.write(QStringLiteral("r.txt"), "text"));
        QCOMPARE(f.view->linkBackCount, 0);
        QVERIFY(f.view->pluckerIndex.isEmpty());
        QVERIFY(f.view->lineStartStyle.bold);
        QCOMPARE(f.view->lineStartStyle.penColor, QColor(Qt::black));
    }

    void brokenArchivesReportAndCloseTheDocument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("zip") << "bad.zip" << "Warining!|Error openning .zip file!";
        QTest::newRow("palm") << "bad.pdb" << "Warining!|Unsupported Palm Document!";
        QTest::newRow("palm prc") << "BAD.PRC" << "Warining!|Unsupported Palm Document!";
    }
    void brokenArchivesReportAndCloseTheDocument()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        ViewFixture f;
        f.view->fileOpen(f.write(QStringLiteral("ok.txt"), "readable"));
        const QString path = f.write(name, "this is not an archive of any kind");
        f.view->fileOpen(path);
        QCOMPARE(f.warnings, QStringList{message});
        QVERIFY(!f.view->documentOpen);
        QCOMPARE(f.view->fileName, path);  // kept, so the next start tries it again
    }

    void uncompressedGzipReadsAsItIs()
    {
        ViewFixture f(2000, 200);
        f.view->fileOpen(f.write(QStringLiteral("plain.gz"), "not compressed at all"));
        QVERIFY(f.warnings.isEmpty());
        QVERIFY(f.view->documentOpen);
        QCOMPARE(f.view->pageWords[0].text, QStringLiteral("not"));
    }

    void preparedCopyOutlivesTheReader()
    {
        QString copy;
        {
            ViewFixture f;
            f.view->fileOpen(f.write(QStringLiteral("kept.gz"), qCompress("x").mid(4)));  // any bytes: read as they are
            QVERIFY(f.view->documentOpen);
            copy = f.view->file.fileName();
            QVERIFY(copy != f.dir.filePath(QStringLiteral("kept.gz")));
        }
        QVERIFY(QFile::exists(copy));  // kept for the next start, which reuses it
    }

    void resumeRestoresThePageStart()
    {
        ViewFixture f(320, 240);
        QByteArray text;
        for (int i = 0; i < 2000; ++i)
            text += "w" + QByteArray::number(i) + ' ';
        f.view->fileOpen(f.write(QStringLiteral("resume.txt"), text));
        f.view->printPage();
        f.view->printPage();
        const PageStart third = f.view->pageStart;
        const qint64 next = f.view->file.pos();
        f.view->pageStart = third;
        f.view->resumeSlot();
        QCOMPARE(f.view->pageStart.position, third.position);
        QCOMPARE(f.view->file.pos(), next);
    }

    void unknownEncodingReadsBytes()
    {
        ViewFixture f(2000, 200);
        f.view->encodingName = QStringLiteral("no-such-encoding");
        f.view->pickupSettings();
        f.view->fileOpen(f.write(QStringLiteral("l1.txt"), QByteArray("caf\xe9")));
        f.view->file.seek(0);
        f.view->readStringFit();
        QCOMPARE(f.view->lineWords[0].text, QString::fromUtf8("café"));
    }
};

QTEST_MAIN(tst_DocumentOpening)
#include "tst_documentopening.moc"
