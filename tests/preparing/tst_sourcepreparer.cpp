// Preparing documents in a private folder under a root of the test's own, never /tmp/folium.
#include "PalmBuilder.h"
#include "SourcePreparer.h"
#include "TestFiles.h"
#include "ZipBuilder.h"
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <future>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace PalmBuilder;
using Result = SourcePreparer::Result;

namespace {
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
    const SourcePreparer::Kind kind = SourcePreparer::kindOf(path);
    file(path, kind == SourcePreparer::Kind::Zip    ? zipArchive({{"m", text}})
               : kind == SourcePreparer::Kind::Gzip ? gzipped(text)
                                                    : palmDocBook(text, 2));
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

    // A copy is named after the document without its packing, within one path component's 255
    // bytes and apart from the others however deep and long the document's path.
    void prepared()
    {
        QString deep = root();
        for (char c : {'d', 'e', 'f', 'g'})
            deep += "/" + QString(100, QChar(c));
        const QString longBase = deep + "/" + QString(120, QChar(0x00E9)); // 240 bytes in UTF-8
        SourcePreparer preparer(root());
        QSet<QString> made;
        for (const auto &[document, textName] : QList<QPair<QString, QString>>{
                 {"a.b.zip", "a.txt"}, {"novel.tar.gz", "novel.txt"}, {"book.PDB", "book.txt"},
                 {".zip", ".txt"}, {longBase + "xxxxxxxxxxxx.gz", ""}, {longBase + "yyyyyyyyyyyy.gz", ""},
                 {deep + "/deep.gz", ""}}) {
            const QString path = document.startsWith('/') ? document : root() + "/docs/" + document;
            const QByteArray text = "Line one\r\nLine two \x01\x80\xFF\n" + QFile::encodeName(path).right(20);
            writeDocument(path, text);
            const Result r = preparer.prepare(path);
            QVERIFY2(r.status.isOk() && !r.plucker && r.rimPath.isEmpty(), qPrintable(document));
            QVERIFY(QFile::encodeName(QFileInfo(r.textPath).fileName()).size() <= 255);
            QVERIFY(textName.isEmpty() || r.textPath == root() + "/folium/" + textName);
            QCOMPARE(file(r.textPath), text);
            made << r.textPath;
        }
        QCOMPARE(made.size(), 7);
        QVERIFY(!entries(preparer.folder()).contains(".part-"));
    }

    // Only a complete copy made from the same, unchanged source is reused (a Plucker book's index:
    // tst_pluckerindex).
    void reuse()
    {
        for (const auto &[change, reused] : QList<QPair<QString, bool>>{
                 {"none", true}, {"touch", false}, {"other", false}, {"truncate", false}, {"stamp", false},
                 {"release", false}, {"old stamp", false}, {"palm", true}}) {
            // other: another archive of the same base name; old stamp: one of an earlier format
            const QString base = root() + "/" + change, zip = base + "/docs/a.b.zip";
            const QMap<QString, QByteArray> sources{{zip, "from the zip archive"},
                                                    {base + "/other/a.txt.gz", "from the gzip file"},
                                                    {base + "/a.pdb", "from the Palm book"}};
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
            const QString stamp = base + "/folium/a.src";
            QVERIFY(change != "old stamp" || !file(stamp, file(stamp).replace("copy 2\n", "copy 1\n")).contains("copy 2"));

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
        for (const char *name : {"/x.txt", "/x.src"})
            QVERIFY(QFile::link(victim, folium + name));
        writeDocument(root() + "/docs/x.zip", "zip text");
        SourcePreparer preparer(root());
        const Result x = preparer.prepare(root() + "/docs/x.zip");
        QVERIFY(x.status.isOk() && file(x.textPath) == "zip text" && !QFileInfo(x.textPath).isSymLink());
        QCOMPARE(file(victim), QByteArray("must stay"));
        const QString own = folium + "/mine.txt"; // merely lies in the folder: the user's
        file(own, "user's own document");
        for (const QString &path : {own, root() + "/docs/x.zip", QString(), x.textPath})
            preparer.release(path);
        QVERIFY(QFileInfo::exists(own) && QFileInfo::exists(root() + "/docs/x.zip"));
        QVERIFY(!QFileInfo::exists(x.textPath) && !QFileInfo::exists(folium + "/x.src"));
        // Once released it is no longer ours: a file of that name made by someone else stays.
        file(x.textPath, "made elsewhere");
        preparer.release(x.textPath);
        QVERIFY(QFileInfo::exists(x.textPath));
    }

    // Only regular files are opened, and opening never blocks: a FIFO, a folder or a device fails
    // at once, for every kind of document.
    void notRegularFiles_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("code");
        QTest::newRow("link to a regular file") << "link" << int(Status::Code::Ok);
        QTest::newRow("FIFO") << "fifo" << int(Status::Code::NotRegularFile);
        QTest::newRow("folder") << "folder" << int(Status::Code::NotRegularFile);
        QTest::newRow("link to a device") << "device" << int(Status::Code::NotRegularFile);
        QTest::newRow("missing") << "missing" << int(Status::Code::NotFound);
    }
    void notRegularFiles()
    {
        QFETCH(QString, setup);
        QFETCH(int, code);
        for (const QString ext : {"gz", "zip", "pdb"}) {
            const QString path = root() + "/docs/" + setup + "." + ext, real = root() + "/real." + ext;
            const QByteArray name = QFile::encodeName(path);
            writeDocument(real, "text");
            QVERIFY(QDir().mkpath(root() + "/docs"));
            QVERIFY(setup != "link" || QFile::link(real, path));
            QVERIFY(setup != "fifo" || ::mkfifo(name.constData(), 0600) == 0);
            QVERIFY(setup != "folder" || QDir().mkpath(path));
            QVERIFY(setup != "device" || QFile::link("/dev/zero", path));
            SourcePreparer preparer(root());
            preparer.setMaxCopySize(1 << 20); // should /dev/zero ever be read, it ends here
            // On a thread of its own, so that a preparation stuck in open() fails rather than hangs.
            auto prepared = std::async(std::launch::async, [&] { return preparer.prepare(path); });
            if (prepared.wait_for(std::chrono::seconds(20)) == std::future_status::timeout) {
                ::close(::open(name.constData(), O_WRONLY | O_NONBLOCK)); // lets the open return
                QFAIL(qPrintable("blocked opening " + path));
            }
            const Result r = prepared.get();
            QCOMPARE(int(r.status.code()), code);
            QVERIFY2(r.status.isOk() == (!r.textPath.isEmpty() && file(r.textPath) == "text"), r.status.detail().c_str());
            QVERIFY(code != int(Status::Code::NotRegularFile) || r.status.message() == "Only regular files can be opened");
        }
    }

    // Past the limit, or told to stop by its progress callback on a worker thread, a preparation
    // stops and deletes its partial copy; one left to run hears of progress up to the whole source.
    // The limit's message names it in the largest binary unit it reaches, cut to one decimal.
    void stopped()
    {
        for (const auto &[bytes, text] : QList<QPair<quint64, QString>>{
                 {0, "0 bytes"}, {1023, "1023 bytes"}, {1536, "1.5 KiB"}, {(1 << 20) - 1, "1023.9 KiB"},
                 {512 << 20, "512 MiB"}, {1ull << 30, "1 GiB"}, {1000000000, "953.6 MiB"},
                 {5ull << 39, "2.5 TiB"}, {~0ull, "15.9 EiB"}})
            QCOMPARE(QString::fromStdString(readableSize(bytes)), text);

        const QByteArray paragraph = sampleText(60000, 3);
        QList<QByteArray> records; // a hundred paragraphs and their ends make 6001000 bytes
        for (unsigned id = 1; id <= 100; ++id)
            records << pluckerTextRecord(id, {paragraph}, Packing::Zlib);
        const QByteArray text = sampleText(6001000, 4);
        for (const QString document : {"a.gz", "a.zip", "a.pdb", "plucker.pdb"}) {
            const QString path = root() + "/" + document + "/" + document;
            if (document.startsWith("plucker"))
                file(path, pluckerDocument(2, records));
            else
                writeDocument(path, text);
            const quint64 size = quint64(QFileInfo(path).size());
            SourcePreparer preparer(root() + "/" + document);
            preparer.setMaxCopySize(6001000 - 1);
            const Result over = preparer.prepare(path);
            QCOMPARE(over.status.code(), Status::Code::TooLarge);
            QCOMPARE(over.status.message(), std::string("The archive unpacks to more than 5.7 MiB"));
            QCOMPARE(entries(preparer.folder()), QString()); // no part, no copy, no stamp
            preparer.setMaxCopySize(6001000);
            int calls = 0;
            auto stopAtThird = [&](quint64, quint64) { return ++calls < 3; };
            auto worker = std::async(std::launch::async, [&] { return preparer.prepare(path, stopAtThird); });
            Result r = worker.get();
            QCOMPARE(r.status.code(), Status::Code::Cancelled);
            QCOMPARE(calls, 3);
            QCOMPARE(entries(preparer.folder()), QString());
            QList<quint64> seen;
            auto record = [&](quint64 done, quint64 total) { return seen << done, total == size; };
            r = preparer.prepare(path, record);
            QVERIFY(r.status.isOk() && QFileInfo(r.textPath).size() == 6001000);
            QVERIFY(document.startsWith("plucker") || file(r.textPath) == text);
            QVERIFY(seen.size() > 10 && std::is_sorted(seen.begin(), seen.end()) && seen.last() == size);
        }
    }

    // At start the parts of killed preparations go; a part being written stays, and so does
    // anything that is not a part of this user's: links, folders, FIFOs, other users' files.
    void abandonedParts()
    {
        const QString folium = root() + "/folium", victim = root() + "/victim";
        QVERIFY(makePrivateFolder(folium));
        file(victim, "stays");
        for (const char *name : {"/.part-dead", "/.part-held", "/.part-foreign", "/book.txt", "/.part"})
            file(folium + name, name);
        QVERIFY(QFile::link(victim, folium + "/.part-link") && QDir().mkdir(folium + "/.part-folder"));
        QVERIFY(::mkfifo(QFile::encodeName(folium + "/.part-fifo").constData(), 0600) == 0);
        const bool isRoot = ::geteuid() == 0; // only root can give a file away
        QVERIFY(!isRoot || ::chown(QFile::encodeName(folium + "/.part-foreign").constData(), 4242, 4242) == 0);
        const int held = ::open(QFile::encodeName(folium + "/.part-held").constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
        QCOMPARE(SourcePreparer::removeAbandonedParts(root()), isRoot ? 1 : 2);
        QCOMPARE(entries(folium), QString(".part .part-fifo .part-folder%1 .part-held .part-link book.txt")
                                      .arg(isRoot ? " .part-foreign" : ""));
        QCOMPARE(file(victim), QByteArray("stays"));

        // A preparation's own part is held while it is written: a sweep meanwhile leaves it.
        const QByteArray text = sampleText(4 << 20, 5);
        writeDocument(root() + "/docs/big.gz", text);
        int sweptMeanwhile = -1;
        SourcePreparer preparer(root());
        const Result r = preparer.prepare(root() + "/docs/big.gz", [&](quint64 done, quint64 total) {
            if (done > 0 && done < total && sweptMeanwhile < 0)
                sweptMeanwhile = SourcePreparer::removeAbandonedParts(root());
            return true;
        });
        QCOMPARE(sweptMeanwhile, 0);
        QVERIFY(r.status.isOk() && file(r.textPath) == text);
        ::close(held);
        QCOMPARE(SourcePreparer::removeAbandonedParts(root()), 1);
    }
};

QTEST_APPLESS_MAIN(tst_SourcePreparer)
#include "tst_sourcepreparer.moc"
