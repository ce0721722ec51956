// Fuzz target: any bytes as a text or HTML document through "Build Contents". The contents file
// must read back as whole entries in document order, each with a trimmed, bounded title and a
// place inside the document; and a scan whose progress calls move the document elsewhere must
// write the very same file, since the scan keeps its own place.
// The first byte chooses the encoding (bits 0-1) and whether the document is read as HTML (bit 2).
#include "BookmarkFile.h"
#include "ContentsScanner.h"
#include "Document.h"
#include "FuzzInput.h"
#include "toUnicode.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr size_t MaxInput = 64 * 1024;
constexpr qsizetype LongestTitle = 1026;  // 1,024 characters kept, the last perhaps a surrogate pair

QByteArray scanInto(Document &document, const QString &path, bool meddle)
{
    BookmarkFileWriter writer(path);
    check(writer.isOpen());
    ContentsScanner(document).scan(writer, [&](int percent) {
        check(percent >= 0 && percent <= 100);
        if (meddle) {
            // What a page drawn meanwhile does: read from somewhere else.
            PositionedReader &file = document.reader();
            file.seek(file.size() / 2);
            for (int i = 0; i < 40 && !file.atEnd(); ++i)
                file.readChar();
        }
        return true;
    });
    check(writer.commit());
    QFile file(path);
    check(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir folder;
    static Document document;
    if (size == 0 || size > MaxInput)
        return 0;
    static const int book = memoryFile("book.txt");
    const unsigned char selector = data[0];
    refill(book, data + 1, size - 1);
    check(document.open(QString::fromStdString(pathOf(book))).isOk() && document.isOpen());
    static const QString codePage = toUnicode::getCodecList().section(QLatin1Char(','), 1, 1);
    const QString encodings[] = {QStringLiteral("UTF-8"), codePage, QStringLiteral("UTF-16LE"),
                                 QStringLiteral("UTF-16BE")};
    document.setEncoding(encodings[selector & 3]);
    document.setReadAsHtml(selector & 4);

    const QString contents = folder.filePath(QStringLiteral("book.cnt"));
    const QByteArray plain = scanInto(document, contents, false);
    check(scanInto(document, contents, true) == plain);

    QList<BookmarkRecord> records;
    check(readBookmarkRecords(contents, records).isOk());
    check(plain.count('\n') == 4 * records.size());
    qint64 previous = -1;
    for (const BookmarkRecord &r : records) {
        check(!r.title.isEmpty() && r.title == r.title.trimmed() && r.title.size() <= LongestTitle);
        bool numbers = false;
        const qint64 position = r.position.toLongLong(&numbers);
        check(numbers && position >= previous && position <= document.size());
        const qint64 page = r.page.toLongLong(&numbers);
        check(numbers && page >= Document::pageNumber(position, document.size())
              && page <= document.virtualPageCount() + 1);
        check(r.paragraph == QLatin1String("1"));
        previous = position;
    }
    return 0;
}
