// Preparing documents in a private folder under a root of the test's own, never /tmp/folium.
#include "PalmBuilder.h"
#include "PluckerIndex.h"
#include "SourcePreparer.h"
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <zip.h>
#include <zlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PalmBuilder;
using Result = SourcePreparer::Result;

namespace {
QVector<PluckerIndexEntry> pluckerIndex(const QString &path)
{
    QVector<PluckerIndexEntry> index;
    loadPluckerIndex(path, index);
    return index;
}


// Writes `bytes` to `path` when given, then reads the file back.
QByteArray file(const QString &path, const QByteArray &bytes = {})
{
    QFile f(path);
    if (!bytes.isNull() && QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0)
        f.close();
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `text` as `path`'s kind says: a zip, a gzip file or a PalmDoc book.
void writeDocument(const QString &path, const QByteArray &text)
{
    const QByteArray name = QFile::encodeName(path);
    if (QDir().mkpath(QFileInfo(path).path()) && SourcePreparer::kindOf(path) == SourcePreparer::Kind::Zip) {
        zipFile z = zipOpen(name.constData(), APPEND_STATUS_CREATE);
        zip_fileinfo info{};
        zipOpenNewFileInZip(z, "m", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6);
        zipWriteInFileInZip(z, text.constData(), unsigned(text.size()));
        zipCloseFileInZip(z);
        zipClose(z, nullptr);
    } else if (SourcePreparer::kindOf(path) == SourcePreparer::Kind::Gzip) {
        gzFile g = gzopen(name.constData(), "wb");
        gzwrite(g, text.constData(), unsigned(text.size()));
        gzclose(g);
    } else {
        file(path, palmDocBook(text, 2));
    }
}

// Overwrites the first byte in place: same size, same file, different content.
bool mark(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.write("#") == 1;
}
QString entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).join(' ');
}
bool makePrivateFolder(const QString &path)
{
    return QDir().mkpath(path) && ::chmod(QFile::encodeName(path).constData(), 0700) == 0;
}

} // namespace

class tst_SourcePreparer : public QObject
{
    Q_OBJECT

    QString root() const { return m_dir->path(); }
    QScopedPointer<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
    }

    void folderChoice()
    {
        for (const auto &[setup, usesFolium] : QList<QPair<QString, bool>>{
                 {"missing", true}, {"open mode", true}, {"symlink", false}, {"regular file", false}, {"foreign", false}}) {
            const QString base = root() + "/" + setup, folium = base + "/folium", elsewhere = base + "/elsewhere";
            if (setup == "foreign" && ::geteuid() != 0)
                continue; // needs root to make a folder of another user
            QVERIFY(setup != "open mode" || (QDir().mkpath(folium) && ::chmod(QFile::encodeName(folium).constData(), 0755) == 0));
            QVERIFY(setup != "symlink" || (makePrivateFolder(elsewhere) && QFile::link(elsewhere, folium)));
            QVERIFY(setup != "regular file" || !file(folium, "not a folder").isEmpty());
            QVERIFY(setup != "foreign" || (makePrivateFolder(folium) && ::chown(QFile::encodeName(folium).constData(), 4242, 4242) == 0));
            writeDocument(base + "/docs/book.gz", "text");
            QString folder;
            {
                SourcePreparer preparer(base);
                const Result r = preparer.prepare(base + "/docs/book.gz");
                folder = preparer.folder();
                QVERIFY2(r.status.isOk() && r.textPath == folder + "/book.txt" && file(r.textPath) == "text", qPrintable(setup));
                struct stat st;
                QVERIFY(::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode));
                QCOMPARE(int(st.st_mode & 07777), 0700); // ours alone, made so if it was not
                QCOMPARE(folder == folium, usesFolium);
                QVERIFY(usesFolium || folder.startsWith(base + "/folium-"));
            }
            QCOMPARE(QFileInfo::exists(folder), usesFolium); // nobody could reuse a fallback, so it goes
            QVERIFY(entries(elsewhere).isEmpty());
        }
    }

    void prepared()
    {
        const QByteArray text("Line one\r\nLine two \x01\x80\xFF\n");
        SourcePreparer preparer(root());
        for (const auto &[document, textName] : QList<QPair<QString, QString>>{
                 {"a.b.zip", "a.txt"}, {"novel.tar.gz", "novel.txt"}, {"book.PDB", "book.txt"}, {".zip", ".txt"}}) {
            writeDocument(root() + "/docs/" + document, text);
            const Result r = preparer.prepare(root() + "/docs/" + document);
            QVERIFY2(r.status.isOk() && !r.plucker && r.rimPath.isEmpty(), qPrintable(document));
            QCOMPARE(r.textPath, root() + "/folium/" + textName);
            QCOMPARE(file(r.textPath), text);
        }
        QVERIFY(!entries(preparer.folder()).contains(".part-"));

        // A rim is read back trusting nothing but whole 8-byte little-endian entries.
        file(root() + "/a.rim", QByteArray("\xFF\xFE\x02\x01\x78\x56\x34\xF2\x05\x00\x00", 11));
        const QVector<PluckerIndexEntry> index = pluckerIndex(root() + "/a.rim");
        QVERIFY(index.size() == 1 && index[0].recordId == 0xFEFF && index[0].paragraph == 0x0102 && index[0].offset == 0xF2345678);
        QVERIFY(pluckerIndex(root() + "/none.rim").isEmpty());
    }

    // Only a complete copy made from the same, unchanged source is reused.
    void reuse()
    {
        for (const auto &[change, reused] : QList<QPair<QString, bool>>{
                 {"none", true}, {"touch", false}, {"other", false}, {"truncate", false}, {"stamp", false}, {"release", false},
                 {"palm", false}}) { // other: another archive of the same base name; palm: always converted again
            const QString base = root() + "/" + change, zip = base + "/docs/a.b.zip";
            const QMap<QString, QByteArray> sources{
                {zip, "from the zip archive"}, {base + "/other/a.txt.gz", "from the gzip file"}, {base + "/a.pdb", "from the Palm book"}};
            for (auto s = sources.begin(); s != sources.end(); ++s)
                writeDocument(s.key(), s.value());
            const QString first = change == "palm" ? base + "/a.pdb" : zip;
            const QString second = change == "other" ? base + "/other/a.txt.gz" : first;
            QString textPath;
            {
                SourcePreparer earlierRun(base);
                textPath = earlierRun.prepare(first).textPath;
                if (change == "release")
                    earlierRun.release(textPath);
            }
            QVERIFY(change == "release" || mark(textPath)); // shows whether the copy is reused or made again
            QFile source(zip);
            QVERIFY(change != "touch" || (source.open(QIODevice::ReadOnly) &&
                                          source.setFileTime(source.fileTime(QFile::FileModificationTime).addSecs(10),
                                                             QFile::FileModificationTime)));
            QVERIFY(change != "truncate" || QFile::resize(textPath, 4));
            QVERIFY(change != "stamp" || QFile::remove(base + "/folium/a.src"));

            SourcePreparer preparer(base);
            const Result r = preparer.prepare(second);
            QVERIFY2(r.status.isOk() && r.textPath == textPath, qPrintable(change));
            QCOMPARE(file(r.textPath), reused ? "#" + sources[second].mid(1) : sources[second]);
            preparer.release(r.textPath); // whatever was reused or made, it is now this preparer's to delete
            QVERIFY(!QFileInfo::exists(r.textPath));
        }
    }

    void failureLeavesNothingComplete()
    {
        const QByteArray text = QByteArray("good text ").repeated(500);
        for (const QString kind : {"zip", "gz", "pdb", "prc"}) { // prc: a Palm book of unsupported compression
            const QString good = root() + "/" + kind + "/good/a." + (kind == "prc" ? "pdb" : kind);
            const QString bad = root() + "/" + kind + "/bad/a." + kind;
            const QByteArray plucker = pluckerDocument(2, {pluckerTextRecord(1, {text}, Packing::Zlib)});
            QByteArray damaged = kind.startsWith("p") ? file(good, plucker) : (writeDocument(good, text), file(good));
            if (kind == "zip")
                damaged[30 + 1 + 2] ^= 0x20; // inside the member's deflated data (after its 31-byte header)
            file(bad, kind == "prc" ? palmDocBook(text, 9) : kind == "zip" ? damaged : damaged.chopped(7));

            SourcePreparer preparer(root() + "/" + kind);
            const Result ok = preparer.prepare(good);
            QVERIFY(ok.status.isOk() && mark(ok.textPath));
            QVERIFY(!preparer.prepare(bad).status.isOk());
            const QString left = entries(preparer.folder());
            QVERIFY2(!left.contains(".part-") && !left.contains("a.src") && !left.contains("a.rim"), qPrintable(left));
            QVERIFY(!preparer.prepare(bad).status.isOk()); // the leftover is not taken as the bad one's copy
            const Result again = preparer.prepare(good); // nor as the good one's
            QVERIFY(again.status.isOk());
            QCOMPARE(file(again.textPath), ok.plucker ? text + endOfParagraph() : text);
        }
    }

    // Planted links are replaced, never followed; release deletes only what this preparer made.
    void ownFilesOnly()
    {
        const QString victim = root() + "/victim", folium = root() + "/folium";
        file(victim, "must stay");
        QVERIFY(makePrivateFolder(folium));
        for (const char *name : {"/x.txt", "/x.src", "/y.rim", "/y.txt"})
            QVERIFY(QFile::link(victim, folium + name));
        writeDocument(root() + "/docs/x.zip", "zip text");
        file(root() + "/docs/y.pdb", pluckerDocument(2, {pluckerTextRecord(4, {"Go", ""}, Packing::Zlib)}));
        SourcePreparer preparer(root());
        const Result x = preparer.prepare(root() + "/docs/x.zip"), y = preparer.prepare(root() + "/docs/y.pdb");
        QVERIFY(x.status.isOk() && y.status.isOk() && y.plucker);
        QCOMPARE(file(x.textPath) + file(y.textPath), "zip textGo" + endOfParagraph().repeated(2));
        QVERIFY(y.rimPath == folium + "/y.rim" && pluckerIndex(y.rimPath).size() == 2);
        QVERIFY(!QFileInfo(x.textPath).isSymLink() && !QFileInfo(y.rimPath).isSymLink());
        QCOMPARE(file(victim), QByteArray("must stay"));
        const QString own = folium + "/mine.txt"; // merely lies in the folder: the user's
        file(own, "user's own document");
        for (const QString &path : {own, root() + "/docs/x.zip", QString(), x.textPath, y.textPath})
            preparer.release(path);
        QVERIFY(QFileInfo::exists(own) && QFileInfo::exists(root() + "/docs/x.zip"));
        QVERIFY(!QFileInfo::exists(x.textPath) && !QFileInfo::exists(folium + "/x.src") && !QFileInfo::exists(y.textPath));
        QVERIFY(QFileInfo::exists(y.rimPath)); // kept until that document is converted again
        // Once released it is no longer ours: a file of that name made by someone else stays.
        file(x.textPath, "made elsewhere");
        preparer.release(x.textPath);
        QVERIFY(QFileInfo::exists(x.textPath));
    }

    void longPathsAreNotCut()
    {
        // A folder path far past 255 bytes, and base names at the limit of one path component.
        QString deep = root();
        for (char c : {'d', 'e', 'f', 'g'})
            deep += "/" + QString(100, QChar(c));
        const QString longBase = deep + "/" + QString(120, QChar(0x00E9)); // 240 bytes in UTF-8
        SourcePreparer preparer(root());
        QSet<QString> made;
        for (const QString &path : {longBase + "xxxxxxxxxxxx.gz", longBase + "yyyyyyyyyyyy.gz", deep + "/book.gz"}) {
            writeDocument(path, QFile::encodeName(path).right(20)); // differs between the two long names
            const Result r = preparer.prepare(path);
            QVERIFY(r.status.isOk() && QFile::encodeName(QFileInfo(r.textPath).fileName()).size() <= 255);
            QCOMPARE(file(r.textPath), QFile::encodeName(path).right(20));
            made << r.textPath;
        }
        QCOMPARE(made.size(), 3);
    }
};

QTEST_APPLESS_MAIN(tst_SourcePreparer)
#include "tst_sourcepreparer.moc"
