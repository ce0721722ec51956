// Fuzz target: any text as a dictionary sense (and headword) through the entry formatter. Text
// from the dictionary never acts as mark-up: once the tags the formatter writes itself are taken
// out, no "<", ">" or '"' is left, and the page stays within a bounded multiple of the sense.
// Input: the headword up to the first line feed, then the sense, both UTF-8.
#include "EntryFormatter.h"
#include "FuzzInput.h"

#include <QString>

namespace {

constexpr size_t MaxInput = 64 * 1024;

// Everything the formatter itself writes that holds a "<", ">" or '"'. The value of an href ends
// with '">'.
QString withoutOwnTags(QString page)
{
    static const char *const tags[] = {"<b>",  "</b>", "<i>", "</i>", "<ol>", "</ol>",     "<hr/>",
                                       "<li>", "</li>", "<p>", "</p>", "</a>", "<a href=\"", "\">"};
    for (const char *tag : tags)
        page.remove(QLatin1String(tag));
    return page;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static EntryFormatter formatter;  // one for every lookup, as the translation page keeps
    if (size > MaxInput)
        return 0;
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype lineEnd = input.indexOf(QLatin1Char('\n'));
    const QString word = lineEnd < 0 ? QString() : input.left(lineEnd);
    const QString sense = lineEnd < 0 ? input : input.mid(lineEnd + 1);

    const QString page = formatter.dictFormat(sense, word);
    check(page.size() <= 64 * (sense.size() + word.size()) + 256 * 1024);
    const QString rest = withoutOwnTags(page);
    check(!rest.contains(QLatin1Char('<')) && !rest.contains(QLatin1Char('>')) && !rest.contains(QLatin1Char('"')));
    return 0;
}
