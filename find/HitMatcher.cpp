#include "HitMatcher.h"

#include <algorithm>

HitMatcher::HitMatcher(const FindQuery &query)
    : m_tokens(query.tokens()), m_wholeWords(query.options().wholeWords), m_query(query)
{
    const int m = int(m_tokens.size());
    m_fail.assign(size_t(std::max(m, 1)), 0);
    for (int i = 1, k = 0; i < m; ++i) {
        while (k > 0 && m_tokens[size_t(i)] != m_tokens[size_t(k)])
            k = m_fail[size_t(k - 1)];
        if (m_tokens[size_t(i)] == m_tokens[size_t(k)])
            ++k;
        m_fail[size_t(i)] = k;
    }
    m_ring.resize(size_t(m + 1));
    reset();
}

void HitMatcher::reset(bool previousIsWord)
{
    m_count = 0;
    m_state = 0;
    m_previousWord = m_lastWord = previousIsWord;
    m_inSpace = false;
    m_waiting = Hit{};
}

void HitMatcher::feed(const ShownChar &c, std::vector<Hit> &hits)
{
    if (m_tokens.empty())
        return;
    const char32_t value = m_query.tokenOf(c.value);
    if (value == FindQuery::Space) {
        m_lastWord = false;
        if (m_inSpace) {
            m_ring[size_t((m_count - 1) % qint64(m_ring.size()))].end = c.end;
            return;
        }
        m_inSpace = true;
        takeToken(value, Token{c.start, c.end, false}, hits);
        return;
    }
    m_inSpace = false;
    m_lastWord = findchars::isWordChar(c.value);
    takeToken(value, Token{c.start, c.end, m_lastWord}, hits);
}

void HitMatcher::takeToken(char32_t value, const Token &t, std::vector<Hit> &hits)
{
    if (m_waiting.isValid()) {
        if (!(m_waitingEndsWord && t.word))
            hits.push_back(m_waiting);
        m_waiting = Hit{};
    }
    m_ring[size_t(m_count % qint64(m_ring.size()))] = t;
    ++m_count;

    const int m = int(m_tokens.size());
    while (m_state > 0 && m_tokens[size_t(m_state)] != value)
        m_state = m_fail[size_t(m_state - 1)];
    if (m_tokens[size_t(m_state)] == value)
        ++m_state;
    if (m_state < m)
        return;
    m_state = m_fail[size_t(m - 1)];

    const qint64 firstIndex = m_count - m;
    const Token &first = token(firstIndex);
    const Hit hit{first.start, t.end};
    if (!m_wholeWords) {
        hits.push_back(hit);
        return;
    }
    const bool previousWord = firstIndex > 0 ? token(firstIndex - 1).word : m_previousWord;
    if (first.word && previousWord)
        return;
    m_waiting = hit;
    m_waitingEndsWord = t.word;
}

void HitMatcher::finish(std::vector<Hit> &hits)
{
    if (m_waiting.isValid())
        hits.push_back(m_waiting);
    m_waiting = Hit{};
    m_state = 0;
}

qint64 HitMatcher::pendingStart() const
{
    qint64 start = m_waiting.isValid() ? m_waiting.first : Nothing;
    if (m_state > 0)
        start = std::min(start, token(m_count - m_state).start);
    return start;
}
