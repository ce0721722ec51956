// Fuzz target: any bytes as each file the reader keeps for itself: a bookmark or contents file,
// a Plucker paragraph index (.rim) and the settings file. Bookmark records written back read back
// the same; the index holds one entry per whole 8 bytes; settings saved and loaded again are the
// settings first loaded.
#include "BookmarkFile.h"
#include "Config.h"
#include "FuzzInput.h"
#include "PluckerIndex.h"
#include "ReaderSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr size_t MaxInput = 64 * 1024;

struct Settings
{
    ReaderSettings reader;
    ReadingPlace place;
};

Settings loadSettings(const QString &path)
{
    Config config(path, Config::File);
    config.setGroup(QStringLiteral("Global"));
    Settings s;
    s.reader.load(config);
    s.place.load(config);
    return s;
}

bool samePlace(const ReadingPlace &a, const ReadingPlace &b)
{
    // A colour is kept by its name: one without a name, or with alpha, comes back as its name says.
    return a.fileName == b.fileName && a.folderPath == b.folderPath && a.position == b.position
        && a.paragraph == b.paragraph && a.penColor.name() == b.penColor.name() && a.bold == b.bold
        && a.italic == b.italic && a.underline == b.underline;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "stored_files";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QTemporaryDir folder;
    static int run = 0;
    if (size > MaxInput)
        return 0;
    // Settings files are cached by name: every run reads names never read before.
    const QString stem = folder.filePath(QString::number(++run));
    const QString input = stem + QStringLiteral(".in"), output = stem + QStringLiteral(".out");
    {
        QFile file(input);
        check(file.open(QIODevice::WriteOnly) && file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    }

    QList<BookmarkRecord> records, again;
    check(readBookmarkRecords(input, records).isOk());
    check(records.size() <= qsizetype(size / 4) + 1);
    check(writeBookmarkRecords(output, records));
    check(readBookmarkRecords(output, again).isOk() && again.size() == records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const BookmarkRecord &a = records[i], &b = again[i];
        check(a.title == b.title && a.page == b.page && a.position == b.position && a.paragraph == b.paragraph);
    }
    QFile::remove(output);

    QVector<PluckerIndexEntry> index;
    check(loadPluckerIndex(input, index).isOk() && index.size() == qsizetype(size / 8));

    const Settings loaded = loadSettings(input);
    {
        Config config(output, Config::File);
        config.setGroup(QStringLiteral("Global"));
        loaded.reader.save(config);
        loaded.place.save(config);
    }
    const Settings reloaded = loadSettings(output);
    check(reloaded.reader == loaded.reader && samePlace(reloaded.place, loaded.place));
    QFile::remove(input);
    QFile::remove(output);
    return 0;
}
