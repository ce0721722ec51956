#pragma once

#include "LayoutTypes.h"

#include <array>

// The starts of the pages shown, so that paging back over them costs no layout: the page on
// screen and up to Capacity - 1 pages shown before it, most recent last.
class PageHistory
{
public:
    static constexpr int Capacity = 1000;

    // The page on screen.
    const PageStart &current() const { return m_ring[size_t(m_index)]; }
    void setCurrent(const PageStart &start) { m_ring[size_t(m_index)] = start; }

    // The next page is about to be shown: the page on screen becomes one to come back to.
    void advance()
    {
        m_index = (m_index + 1) % Capacity;
        if (m_depth < Capacity - 1)
            ++m_depth;
    }
    // How many pages before the one on screen are still known.
    int depth() const { return m_depth; }
    // Steps back to the page shown before the one on screen and returns it. Precondition: depth() > 0.
    const PageStart &goBack()
    {
        --m_depth;
        m_index = (m_index + Capacity - 1) % Capacity;
        return current();
    }
    // The page on screen was reached by a jump: the pages before it are no longer known.
    void forget() { m_depth = 0; }

private:
    std::array<PageStart, Capacity> m_ring;
    int m_index = 0;
    int m_depth = 0;
};
