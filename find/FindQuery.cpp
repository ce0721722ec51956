#include "FindQuery.h"

#include <QChar>
#include <QList>
#include <algorithm>
#include <map>

namespace findchars {

bool isSpace(char32_t c)
{
    return c <= 0x10FFFF && QChar::isSpace(c);
}

bool isWordChar(char32_t c)
{
    if (c < 0x80)
        return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') || c == U'_';
    return c <= 0x10FFFF && (QChar::isLetterOrNumber(c) || QChar::isMark(c));
}

char32_t fold(char32_t c)
{
    if (c < 0x80)
        return c >= U'A' && c <= U'Z' ? c + 32 : c;
    return c <= 0x10FFFF ? QChar::toCaseFolded(c) : c;
}

std::vector<char32_t> unfolded(char32_t folded)
{
    // Folding moves few characters; their reverse is found once, by asking about every one.
    static const std::multimap<char32_t, char32_t> reverse = [] {
        std::multimap<char32_t, char32_t> map;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            const char32_t f = QChar::toCaseFolded(c);
            if (f != c)
                map.emplace(f, c);
        }
        return map;
    }();
    std::vector<char32_t> out{folded};
    const auto range = reverse.equal_range(folded);
    for (auto it = range.first; it != range.second; ++it)
        out.push_back(it->second);
    return out;
}

} // namespace findchars

FindQuery::FindQuery(const QString &text, FindOptions options) : m_text(text), m_options(options)
{
    const QList<uint> chars = text.left(MaxLength * 2).toUcs4();
    for (const uint value : chars) {
        const char32_t c = value;
        if (c == 0xFEFF)
            continue;  // never shown
        const char32_t token = tokenOf(c);
        if (token == Space && (m_tokens.empty() || m_tokens.back() == Space))
            continue;
        m_tokens.push_back(token);
        if (qsizetype(m_tokens.size()) == MaxLength)
            break;
    }
    while (!m_tokens.empty() && m_tokens.back() == Space)
        m_tokens.pop_back();
}
