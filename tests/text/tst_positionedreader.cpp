// The positioned reader: byte positions while decoding, and clamped seeks.
#include "PositionedReader.h"
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using Decoded = QList<QPair<uint, qint64>>; // each character with the position after it

class tst_PositionedReader : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QByteArray &bytes)
    {
        QFile f(dir.filePath(QString::number(qHash(bytes))));
        f.open(QIODevice::WriteOnly) && f.write(bytes);
        return f.fileName();
    }
    static Decoded decode(PositionedReader &r)
    {
        Decoded out;
        while (!r.atEnd())
            out.append({uint(r.readChar()), r.pos()});
        return out;
    }

private slots:
    void decoding()
    {
        PositionedReader r;
        QVERIFY(r.open(write("a\xc3\xa9\xf0\x9f\x98\x80\x80\xc0\xaf\xed\xa0\x80\xe2z\xe2\x82")).isOk());
        r.setMode(PositionedReader::Mode::Utf8);
        // Malformed UTF-8 gives one U+FFFD per byte.
        QCOMPARE(decode(r), (Decoded{{'a', 1}, {0xE9, 3}, {0x1F600, 7}, {0xFFFD, 8}, {0xFFFD, 9}, {0xFFFD, 10}, {0xFFFD, 11},
                                     {0xFFFD, 12}, {0xFFFD, 13}, {0xFFFD, 14}, {'z', 15}, {0xFFFD, 16}, {0xFFFD, 17}}));
        QCOMPARE(uint(r.readChar()), 0u);

        QVERIFY(r.open(write("\x93\xfa" "a\x96\x7b")).isOk());
        r.setCodec(QTextCodec::codecForName("Shift_JIS"));
        QCOMPARE(decode(r), (Decoded{{0x65E5, 2}, {'a', 3}, {0x672C, 5}}));
        r.seek(2); // a seek drops the codec's state; seeks out of the file are clamped
        QCOMPARE(uint(r.readChar()), uint('a'));
        r.seek(-5);
        QCOMPARE(r.readByte(), 0x93);
    }

    // Paging back scans one byte at a time, backwards: each window is read from the file once.
    void backwardScanReadsEachWindowOnce()
    {
        QByteArray text(300 * 1024, 'x');
        for (int i = 0; i < text.size(); i += 97)
            text[i] = char('a' + i % 26);
        PositionedReader r;
        QVERIFY(r.open(write(text)).isOk());
        r.seek(text.size() - 1);
        (void)r.readByte();
        const qint64 before = r.fileReads();
        for (qint64 p = text.size() - 1; p >= text.size() - 100 * 1024; --p) {
            r.seek(p);
            QCOMPARE(r.readByte(), int(uchar(text[int(p)])));
        }
        QVERIFY(r.fileReads() - before <= 3);
    }
};

QTEST_APPLESS_MAIN(tst_PositionedReader)
#include "tst_positionedreader.moc"
