#pragma once

#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>

// The words drawn on the page on screen with their places, for finding the word under a tap.
class PageWords
{
public:
    static constexpr int Capacity = 400;

    struct Word
    {
        QString text;
        uint16_t linkRecord = 0;  // both 0: not a link
        uint16_t linkParagraph = 0;
        uint16_t htmlLink = 0;  // an HTML link's number in the document's link table; 0: none
        int x = 0;  // left edge
        int y = 0;  // baseline
    };

    void clear() { m_count = 0; }
    // Records a word drawn with its left edge at x and its baseline at y. Past the table's end the
    // last slot in use takes every further word, so the latest word drawn can still be tapped.
    void add(const QString &text, int x, int y, uint16_t linkRecord, uint16_t linkParagraph, uint16_t htmlLink = 0)
    {
        Word &slot = m_words[size_t(std::min(m_count, Capacity - 2))];
        slot = Word{text, linkRecord, linkParagraph, htmlLink, x, y};
        if (m_count < Capacity - 1)
            ++m_count;
    }
    int count() const { return m_count; }
    // Precondition: i < count().
    const Word &at(int i) const { return m_words[size_t(i)]; }

    // The last word, in reading order, that starts left of x on the line whose baseline is the
    // first at or below y; null when there is none. `pitch` is the line pitch.
    const Word *wordAt(int x, int y, int pitch) const
    {
        for (int i = std::min(m_count, Capacity - 1) - 1; i >= 0; --i) {
            const Word &w = m_words[size_t(i)];
            if (w.y <= y + pitch && w.x <= x)
                return &w;
        }
        return nullptr;
    }

private:
    std::array<Word, Capacity> m_words;
    int m_count = 0;
};
