#pragma once
// The plain way to find a query, for the finder to agree with: decode the whole document as the
// page reads it, turn it into the query's tokens, and compare at every place.

#include "Document.h"
#include "FindQuery.h"
#include "MarkupReader.h"
#include "ShownReader.h"

#include <vector>

namespace findmodel {

struct Char
{
    char32_t value;
    qint64 start, end;
};

// Every character the page shows, read from the start as the line fitter reads.
inline std::vector<Char> shownText(Document &document, const ShownRules &rules)
{
    MarkupReader markup(document);
    markup.setStripNewlines(rules.stripNewlines);
    document.reader().seek(0);
    TextStyle style;
    uint8_t increment = 0;
    std::vector<Char> out;
    qint64 lastStart = 0;
    while (!document.reader().atEnd()) {
        const qint64 before = document.position();
        const MarkupReader::Char c = markup.read(style, increment);
        const qint64 after = document.position();
        if (c.kind == MarkupReader::Kind::Hidden)
            continue;
        char32_t value = c.kind == MarkupReader::Kind::Text ? c.value : U'\n';
        if (c.kind == MarkupReader::Kind::Text && value == 0xFEFF)
            continue;
        if (c.kind == MarkupReader::Kind::Text && value == U'\r') {
            if (!rules.crIsLineFeed)
                continue;
            value = U'\n';
        }
        const qint64 start = after == before ? lastStart : before;
        out.push_back(Char{value, start, after});
        lastStart = start;
    }
    return out;
}

// Every hit, overlapping ones too, by comparing at every token.
inline std::vector<Hit> hits(const std::vector<Char> &text, const FindQuery &query)
{
    struct Token
    {
        char32_t value;
        qint64 start, end;
        bool word;
    };
    std::vector<Token> tokens;
    for (const Char &c : text) {
        const char32_t t = query.tokenOf(c.value);
        if (t == FindQuery::Space && !tokens.empty() && tokens.back().value == FindQuery::Space) {
            tokens.back().end = c.end;
            continue;
        }
        tokens.push_back(Token{t, c.start, c.end, t != FindQuery::Space && findchars::isWordChar(c.value)});
    }
    const std::vector<char32_t> &q = query.tokens();
    std::vector<Hit> out;
    for (size_t i = 0; !q.empty() && i + q.size() <= tokens.size(); ++i) {
        bool same = true;
        for (size_t j = 0; j < q.size() && same; ++j)
            same = tokens[i + j].value == q[j];
        if (!same)
            continue;
        const Token &first = tokens[i];
        const Token &last = tokens[i + q.size() - 1];
        if (query.options().wholeWords) {
            if (first.word && i > 0 && tokens[i - 1].word)
                continue;
            if (last.word && i + q.size() < tokens.size() && tokens[i + q.size()].word)
                continue;
        }
        // Hits are byte ranges: characters a codec decoded from the same bytes give one hit.
        if (out.empty() || out.back().first != first.start)
            out.push_back(Hit{first.start, last.end});
    }
    return out;
}

} // namespace findmodel
