// The finder against the plain way: decode the whole document as the page shows it and compare at
// every character. Input: a flags byte (HTML, match case, whole words, carriage returns as line
// feeds, two bits of encoding), a query length byte, the query in UTF-8, then the document.
#include "Document.h"
#include "FindModel.h"
#include "FuzzInput.h"
#include "TextFinder.h"

#include <QString>

namespace {
constexpr size_t MaxDocument = 64 * 1024;
constexpr size_t MaxQuery = 24;
const char *const Encodings[] = {"UTF-8", "CP 1252", "UTF-16LE", "Shift_JIS"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const int fd = memoryFile("find_text");
    const uint8_t flags = data[0];
    const size_t queryLength = std::min<size_t>({data[1] % (MaxQuery + 1), size - 2});
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + 2), qsizetype(queryLength));
    const size_t documentLength = std::min(MaxDocument, size - 2 - queryLength);
    refill(fd, data + 2 + queryLength, documentLength);

    FindSource source;
    source.path = QString::fromStdString(pathOf(fd));
    source.encoding = QString::fromLatin1(Encodings[(flags >> 4) & 3]);
    source.readAsHtml = flags & 1;
    source.rules.crIsLineFeed = flags & 8;
    source.rules.stripNewlines = source.readAsHtml && (flags & 64);
    const FindQuery query(text, FindOptions{bool(flags & 2), bool(flags & 4)});

    TextFinder finder;
    if (!finder.open(source).isOk())
        return 0;
    finder.setQuery(query);
    std::vector<Hit> found;
    finder.findAll(0, finder.size(), [&](const Hit &h) {
        found.push_back(h);
        return found.size() < 100000;
    });

    Document document;
    check(document.open(source.path).isOk());
    document.setReadAsHtml(source.readAsHtml);
    document.setEncoding(source.encoding);
    const std::vector<Hit> expected = findmodel::hits(findmodel::shownText(document, source.rules), query);
    check(found == expected);

    // Backward from the end gives the last hits, nearest first.
    Hit hit;
    qint64 before = finder.size();
    for (size_t i = 0; i < 4 && i < expected.size(); ++i) {
        check(finder.findBackward(before, 0, &hit) == TextFinder::Result::Found);
        check(hit == expected[expected.size() - 1 - i]);
        before = hit.first;
    }
    if (expected.size() < 4)
        check(finder.findBackward(before, 0, &hit) == TextFinder::Result::NotFound);
    return 0;
}
