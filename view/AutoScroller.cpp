#include "AutoScroller.h"

#include <QApplication>

AutoScroller::AutoScroller()
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &AutoScroller::timerStopped);
}

void AutoScroller::start(int ringSize)
{
    m_wanted = m_running = true;
    m_resized = false;
    m_steps = 0;
    m_ring.assign(size_t(ringSize), PageStart{});
    m_index = m_mark = 0;
}

void AutoScroller::finish()
{
    m_timer.stop();
    m_timerPending = false;
    m_running = false;
    m_screen = QPixmap();
}

void AutoScroller::startTimer(int delay)
{
    m_timerPending = true;
    m_timer.start(delay);
}

void AutoScroller::delay()
{
    ++m_steps;
    while (m_timerPending)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

const PageStart &AutoScroller::topLine() const
{
    const int size = int(m_ring.size());
    int top = m_index - m_mark;
    if (top < 0)
        top += size;
    return m_ring[size_t(top)];
}
