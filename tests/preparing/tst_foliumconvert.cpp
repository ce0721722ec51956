// folium-convert run as a user runs it: OUT and RIM appear complete or not at all.
#include "PalmBuilder.h"
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PalmBuilder;

namespace {
QByteArray file(const QString &path, const QByteArray &bytes = {})
{
    QFile f(path);
    if (!bytes.isNull() && f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0)
        f.close();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
QByteArray gzip(const QByteArray &text)
{
    QByteArray out(int(compressBound(uLong(text.size()))) + 32, '\0');
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    s.avail_in = uInt(text.size());
    s.next_out = reinterpret_cast<Bytef *>(out.data());
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(int(s.total_out));
    deflateEnd(&s);
    return out;
}
} // namespace

class tst_FoliumConvert : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    struct Run { int exitCode; QByteArray out, err; };
    Run convert(const QStringList &arguments)
    {
        QProcess p;
        p.start(FOLIUM_CONVERT, arguments);
        if (!p.waitForFinished(20000)) { // a tool stuck on a FIFO: let it go, then fail
            p.kill();
            p.waitForFinished();
            return {-1, {}, "timed out"};
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().trimmed(),
                p.readAllStandardError().trimmed()};
    }
    // Everything in the folder but the inputs, which start with "in".
    QString outputs() const
    {
        QStringList names = QDir(m_dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden);
        names.erase(std::remove_if(names.begin(), names.end(), [](const QString &n) { return n.startsWith("in"); }), names.end());
        return names.join(' ');
    }

private slots:
    void init()
    {
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden))
            dir.remove(name);
    }

    // A failure leaves OUT and RIM as they were and no temporary beside them; the first line of
    // standard error is the reader's message.
    void failureLeavesOldFiles_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes"); // "fifo": a named pipe instead
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("message");
        const QByteArray text = QByteArray("a line of the book\n").repeated(20000);
        QTest::newRow("FIFO .gz") << "in.gz" << QByteArray("fifo") << QStringList() << QByteArray("Only regular files can be opened");
        QTest::newRow("FIFO .zip") << "in.zip" << QByteArray("fifo") << QStringList() << QByteArray("Only regular files can be opened");
        QTest::newRow("FIFO .pdb") << "in.pdb" << QByteArray("fifo") << QStringList() << QByteArray("Only regular files can be opened");
        QTest::newRow("over --max-output") << "in.gz" << gzip(text) << QStringList{"--max-output", "307200"}
                                           << QByteArray("The archive unpacks to more than 300 KiB");
        QTest::newRow("Palm book over --max-output") << "in.pdb" << palmDocBook(text, 2) << QStringList{"--max-output", "1000"}
                                                     << QByteArray("The archive unpacks to more than 1000 bytes");
        QTest::newRow("damaged gzip") << "in.gz" << gzip(text).chopped(5) << QStringList() << QByteArray("Error openning .gz file!");
        QTest::newRow("damaged Palm book") << "in.pdb" << palmDocBook(text, 2).left(200) << QStringList()
                                           << QByteArray("Unsupported Palm Document!");
    }
    void failureLeavesOldFiles()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, message);
        if (bytes == "fifo")
            QVERIFY(::mkfifo(QFile::encodeName(path(input)).constData(), 0600) == 0);
        else
            file(path(input), bytes);
        file(path("out.txt"), "old text");
        file(path("out.rim"), "old rim");
        const Run run = convert(QStringList{path(input), path("out.txt"), "--rim", path("out.rim")} + options);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith(message), run.err.constData());
        QCOMPARE(file(path("out.txt")) + file(path("out.rim")), QByteArray("old textold rim"));
        QCOMPARE(outputs(), QString("out.rim out.txt"));
    }

    // OUT is replaced by a rename: a hard link to the old file keeps the old text. A Plucker book
    // brings its index; a PalmDoc book removes an old one; an archive leaves RIM alone.
    void successReplaces_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("rim"); // "<missing>": none left
        const QByteArray text = QByteArray("Chapter one\r\n\x01\x80\xFF", 16).repeated(3000);
        QTest::newRow("gzip") << "in.gz" << gzip(text) << QByteArray("gzip") << text << QByteArray("old rim");
        QTest::newRow("palmdoc") << "in.pdb" << palmDocBook(text, 2) << QByteArray("palmdoc") << text << QByteArray("<missing>");
        QTest::newRow("plucker") << "in.pdb" << pluckerDocument(2, {pluckerTextRecord(7, {"Go"}, Packing::Zlib)})
                                 << QByteArray("plucker") << "Go" + endOfParagraph() << QByteArray("\x07\0\0\0\0\0\0\0", 8);
    }
    void successReplaces()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, kind);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, rim);
        file(path(input), bytes);
        file(path("out.txt"), "old text");
        file(path("out.rim"), "old rim");
        QVERIFY(::chmod(QFile::encodeName(path("out.txt")).constData(), 0640) == 0);
        QVERIFY(QFile::link(path("out.txt"), path("link.txt")) && ::link(QFile::encodeName(path("out.txt")).constData(),
                                                                       QFile::encodeName(path("kept.txt")).constData()) == 0);
        const Run run = convert({path(input), path("link.txt"), "--rim", path("out.rim"), "--max-output", QString::number(text.size())});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, kind);
        QCOMPARE(file(path("out.txt")), text); // through the symbolic link to it
        QCOMPARE(file(path("kept.txt")), QByteArray("old text"));
        QCOMPARE(file(path("out.rim")), rim);
        QCOMPARE(QFileInfo(path("out.txt")).permissions() & 0x0FFF, QFileInfo(path("kept.txt")).permissions() & 0x0FFF);
        QVERIFY(QFileInfo(path("link.txt")).isSymLink());
        QCOMPARE(outputs(), QString(rim == "<missing>" ? "kept.txt link.txt out.txt" : "kept.txt link.txt out.rim out.txt"));
    }
};

QTEST_APPLESS_MAIN(tst_FoliumConvert)
#include "tst_foliumconvert.moc"
