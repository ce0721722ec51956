// EPUB parsing: the first byte picks what the rest of the input is taken for: the container, the
// package document, the encryption file, an NCX, a navigation document, or a whole book (a zip)
// converted to HTML under a small size limit. Whatever comes in, every count stays within its
// bound, nothing crashes, and a book that converts describes itself within those bounds.
#include "EpubBook.h"
#include "EpubPackage.h"
#include "FuzzBook.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray xml(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString member = QStringLiteral("OEBPS/content.opf");
    epub::Package package;
    QVector<epub::ContentsEntry> entries;
    switch (data[0] % 6) {
    case 0: {
        QString path;
        if (epub::rootFile(xml, path).isOk())
            check(!path.isEmpty() && !path.startsWith(QLatin1Char('/')) && !path.split(QLatin1Char('/')).contains(".."));
        break;
    }
    case 1:
        if (epub::package(xml, member, package).isOk())
            check(!package.spine.isEmpty() && package.spine.size() <= epub::MaxItems
                  && package.manifest.size() <= epub::MaxItems);
        for (const int index : std::as_const(package.spine))
            check(index >= 0 && index < package.manifest.size());
        break;
    case 2: {
        bool encrypted = false;
        epub::encryptsContent(xml, package, encrypted);
        break;
    }
    case 3:
    case 4:
        (data[0] % 6 == 3 ? epub::ncxContents : epub::navContents)(xml, member, entries);
        check(entries.size() <= epub::MaxItems);
        for (const epub::ContentsEntry &entry : std::as_const(entries))
            check(entry.level >= 0 && entry.level <= 256);
        break;
    default:
        convertBook(data + 1, size - 1, false, EpubBook::convert);
    }
    return 0;
}
