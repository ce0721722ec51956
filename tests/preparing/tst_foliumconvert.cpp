// folium-convert run as a user runs it: OUT and RIM appear complete or not at all.
#include "PalmBuilder.h"
#include "TestFiles.h"
#include "ZipBuilder.h"
#include <QDir>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace PalmBuilder;

class tst_FoliumConvert : public QObject
{
    Q_OBJECT

    TestFolder m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QByteArray file(const QString &name) const { return readFile(path(name)); }

private slots:
    // A failure leaves OUT and RIM as they were and no temporary beside them. Success renames over
    // OUT: a hard link keeps the old text, a symbolic link is followed, the mode is kept. A Plucker
    // book brings its index, a PalmDoc book removes an old one, an archive leaves RIM alone.
    void convert_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("bytes"); // "fifo": a named pipe
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("output"); // standard output, or how standard error starts
        QTest::addColumn<QByteArray>("text");   // empty: the conversion fails
        QTest::addColumn<QByteArray>("rim");
        const QByteArray book = QByteArray("Chapter one\r\n\x01\x80\xFF", 16).repeated(20000), old("old rim");
        // Every kind is opened by one call (tst_sourcepreparer: a FIFO of each kind).
        QTest::newRow("FIFO") << "in.zip" << QByteArray("fifo") << QStringList()
                              << QByteArray("Only regular files can be opened") << QByteArray() << old;
        QTest::newRow("past --max-output") << "in.gz" << gzipped(book) << QStringList{"--max-output", "300000"}
                                           << QByteArray("The archive unpacks to more than 292.9 KiB") << QByteArray() << old;
        QTest::newRow("damaged gzip") << "in.gz" << gzipped(book).chopped(5) << QStringList() << QByteArray("Error openning .gz file!")
                                      << QByteArray() << old;
        QTest::newRow("gzip") << "in.gz" << gzipped(book) << QStringList() << QByteArray("gzip") << book << old;
        QTest::newRow("palmdoc") << "in.pdb" << palmDocBook(book, 2) << QStringList{"--max-output", "320000"}
                                 << QByteArray("palmdoc") << book << QByteArray("<missing>");
        QTest::newRow("plucker") << "in.pdb" << pluckerDocument(2, {pluckerTextRecord(7, {"Go"}, Packing::Zlib)}) << QStringList()
                                 << QByteArray("plucker") << "Go" + endOfParagraph() << QByteArray("\x07\0\0\0\0\0\0\0", 8);
    }
    void convert()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, rim);
        QDir dir(m_dir.path());
        for (const QString &name : dir.entryList(QDir::Files | QDir::System | QDir::Hidden))
            dir.remove(name);
        QVERIFY(bytes == "fifo" ? ::mkfifo(QFile::encodeName(path(input)).constData(), 0600) == 0
                                : !m_dir.write(input, bytes).isEmpty());
        m_dir.write("out.txt", "old text");
        m_dir.write("out.rim", "old rim");
        QVERIFY(::chmod(QFile::encodeName(path("out.txt")).constData(), 0640) == 0 && QFile::link(path("out.txt"), path("link.txt")));
        QVERIFY(::link(QFile::encodeName(path("out.txt")).constData(), QFile::encodeName(path("kept.txt")).constData()) == 0);

        QProcess tool;
        tool.start(FOLIUM_CONVERT, QStringList{path(input), path("link.txt"), "--rim", path("out.rim")} + options);
        if (!tool.waitForFinished(20000)) { // stuck on the FIFO
            tool.kill();
            tool.waitForFinished();
            QFAIL("folium-convert did not finish");
        }
        const QByteArray err = tool.readAllStandardError();
        QCOMPARE(tool.exitCode(), text.isEmpty() ? 1 : 0);
        QVERIFY2((text.isEmpty() ? err : tool.readAllStandardOutput()).startsWith(output), err.constData());
        QCOMPARE(file("out.txt"), text.isEmpty() ? QByteArray("old text") : text);
        QCOMPARE(file("kept.txt") + file("out.rim"), "old text" + rim);
        QCOMPARE(QFileInfo(path("out.txt")).permissions(), QFileInfo(path("kept.txt")).permissions());
        QStringList left = dir.entryList(QDir::Files | QDir::System | QDir::Hidden).filter(QRegularExpression("^(?!in\\.)"));
        QCOMPARE(left.join(' '), rim == "<missing>" ? "kept.txt link.txt out.txt" : "kept.txt link.txt out.rim out.txt");
    }
};

QTEST_APPLESS_MAIN(tst_FoliumConvert)
#include "tst_foliumconvert.moc"
