// The Plucker paragraph index: rim files read trusting nothing but whole entries, and the index the
// preparer keeps beside a Plucker book's text.
#include "PalmBuilder.h"
#include "PluckerIndex.h"
#include "SourcePreparer.h"
#include "TestFiles.h"
#include <QDir>
#include <QtTest>

using namespace PalmBuilder;

namespace {
QVector<PluckerIndexEntry> indexOf(const QString &rimPath, bool *ok = nullptr)
{
    QVector<PluckerIndexEntry> index{{1, 1, 1}}; // a load empties it first
    const bool loaded = loadPluckerIndex(rimPath, index).isOk();
    if (ok)
        *ok = loaded;
    return index;
}
} // namespace

class tst_PluckerIndex : public QObject
{
    Q_OBJECT

private slots:
    // Whole 8-byte little-endian entries only; a missing file gives none and says so.
    void readsWholeEntriesOnly()
    {
        TestFolder folder;
        const QByteArray rim("\xFF\xFE\x02\x01\x78\x56\x34\xF2\x05\x00\x00", 11);
        const QVector<PluckerIndexEntry> index = indexOf(folder.write("a.rim", rim));
        QVERIFY(index.size() == 1 && index[0].recordId == 0xFEFF && index[0].paragraph == 0x0102
                && index[0].offset == 0xF2345678);
        bool ok = true;
        QVERIFY(indexOf(folder.filePath("none.rim"), &ok).isEmpty() && !ok);
    }

    // Written in place of a link planted there (never through it), reused with an unchanged copy,
    // made again with the text when it changed, and kept when the text is released.
    void preparedBesideTheText()
    {
        TestFolder root;
        const QString folium = root.filePath("folium"), victim = root.write("victim", "must stay");
        QVERIFY(QDir().mkpath(folium) && QFile::setPermissions(folium, QFile::ReadOwner | QFile::WriteOwner
                                                                              | QFile::ExeOwner));
        QVERIFY(QFile::link(victim, folium + "/b.rim"));
        const QByteArray record = pluckerTextRecord(4, {"Go", ""}, Packing::Zlib);
        const QString book = root.write("docs/b.pdb", pluckerDocument(2, {record}));
        const QByteArray text = "Go" + endOfParagraph().repeated(2);
        for (const QString change : {"made", "none", "rim"}) {
            QFile rim(folium + "/b.rim");
            QVERIFY(change != "rim" || (rim.open(QIODevice::Append) && rim.write("8 bytes!") == 8));
            rim.close();
            SourcePreparer preparer(root.path());
            const SourcePreparer::Result r = preparer.prepare(book);
            QVERIFY2(r.status.isOk() && r.plucker && r.rimPath == rim.fileName(), qPrintable(change));
            QCOMPARE(readFile(r.textPath), change == "none" ? "#" + text.mid(1) : text);
            QVERIFY(!QFileInfo(r.rimPath).isSymLink() && indexOf(r.rimPath).size() == 2);
            QCOMPARE(readFile(victim), QByteArray("must stay"));
            QFile copy(r.textPath);
            QVERIFY(copy.open(QIODevice::ReadWrite) && copy.write("#") == 1); // shows a reuse
            if (change == "rim") {
                preparer.release(r.textPath);
                QVERIFY(!QFileInfo::exists(r.textPath) && QFileInfo::exists(r.rimPath));
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_PluckerIndex)
#include "tst_pluckerindex.moc"
