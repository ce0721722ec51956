// The positioned reader: byte positions in every decoding mode, and cheap seeks.
#include "PositionedReader.h"

#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

class tst_PositionedReader : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QByteArray &bytes)
    {
        static int n = 0;
        const QString path = dir.filePath(QStringLiteral("f%1").arg(n++));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

private Q_SLOTS:
    void utf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<uint>>("chars");
        QTest::addColumn<QList<qint64>>("ends");
        QTest::newRow("ascii and two-byte") << QByteArray("a\xc3\xa9z") << QList<uint>{'a', 0xE9, 'z'}
                                            << QList<qint64>{1, 3, 4};
        QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x98\x80!") << QList<uint>{0x1F600, '!'}
                                   << QList<qint64>{4, 5};
        QTest::newRow("stray continuation") << QByteArray("\x80" "a") << QList<uint>{0xFFFD, 'a'}
                                            << QList<qint64>{1, 2};
        QTest::newRow("truncated at the end") << QByteArray("a\xe2\x82") << QList<uint>{'a', 0xFFFD, 0xFFFD}
                                              << QList<qint64>{1, 2, 3};
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QList<uint>{0xFFFD, 0xFFFD} << QList<qint64>{1, 2};
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << QList<uint>{0xFFFD, 0xFFFD, 0xFFFD}
                                   << QList<qint64>{1, 2, 3};
        QTest::newRow("broken by ascii") << QByteArray("\xe2" "ab") << QList<uint>{0xFFFD, 'a', 'b'}
                                         << QList<qint64>{1, 2, 3};
    }
    void utf8()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<uint>, chars);
        QFETCH(QList<qint64>, ends);
        PositionedReader r;
        QVERIFY(r.open(write(bytes)));
        r.setMode(PositionedReader::Mode::Utf8);
        for (int i = 0; i < chars.size(); ++i) {
            QCOMPARE(uint(r.readChar()), chars[i]);
            QCOMPARE(r.pos(), ends[i]);
        }
        QVERIFY(r.atEnd());
        QCOMPARE(uint(r.readChar()), 0u);
    }

    void bytesModeIsLatin1()
    {
        PositionedReader r;
        QVERIFY(r.open(write(QByteArray("\xff\x00\x80", 3))));
        QCOMPARE(uint(r.readChar()), 0xFFu);
        QCOMPARE(uint(r.readChar()), 0u);
        QCOMPARE(uint(r.readChar()), 0x80u);
        QVERIFY(r.atEnd());
    }

    void codecPositionsAndSeeks()
    {
        PositionedReader r;
        QVERIFY(r.open(write(QByteArray("\x93\xfa" "a\x96\x7b"))));
        r.setCodec(QTextCodec::codecForName("Shift_JIS"));
        QCOMPARE(uint(r.readChar()), 0x65E5u);
        QCOMPARE(r.pos(), qint64(2));
        QCOMPARE(uint(r.readChar()), uint('a'));
        QCOMPARE(uint(r.readChar()), 0x672Cu);
        QCOMPARE(r.pos(), qint64(5));
        r.seek(2);  // a seek drops the codec's state
        QCOMPARE(uint(r.readChar()), uint('a'));
    }

    void seeksAreClamped()
    {
        PositionedReader r;
        QVERIFY(r.open(write("abc")));
        r.seek(-5);
        QCOMPARE(r.pos(), qint64(0));
        r.seek(99);
        QCOMPARE(r.pos(), qint64(3));
        QCOMPARE(r.readByte(), -1);
        QVERIFY(!r.open(dir.filePath(QStringLiteral("absent"))));
        QCOMPARE(r.readByte(), -1);
    }

    void backwardScanReadsEachWindowOnce()
    {
        QByteArray text(300 * 1024, 'x');
        for (int i = 0; i < text.size(); i += 97)
            text[i] = char('a' + i % 26);
        PositionedReader r;
        QVERIFY(r.open(write(text)));
        r.seek(text.size() - 1);
        (void)r.readByte();
        const qint64 before = r.fileReads();
        // Step back one byte at a time across 100 KB, reading each byte as a paragraph search does.
        for (qint64 p = text.size() - 1; p >= text.size() - 100 * 1024; --p) {
            r.seek(p);
            QCOMPARE(r.readByte(), int(uchar(text[int(p)])));
        }
        QVERIFY2(r.fileReads() - before <= 3, qPrintable(QString::number(r.fileReads() - before)));
    }
};

QTEST_APPLESS_MAIN(tst_PositionedReader)
#include "tst_positionedreader.moc"
