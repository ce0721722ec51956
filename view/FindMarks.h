#pragma once

#include "TextFinder.h"

#include <vector>

// The hits of the last search that the page on screen marks: the current one strongly, the others
// lightly. The page's other hits are found with a finder of the view's own, so marking a page never
// waits on a search running elsewhere.
class FindMarks
{
public:
    enum class Mark { None, Other, Current };

    bool isActive() const { return m_current.isValid(); }
    const Hit &current() const { return m_current; }
    const FindQuery &query() const { return m_query; }

    void set(const FindSource &source, const FindQuery &query, const Hit &current);
    void clear();
    // Makes sure the hits near `position`, a line start the view reads from, are known: those
    // from there to PageReach on, at least every hit a page from there may hold.
    void collectAround(qint64 position, bool preformatted);
    // Whether a hit meets the bytes [start, end).
    bool meets(qint64 start, qint64 end) const;
    // How the bytes [start, end) are marked: by the current hit if it meets them, else by any.
    Mark markOf(qint64 start, qint64 end) const;
    // How a hit that holds all of [start, end) marks it.
    Mark markSpanning(qint64 start, qint64 end) const;

    static constexpr qint64 PageReach = 256 * 1024;
    static constexpr size_t MaxHitsKept = 2000;

private:
    TextFinder m_finder;
    bool m_finderOpen = false;
    FindSource m_source;
    FindQuery m_query;
    Hit m_current;
    std::vector<Hit> m_hits;  // in order, the current one included
    qint64 m_collectedFrom = -1;  // m_hits are those of [m_collectedFrom, + PageReach); -1: none yet
};
