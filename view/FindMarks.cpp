#include "FindMarks.h"

#include <algorithm>

void FindMarks::set(const FindSource &source, const FindQuery &query, const Hit &current)
{
    if (!m_finderOpen || source != m_source) {
        m_source = source;
        m_finderOpen = m_finder.open(source).isOk();
    }
    m_query = query;
    m_current = current;
    if (m_finderOpen)
        m_finder.setQuery(query);
    m_hits.assign(1, current);
    m_collectedFrom = -1;
}

void FindMarks::clear()
{
    m_current = Hit{};
    m_hits.clear();
    m_collectedFrom = -1;
}

void FindMarks::collectAround(qint64 position, bool preformatted)
{
    // A page read from the window's last quarter may run past it: collect afresh from there.
    if (!isActive()
        || (m_collectedFrom >= 0 && position >= m_collectedFrom && position < m_collectedFrom + PageReach * 3 / 4))
        return;
    // Plain text is read from a little before, for a hit that runs on into the page; markup from
    // the line itself, as the view reads it, not from wherever an earlier pass could resume.
    m_finder.addReadingPlace(position, preformatted);
    const bool plain = m_finderOpen && m_finder.way() == TextFinder::Way::ByteScan;
    const qint64 from = std::max<qint64>(0, plain ? position - 4096 : position);
    m_collectedFrom = from;
    m_hits.clear();
    if (m_finderOpen) {
        m_finder.findAll(from, from + PageReach, [this](const Hit &hit) {
            m_hits.push_back(hit);
            return m_hits.size() < MaxHitsKept;
        });
    }
    // A hit the finder no longer sees (the file changed under it) is still marked where it was.
    if (std::find(m_hits.begin(), m_hits.end(), m_current) == m_hits.end()) {
        m_hits.insert(std::lower_bound(m_hits.begin(), m_hits.end(), m_current,
                                       [](const Hit &a, const Hit &b) { return a.first < b.first; }),
                      m_current);
    }
}

bool FindMarks::meets(qint64 start, qint64 end) const
{
    // Hits are in order of their first bytes and may overlap; one that meets the range starts
    // before its end and lies among the last few that do.
    auto it = std::lower_bound(m_hits.begin(), m_hits.end(), end,
                               [](const Hit &h, qint64 p) { return h.first < p; });
    for (int looked = 0; it != m_hits.begin() && looked < 64; ++looked) {
        --it;
        if (it->end > start)
            return true;
    }
    return false;
}

FindMarks::Mark FindMarks::markOf(qint64 start, qint64 end) const
{
    if (!isActive())
        return Mark::None;
    if (m_current.first < end && start < m_current.end)
        return Mark::Current;
    return meets(start, end) ? Mark::Other : Mark::None;
}

FindMarks::Mark FindMarks::markSpanning(qint64 start, qint64 end) const
{
    if (!isActive())
        return Mark::None;
    if (m_current.first <= start && end <= m_current.end)
        return Mark::Current;
    auto it = std::upper_bound(m_hits.begin(), m_hits.end(), start,
                               [](qint64 p, const Hit &h) { return p < h.first; });
    for (int looked = 0; it != m_hits.begin() && looked < 64; ++looked) {
        --it;
        if (it->end >= end)
            return Mark::Other;
    }
    return Mark::None;
}
