// The positioned reader: byte positions while decoding, UTF-16 alignment, byte-order marks, clamped
// seeks, and files that are not regular.
#include "FileIo.h"
#include "PositionedReader.h"
#include "TestFiles.h"
#include <QRandomGenerator>
#include <QTextCodec>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Decoded = QList<QPair<uint, qint64>>; // each character with the position after it
using Mode = PositionedReader::Mode;

// UTF-16 code units in the byte order of `mode`.
static QByteArray units(const QList<ushort> &values, Mode mode)
{
    QByteArray out;
    for (const ushort u : values) {
        const char low = char(u & 0xFF), high = char(u >> 8);
        out += mode == Mode::Utf16LE ? QByteArray{} + low + high : QByteArray{} + high + low;
    }
    return out;
}

class tst_PositionedReader : public QObject
{
    Q_OBJECT

    TestFolder folder;

    QString write(const QByteArray &bytes) { return folder.write(QString::number(qHash(bytes)), bytes); }
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
        // A byte that ends a bad sequence and is a character itself: both end there, the last
        // one at the end of the file too.
        QVERIFY(r.open(write("\x81 ")).isOk());
        r.setCodec(QTextCodec::codecForName("Shift_JIS"));
        QCOMPARE(decode(r), (Decoded{{0xFFFD, 2}, {' ', 2}}));
    }

    // Edges the random text below does not reach, in both byte orders.
    void utf16()
    {
        struct Row { QList<ushort> units; bool oddByte; Decoded expected; }; // oddByte: one more after the units
        const Row rows[] = {
            {{0xDBFF, 0xDFFF}, false, {{0x10FFFF, 4}}},                     // the highest pair
            {{0xD800, 0xD83D, 0xDE00}, false, {{0xFFFD, 2}, {0x1F600, 6}}}, // a lone high half, then a pair
            {{0xD800}, true, {{0xFFFD, 2}, {0xFFFD, 3}}},                   // a lone high half, then an odd byte
            {{}, true, {{0xFFFD, 1}}},                                      // one byte
        };
        for (const Row &row : rows) {
            for (const Mode mode : {Mode::Utf16LE, Mode::Utf16BE}) {
                PositionedReader r;
                QVERIFY(r.open(write(units(row.units, mode) + (row.oddByte ? "\xD8" : ""))).isOk());
                r.setMode(mode);
                QCOMPARE(decode(r), row.expected);
                QCOMPARE(uint(r.readChar()), 0u);
            }
        }
    }

    // Random UTF-16 over several windows, with pairs across window edges and lone surrogates: read
    // forwards it gives the model's characters; stepping back one code unit at a time from the end
    // (as paging back scans) gives the same character at every character start and U+FFFD on the
    // low half of a pair, reading each window from the file once.
    void utf16StepsBackAligned()
    {
        QRandomGenerator rng(5);
        QList<ushort> input(32767, 'a');
        QList<uint> model(input.begin(), input.end());
        input << 0xD83D << 0xDE00; // straddles the end of the first window
        model << 0x1F600;
        while (input.size() < 150000) {
            const uint kind = rng.bounded(4), c = kind ? rng.bounded(0xD800) : 0x10000 + rng.bounded(0xFFFFF);
            if (kind == 0) // a pair
                input << ushort(0xD800 + ((c - 0x10000) >> 10)) << ushort(0xDC00 + c % 0x400), model << c;
            else if (kind == 1) // a lone high surrogate, kept from pairing with what follows
                input << ushort(0xD800 + c % 0x400) << 'x', model << 0xFFFD << 'x';
            else if (kind == 2) // a lone low one
                input << ushort(0xDC00 + c % 0x400), model << 0xFFFD;
            else
                input << ushort(c), model << c;
        }
        for (const Mode mode : {Mode::Utf16LE, Mode::Utf16BE}) {
            PositionedReader r;
            QVERIFY(r.open(write(units(input, mode) + "!")).isOk()); // odd length
            r.seek(3);
            r.setMode(mode);
            QCOMPARE(r.pos(), 2); // a mode change aligns too
            QCOMPARE(r.codeUnitBytes(), 2);
            r.seek(0);
            QMap<qint64, QPair<uint, qint64>> at; // character start -> character, position after it
            QList<uint> got;
            while (!r.atEnd()) {
                const qint64 start = r.pos();
                const uint c = r.readChar();
                at.insert(start, {c, r.pos()});
                got << c;
            }
            QCOMPARE(got.size(), model.size() + 1);
            QCOMPARE(got.mid(0, model.size()), model);
            QCOMPARE(got.last(), 0xFFFDu);

            const qint64 before = r.fileReads();
            for (qint64 p = r.size() - 1; p >= 0; p -= r.codeUnitBytes()) {
                r.seek(p);
                const QPair<uint, qint64> expected = at.value(p, {0xFFFDu, p + 2}); // U+FFFD: a low half
                QCOMPARE(r.readChar(), expected.first);
                QCOMPARE(r.pos(), expected.second);
                r.seek(p + 1); // inside the unit: back to its first byte; the end stays the end
                QCOMPARE(r.pos(), p + 1 == r.size() ? p + 1 : p);
            }
            QVERIFY(r.fileReads() - before <= 8);
        }
    }

    void byteOrderMark()
    {
        struct Row { QByteArray head; Mode mode; int length; };
        const Row rows[] = {
            {"\xEF\xBB\xBF" "a", Mode::Utf8, 3}, {"\xEF\xBB", Mode::Utf8, 0},
            {"a\xEF\xBB\xBF", Mode::Utf8, 0}, {"\xEF\xBB\xBF", Mode::Bytes, 0}, {"\xFF\xFE", Mode::Utf16LE, 2},
            {"\xFF\xFE", Mode::Utf16BE, 0}, {"\xFF\xFE", Mode::Codec, 0},
            {QByteArray("\xFE\xFF\0a", 4), Mode::Utf16BE, 2}, {"", Mode::Utf8, 0},
        };
        for (const Row &row : rows) {
            PositionedReader r;
            QVERIFY(r.open(write(row.head)).isOk());
            if (row.mode == Mode::Codec)
                r.setCodec(QTextCodec::codecForName("UTF-16"));
            else
                r.setMode(row.mode);
            QCOMPARE(r.bomLength(), row.length);
        }
    }

    // Folders, FIFOs and devices are refused at once; a FIFO with no writer would block a plain open.
    void notRegularFiles()
    {
        const QString fifo = folder.filePath("fifo"), link = folder.filePath("link-to-fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::link(fifo, link));
        struct Row { QString path; Status::Code code; int error; };
        const Row rows[] = {
            {fifo, Status::Code::NotRegularFile, ENXIO}, {link, Status::Code::NotRegularFile, ENXIO},
            {"/dev/null", Status::Code::NotRegularFile, ENXIO},
            {folder.path(), Status::Code::NotRegularFile, EISDIR},
            {folder.filePath("missing"), Status::Code::NotFound, ENOENT},
        };
        for (const Row &row : rows) {
            PositionedReader r;
            const Status status = r.open(row.path);
            QCOMPARE(status.code(), row.code);
            QVERIFY(!r.isOpen() && !status.message().empty());
            errno = 0;
            QCOMPARE(fileio::openRegularForReading(QFile::encodeName(row.path).constData()), -1);
            QCOMPARE(errno, row.error);
        }
        const QString file = write("text");
        const int fd = fileio::openRegularForReading(QFile::encodeName(file).constData());
        QVERIFY(fd >= 0);
        QCOMPARE(::fcntl(fd, F_GETFL) & (O_NONBLOCK | O_ACCMODE), O_RDONLY); // blocking again
        QVERIFY(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        ::close(fd);
        PositionedReader r;
        QVERIFY(r.open(file).isOk() && r.readByte() == 't');
    }
};

QTEST_APPLESS_MAIN(tst_PositionedReader)
#include "tst_positionedreader.moc"
