#pragma once

#include "FindQuery.h"
#include "ShownReader.h"

#include <limits>
#include <vector>

// Finds every hit of a query in a stream of shown characters, in order, overlapping ones too
// ("aa" twice in "aaa"). Characters are turned into the query's tokens, a run of white space into
// one; the tokens are matched with Knuth-Morris-Pratt, so each character costs the same whatever
// the text. With whole words a hit waits for the character after it before it is given out.
class HitMatcher
{
public:
    static constexpr qint64 Nothing = std::numeric_limits<qint64>::max();

    explicit HitMatcher(const FindQuery &query);

    // A new stream; `previousIsWord`: the character shown just before it continues a word.
    void reset(bool previousIsWord = false);
    // Takes the next shown character; hits it decides are appended to `hits`.
    void feed(const ShownChar &c, std::vector<Hit> &hits);
    // The text has ended: a hit waiting for the character after it is decided.
    void finish(std::vector<Hit> &hits);
    // Where the earliest hit that may still come starts, Nothing when none is under way.
    qint64 pendingStart() const;
    // The last character fed continues a word (or, before any, what reset() was told).
    bool lastIsWord() const { return m_lastWord; }

private:
    struct Token
    {
        qint64 start = 0;
        qint64 end = 0;
        bool word = false;
    };
    void takeToken(char32_t value, const Token &token, std::vector<Hit> &hits);
    const Token &token(qint64 index) const { return m_ring[size_t(index % qint64(m_ring.size()))]; }

    std::vector<char32_t> m_tokens;
    bool m_wholeWords = false;
    FindQuery m_query;
    std::vector<int> m_fail;   // Knuth-Morris-Pratt failure links
    std::vector<Token> m_ring; // the last tokens.size() + 1 tokens of the text
    qint64 m_count = 0;        // tokens of the text so far
    int m_state = 0;           // query tokens matched by the latest text tokens
    bool m_previousWord = false;
    bool m_lastWord = false;
    bool m_inSpace = false;    // the last token is a run of white space still growing
    Hit m_waiting;             // a whole-word hit waiting for the character after it
    bool m_waitingEndsWord = false;
};
