#pragma once

#include <QtGlobal>
#include <algorithm>

// "page x of y" for the legible bar without laying out the whole book: pages are counted in the
// average length, in bytes, of the pages laid out since the layout last changed. The figures
// settle as one reads and never claim a page past the last.
class PageCount
{
public:
    void forget()
    {
        m_bytes = 0;
        m_pages = 0;
    }

    void notePage(qint64 start, qint64 end)
    {
        if (end <= start)
            return;
        // Bounded sums: a very long session still averages the same way.
        if (m_pages >= 4096) {
            m_bytes /= 2;
            m_pages /= 2;
        }
        m_bytes += end - start;
        ++m_pages;
    }

    // The page starting at `position`, from 1 (rounded: page starts lie near multiples of the
    // average), and the pages of a `size`-byte document.
    qint64 pageOf(qint64 position, qint64 size) const
    {
        return std::min(total(size), (position + average() / 2) / average() + 1);
    }
    qint64 total(qint64 size) const { return std::max<qint64>(1, (size + average() - 1) / average()); }

    // Bytes per page, as the counts go.
    qint64 average() const { return m_pages > 0 ? std::max<qint64>(1, m_bytes / m_pages) : 2048; }

private:
    qint64 m_bytes = 0;
    qint64 m_pages = 0;
};
