#pragma once

#include <QString>
#include <QtGlobal>
#include <vector>

// How a query is matched: case is folded unless matchCase; with wholeWords a hit may not start
// or end inside a word.
struct FindOptions
{
    bool matchCase = false;
    bool wholeWords = false;

    bool operator==(const FindOptions &o) const { return matchCase == o.matchCase && wholeWords == o.wholeWords; }
};

// A hit: the bytes of the file really read from the first byte of its first character to the
// byte after its last character.
struct Hit
{
    qint64 first = -1;
    qint64 end = -1;

    bool isValid() const { return first >= 0; }
    bool operator==(const Hit &o) const { return first == o.first && end == o.end; }
    bool operator!=(const Hit &o) const { return !(*this == o); }
};

// The classes of shown characters the matcher works with.
namespace findchars {
// White space as the page shows it: any Unicode space, tab, line feed, no-break space.
bool isSpace(char32_t c);
// Letters, digits, combining marks and "_": what a whole word may not continue with.
bool isWordChar(char32_t c);
// Simple Unicode case folding, one character to one ("Σ", "ς" -> "σ").
char32_t fold(char32_t c);
// Every character whose folding is `folded`, itself included.
std::vector<char32_t> unfolded(char32_t folded);
} // namespace findchars

// A query as the matcher sees it: its characters folded unless case matters, each run of white
// space one Space token, white space at either end dropped. Shown text matches when its characters,
// folded and with runs of white space (line ends included) taken as one, equal the tokens.
class FindQuery
{
public:
    static constexpr qsizetype MaxLength = 1000;  // characters; a longer query is cut there
    static constexpr char32_t Space = 0xFFFFFFFFu;  // the token of a run of white space

    FindQuery() = default;
    FindQuery(const QString &text, FindOptions options);

    // Nothing to look for: an empty query or one of white space only.
    bool isEmpty() const { return m_tokens.empty(); }
    const std::vector<char32_t> &tokens() const { return m_tokens; }
    const FindOptions &options() const { return m_options; }
    const QString &text() const { return m_text; }

    // The token a shown character stands for.
    char32_t tokenOf(char32_t c) const
    {
        if (c < 0x80) {
            if (c == U' ' || (c >= U'\t' && c <= U'\r'))
                return Space;
            return !m_options.matchCase && c >= U'A' && c <= U'Z' ? c + 32 : c;
        }
        if (findchars::isSpace(c))
            return Space;
        return m_options.matchCase ? c : findchars::fold(c);
    }

private:
    QString m_text;
    FindOptions m_options;
    std::vector<char32_t> m_tokens;
};
