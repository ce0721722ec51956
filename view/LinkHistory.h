#pragma once

#include <QtGlobal>
#include <array>

// Where to return over followed links: the position before the first link at the bottom, then
// the target of each link followed. Keeps the last Capacity entries; older ones are overwritten.
class LinkHistory
{
public:
    static constexpr int Capacity = 20;

    // A link from the page at `from` to `to` was followed.
    void follow(qint64 from, qint64 to)
    {
        // The bottom entry sits where the ring stands now; after a full round of going back
        // that need not be slot 0.
        if (m_count == 0)
            m_stack[size_t(m_index)] = from;
        m_index = (m_index + 1) % Capacity;
        if (m_count < Capacity)
            ++m_count;
        m_stack[size_t(m_index)] = to;
    }
    bool canGoBack() const { return m_count > 0; }
    // The position to return to, taken off the history. Precondition: canGoBack().
    qint64 goBack()
    {
        --m_count;
        m_index = (m_index + Capacity - 1) % Capacity;
        return m_stack[size_t(m_index)];
    }
    void clear() { m_count = 0; }

private:
    std::array<qint64, Capacity> m_stack{};
    int m_index = 0;
    int m_count = 0;
};
