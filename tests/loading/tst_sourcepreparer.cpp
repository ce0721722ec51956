// Preparing zip, gzip and Palm documents in the private folder: where it is, when a copy is
// reused, what a failure leaves, what release deletes. Every test uses a folder root of its
// own, never the real /tmp/folium.
#include "PalmBuilder.h"
#include "PluckerIndex.h"
#include "SourcePreparer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>
#include <zlib.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

using namespace PalmBuilder;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeZip(const QString &path, const QByteArray &firstMember)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    zipFile z = zipOpen(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    for (const QByteArray &data : {firstMember, QByteArray("second member")}) {
        zip_fileinfo info{};
        zipOpenNewFileInZip(z, "m", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6);
        zipWriteInFileInZip(z, data.constData(), unsigned(data.size()));
        zipCloseFileInZip(z);
    }
    zipClose(z, nullptr);
}

void writeGzip(const QString &path, const QByteArray &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    gzFile g = gzopen(QFile::encodeName(path).constData(), "wb");
    gzwrite(g, text.constData(), unsigned(text.size()));
    gzclose(g);
}

// Overwrites the first byte in place: same size, same file, different content.
void mark(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.write("#");
}

void touchLater(const QString &path)
{
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    struct utimbuf t{st.st_atime, st.st_mtime + 10};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &t), 0);
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

int modeOf(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_SourcePreparer : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void kindOf_data();
    void kindOf();
    void folderChoice_data();
    void folderChoice();

    void prepared_data();
    void prepared();
    void plucker();

    void reuse_data();
    void reuse();
    void palmIsConvertedAgain();
    void failureLeavesNothingComplete_data();
    void failureLeavesNothingComplete();
    void plantedLinksAreNotFollowed();

    void release();
    void longPaths();

private:
    QString root() const { return m_dir->path(); }
    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_SourcePreparer::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void tst_SourcePreparer::kindOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("kind");
    QTest::newRow("zip") << "/a/b.zip" << int(SourcePreparer::Kind::Zip);
    QTest::newRow("upper case") << "book.TXT.GZ" << int(SourcePreparer::Kind::Gzip);
    QTest::newRow("pdb") << "x.pdb" << int(SourcePreparer::Kind::Palm);
    QTest::newRow("prc") << "x.y.Prc" << int(SourcePreparer::Kind::Palm);
    QTest::newRow("last dot decides") << "a.zip.txt" << int(SourcePreparer::Kind::Plain);
    QTest::newRow("no dot") << "zip" << int(SourcePreparer::Kind::Plain);
    QTest::newRow("dot in folder only") << "/d.zip/readme" << int(SourcePreparer::Kind::Plain);
}

void tst_SourcePreparer::kindOf()
{
    QFETCH(QString, path);
    QFETCH(int, kind);
    QCOMPARE(int(SourcePreparer::kindOf(path)), kind);
}

void tst_SourcePreparer::folderChoice_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("usesFolium");
    QTest::newRow("missing, made") << "missing" << true;
    QTest::newRow("ours, mode 0755 made 0700") << "open mode" << true;
    QTest::newRow("symbolic link to a private folder") << "symlink" << false;
    QTest::newRow("a regular file") << "file" << false;
    QTest::newRow("another user's folder") << "foreign" << false;
}

void tst_SourcePreparer::folderChoice()
{
    QFETCH(QString, setup);
    QFETCH(bool, usesFolium);
    const QString folium = root() + "/folium";
    if (setup == "open mode") {
        QVERIFY(QDir().mkdir(folium));
        QCOMPARE(::chmod(QFile::encodeName(folium).constData(), 0755), 0);
    } else if (setup == "symlink") {
        QVERIFY(QDir().mkdir(root() + "/elsewhere"));
        QCOMPARE(::chmod(QFile::encodeName(root() + "/elsewhere").constData(), 0700), 0);
        QVERIFY(QFile::link(root() + "/elsewhere", folium));
    } else if (setup == "file") {
        writeFile(folium, "not a folder");
    } else if (setup == "foreign") {
        if (::geteuid() != 0)
            QSKIP("needs root to make a folder of another user");
        QVERIFY(QDir().mkdir(folium));
        QCOMPARE(::chmod(QFile::encodeName(folium).constData(), 0700), 0);
        QCOMPARE(::chown(QFile::encodeName(folium).constData(), 4242, 4242), 0);
    }

    writeGzip(root() + "/docs/book.gz", "text");
    QString fallback;
    {
        SourcePreparer preparer(root());
        const SourcePreparer::Result r = preparer.prepare(root() + "/docs/book.gz");
        QVERIFY(r.ok);
        const QString folder = preparer.folder();
        QCOMPARE(r.textPath, folder + "/book.txt");
        QCOMPARE(readFile(r.textPath), QByteArray("text"));
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(folder == folium, usesFolium);
        if (!usesFolium) {
            QVERIFY(folder.startsWith(root() + "/folium-"));
            QVERIFY(QFileInfo(folder).isDir() && !QFileInfo(folder).isSymLink());
            fallback = folder;
        }
    }
    if (!fallback.isEmpty())
        QVERIFY(!QFileInfo::exists(fallback)); // nobody could reuse it, so it goes
    if (setup == "symlink")
        QVERIFY(entries(root() + "/elsewhere").isEmpty());
}

void tst_SourcePreparer::prepared_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QString>("textName");
    QTest::newRow("a.b.zip") << "a.b.zip" << "a.txt";
    QTest::newRow("novel.tar.gz") << "novel.tar.gz" << "novel.txt";
    QTest::newRow("book.PDB") << "book.PDB" << "book.txt";
    QTest::newRow("no base") << ".zip" << ".txt";
}

void tst_SourcePreparer::prepared()
{
    QFETCH(QString, document);
    QFETCH(QString, textName);
    const QByteArray text("Line one\r\nLine two \x01\x80\xFF\n");
    const QString path = root() + "/docs/" + document;
    switch (SourcePreparer::kindOf(path)) {
    case SourcePreparer::Kind::Zip: writeZip(path, text); break;
    case SourcePreparer::Kind::Gzip: writeGzip(path, text); break;
    default: writeFile(path, palmDocBook(text, 2)); break;
    }
    SourcePreparer preparer(root());
    const SourcePreparer::Result r = preparer.prepare(path);
    QVERIFY(r.ok);
    QVERIFY(!r.plucker);
    QVERIFY(r.rimPath.isEmpty());
    QCOMPARE(r.textPath, root() + "/folium/" + textName);
    QCOMPARE(readFile(r.textPath), text);
    QVERIFY(!entries(preparer.folder()).join(' ').contains(".part-"));
}

void tst_SourcePreparer::plucker()
{
    const QList<QByteArray> first{"Go " + Code::linkToParagraph(9, 1) + "there" + Code::endLink(), ""};
    const QList<QByteArray> second{"one", "two"};
    writeFile(root() + "/docs/guide.prc",
              pluckerDocument(2, {pluckerTextRecord(4, first, Packing::Zlib), pluckerImageRecord(5, "png"),
                                  pluckerTextRecord(9, second, Packing::Zlib)}));
    SourcePreparer preparer(root());
    const SourcePreparer::Result r = preparer.prepare(root() + "/docs/guide.prc");
    QVERIFY(r.ok);
    QVERIFY(r.plucker);
    QCOMPARE(r.rimPath, root() + "/folium/guide.rim");
    const QByteArray eop = endOfParagraph();
    QCOMPARE(readFile(r.textPath), first[0] + eop + eop + "one" + eop + "two" + eop);
    const QVector<PluckerIndexEntry> index = loadPluckerIndex(r.rimPath);
    QCOMPARE(index.size(), 4);
    const uint32_t afterFirst = uint32_t(first[0].size() + 20);
    const QVector<QVector<uint32_t>> expected{{4, 0, 0}, {4, 1, uint32_t(first[0].size() + 10)}, {9, 0, afterFirst},
                                              {9, 1, afterFirst + 13}};
    for (int i = 0; i < index.size(); ++i)
        QCOMPARE((QVector<uint32_t>{index[i].recordId, index[i].paragraph, index[i].offset}), expected[i]);
}

void tst_SourcePreparer::reuse_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("reused");
    QTest::newRow("same source, untouched") << "none" << true;
    QTest::newRow("source modified") << "touch" << false;
    QTest::newRow("other archive, same base name") << "other" << false;
    QTest::newRow("prepared copy cut short") << "truncate" << false;
    QTest::newRow("record of the source lost") << "stamp" << false;
    QTest::newRow("released in between") << "release" << false;
}

void tst_SourcePreparer::reuse()
{
    QFETCH(QString, change);
    QFETCH(bool, reused);
    const QString zip = root() + "/docs/a.b.zip";
    writeZip(zip, "from the zip archive");
    writeGzip(root() + "/other/a.txt.gz", "from the gzip file");

    QString textPath;
    {
        SourcePreparer earlierRun(root());
        const SourcePreparer::Result r = earlierRun.prepare(zip);
        QVERIFY(r.ok);
        textPath = r.textPath;
        if (change == "release")
            earlierRun.release(textPath);
    }
    if (change != "release")
        mark(textPath); // shows whether the copy is reused or made again
    if (change == "touch")
        touchLater(zip);
    if (change == "truncate")
        QVERIFY(QFile::resize(textPath, 4));
    if (change == "stamp")
        QVERIFY(QFile::remove(root() + "/folium/a.src"));

    SourcePreparer preparer(root());
    const QString source = change == "other" ? root() + "/other/a.txt.gz" : zip;
    const SourcePreparer::Result r = preparer.prepare(source);
    QVERIFY(r.ok);
    QCOMPARE(r.textPath, textPath);
    const QByteArray expected = change == "other" ? "from the gzip file" : "from the zip archive";
    QCOMPARE(readFile(r.textPath), reused ? "#" + expected.mid(1) : expected);
    // Whatever was reused or made, it is now this preparer's to delete.
    preparer.release(r.textPath);
    QVERIFY(!QFileInfo::exists(r.textPath));
}

void tst_SourcePreparer::palmIsConvertedAgain()
{
    writeFile(root() + "/book.pdb", palmDocBook("palm text", 1));
    SourcePreparer preparer(root());
    const SourcePreparer::Result first = preparer.prepare(root() + "/book.pdb");
    QVERIFY(first.ok);
    mark(first.textPath);
    const SourcePreparer::Result again = preparer.prepare(root() + "/book.pdb");
    QVERIFY(again.ok);
    QCOMPARE(readFile(again.textPath), QByteArray("palm text"));
}

void tst_SourcePreparer::failureLeavesNothingComplete_data()
{
    QTest::addColumn<QString>("good");
    QTest::addColumn<QString>("bad");
    QTest::newRow("zip") << "good/a.zip" << "bad/a.zip";
    QTest::newRow("gzip") << "good/a.gz" << "bad/a.gz";
    QTest::newRow("Plucker") << "good/a.pdb" << "bad/a.pdb";
    QTest::newRow("unsupported Palm") << "good/a.pdb" << "bad/a.prc";
}

void tst_SourcePreparer::failureLeavesNothingComplete()
{
    QFETCH(QString, good);
    QFETCH(QString, bad);
    const QByteArray text = QByteArray("good text ").repeated(500);
    const QByteArray doc = pluckerDocument(2, {pluckerTextRecord(1, {text}, Packing::Zlib)});
    const QString goodPath = root() + "/" + good, badPath = root() + "/" + bad;
    switch (SourcePreparer::kindOf(goodPath)) {
    case SourcePreparer::Kind::Zip: {
        writeZip(goodPath, text);
        QByteArray damaged = readFile(goodPath);
        damaged[30 + 1 + 2] ^= 0x20; // inside the deflated first member (after its 30 + 1-byte name header)
        writeFile(badPath, damaged);
        break;
    }
    case SourcePreparer::Kind::Gzip:
        writeGzip(goodPath, text);
        writeFile(badPath, readFile(goodPath).chopped(5));
        break;
    default:
        writeFile(goodPath, doc);
        writeFile(badPath, bad.endsWith("prc") ? palmDocBook(text, 9) : doc.chopped(7));
        break;
    }

    SourcePreparer preparer(root());
    const SourcePreparer::Result ok = preparer.prepare(goodPath);
    QVERIFY(ok.ok);
    mark(ok.textPath);
    QVERIFY(!preparer.prepare(badPath).ok);
    const QStringList left = entries(preparer.folder());
    QVERIFY2(!left.join(' ').contains(".part-"), qPrintable(left.join(' ')));
    QVERIFY(!left.contains("a.src"));
    QVERIFY(!left.contains("a.rim"));
    QVERIFY(!preparer.prepare(badPath).ok); // the leftover is not taken as the bad one's copy

    // Nor as the good one's: it is prepared afresh.
    const SourcePreparer::Result again = preparer.prepare(goodPath);
    QVERIFY(again.ok);
    const QByteArray expected = ok.plucker ? text + endOfParagraph() : text;
    QCOMPARE(readFile(again.textPath), expected);
}

void tst_SourcePreparer::plantedLinksAreNotFollowed()
{
    const QString victim = root() + "/victim";
    writeFile(victim, "must stay");
    const QString folium = root() + "/folium";
    QVERIFY(QDir().mkdir(folium));
    QCOMPARE(::chmod(QFile::encodeName(folium).constData(), 0700), 0);
    for (const char *name : {"/a.txt", "/a.src", "/a.rim", "/b.txt"})
        QVERIFY(QFile::link(victim, folium + name));

    writeZip(root() + "/a.zip", "zip text");
    writeFile(root() + "/b.pdb", pluckerDocument(2, {pluckerTextRecord(1, {"p"}, Packing::Raw)}));
    SourcePreparer preparer(root());
    const SourcePreparer::Result z = preparer.prepare(root() + "/a.zip");
    QVERIFY(z.ok);
    QCOMPARE(readFile(z.textPath), QByteArray("zip text"));
    QVERIFY(!QFileInfo(z.textPath).isSymLink());
    const SourcePreparer::Result p = preparer.prepare(root() + "/b.pdb");
    QVERIFY(p.ok);
    QVERIFY(!QFileInfo(p.textPath).isSymLink());
    QCOMPARE(readFile(victim), QByteArray("must stay"));
}

void tst_SourcePreparer::release()
{
    writeGzip(root() + "/docs/x.gz", "gz");
    writeFile(root() + "/docs/y.pdb", pluckerDocument(2, {pluckerTextRecord(1, {"p"}, Packing::Raw)}));
    SourcePreparer preparer(root());
    const SourcePreparer::Result x = preparer.prepare(root() + "/docs/x.gz");
    const SourcePreparer::Result y = preparer.prepare(root() + "/docs/y.pdb");
    QVERIFY(x.ok && y.ok);

    // A document that merely lies in the folder is the user's, not the preparer's.
    const QString own = preparer.folder() + "/mine.txt";
    writeFile(own, "user's own document");
    preparer.release(own);
    preparer.release(root() + "/docs/x.gz");
    preparer.release(QString());
    QVERIFY(QFileInfo::exists(own));
    QVERIFY(QFileInfo::exists(root() + "/docs/x.gz"));

    preparer.release(x.textPath);
    QVERIFY(!QFileInfo::exists(x.textPath));
    QVERIFY(!QFileInfo::exists(preparer.folder() + "/x.src"));
    preparer.release(y.textPath);
    QVERIFY(!QFileInfo::exists(y.textPath));
    QVERIFY(QFileInfo::exists(y.rimPath)); // kept until that document is converted again

    // Once released it is no longer ours: a file of that name made by someone else stays.
    writeFile(x.textPath, "made elsewhere");
    preparer.release(x.textPath);
    QVERIFY(QFileInfo::exists(x.textPath));
}

void tst_SourcePreparer::longPaths()
{
    // A folder path far past 255 bytes, and base names at the limit of one path component.
    QString deep = root();
    for (int i = 0; i < 4; ++i)
        deep += "/" + QString(100, QChar('d' + i));
    const QString longBase = QString(120, QChar(0x00E9)); // 240 bytes in UTF-8
    const QString a = deep + "/" + longBase + "xxxxxxxxxxxx.gz"; // 252-byte base
    const QString b = deep + "/" + longBase + "yyyyyyyyyyyy.gz";
    QVERIFY(QFile::encodeName(a).size() > 600);
    writeGzip(a, "first long one");
    writeGzip(b, "second long one");
    SourcePreparer preparer(root());
    const SourcePreparer::Result ra = preparer.prepare(a);
    const SourcePreparer::Result rb = preparer.prepare(b);
    QVERIFY(ra.ok && rb.ok);
    QVERIFY(ra.textPath != rb.textPath);
    QCOMPARE(readFile(ra.textPath), QByteArray("first long one"));
    QCOMPARE(readFile(rb.textPath), QByteArray("second long one"));
    QVERIFY(QFile::encodeName(QFileInfo(ra.textPath).fileName()).size() <= 255);

    const QString shortName = deep + "/book.gz";
    writeGzip(shortName, "deep");
    const SourcePreparer::Result rc = preparer.prepare(shortName);
    QVERIFY(rc.ok);
    QCOMPARE(readFile(rc.textPath), QByteArray("deep"));
}

QTEST_APPLESS_MAIN(tst_SourcePreparer)
#include "tst_sourcepreparer.moc"
