#include "HtmlEntities.h"

#include <QString>

#include "html_entities_table.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char32_t ReplacementChar = 0xFFFD;

// windows-1252 for 0x80-0x9F; 0 where it assigns nothing and the value is kept.
constexpr char16_t Windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

bool lookupHtmlEntity(QStringView name, char32_t &first, char32_t &second)
{
    first = second = 0;
    const qsizetype length = name.size();
    if (length == 0 || length > HtmlEntityLongestName)
        return false;
    char key[HtmlEntityLongestName];
    for (qsizetype i = 0; i < length; ++i) {
        const char16_t c = name[i].unicode();
        if (c >= 0x80)
            return false;
        key[i] = char(c);
    }
    if (key[0] < HtmlEntityFirstLetter || key[0] > HtmlEntityLastLetter)
        return false;
    int low = htmlEntityByFirstLetter[key[0] - HtmlEntityFirstLetter];
    int high = htmlEntityByFirstLetter[key[0] - HtmlEntityFirstLetter + 1];
    while (low < high) {
        const int middle = low + (high - low) / 2;
        const HtmlEntityRecord &record = htmlEntityRecords[middle];
        int order = std::memcmp(htmlEntityNames + record.nameOffset, key,
                                size_t(std::min<qsizetype>(record.nameLength, length)));
        if (order == 0)
            order = int(record.nameLength) - int(length);
        if (order < 0) {
            low = middle + 1;
        } else if (order > 0) {
            high = middle;
        } else {
            first = record.first;
            second = record.second;
            return true;
        }
    }
    return false;
}

char32_t numericCharacterReference(QStringView digitsAfterHash)
{
    QStringView digits = digitsAfterHash;
    char32_t base = 10;
    if (!digits.isEmpty() && (digits[0] == u'x' || digits[0] == u'X')) {
        base = 16;
        digits = digits.mid(1);
    }
    if (digits.isEmpty())
        return 0;
    char32_t value = 0;
    bool tooLarge = false; // the digits go on being checked, but the value stops growing
    for (const QChar ch : digits) {
        const char16_t c = ch.unicode();
        char32_t digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && (c | 0x20) >= u'a' && (c | 0x20) <= u'f')
            digit = (c | 0x20) - u'a' + 10;
        else
            return 0;
        if (!tooLarge) {
            value = value * base + digit; // at most 0x10FFFF * 16 + 15: no overflow
            tooLarge = value > 0x10FFFF;
        }
    }
    if (tooLarge || value == 0 || (value >= 0xD800 && value <= 0xDFFF))
        return ReplacementChar;
    if (value >= 0x80 && value <= 0x9F && Windows1252High[value - 0x80] != 0)
        return Windows1252High[value - 0x80];
    return value;
}

QString decodeHtmlReferences(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype end = text[i] == QLatin1Char('&') ? text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (end < 0 || end - i - 1 > 32 || end == i + 1) {
            out += text[i];
            continue;
        }
        const QStringView body = text.mid(i + 1, end - i - 1);
        char32_t first = 0, second = 0;
        if (body.startsWith(QLatin1Char('#')))
            first = numericCharacterReference(body.mid(1));
        else
            lookupHtmlEntity(body, first, second);
        if (first == 0) {
            out += text[i];
            continue;
        }
        for (const char32_t c : {first, second}) {
            if (c)
                out += QString::fromUcs4(&c, 1);
        }
        i = end;
    }
    return out;
}
