#pragma once

#include "LayoutTypes.h"

#include <QObject>
#include <QPixmap>
#include <QTimer>
#include <algorithm>
#include <vector>

// The state of auto-scroll: whether it is wanted and running, the timer that paces the one-pixel
// steps, the picture on screen while the text moves, and the ring of the line starts scrolled
// through, from which the line at the top of the screen is found when the scroll stops.
class AutoScroller : public QObject
{
    Q_OBJECT

public:
    // The scroll is wanted; clearing it ends the scroll after the line being revealed.
    bool autoScroll() const { return m_wanted; }
    // The scroll loop is running.
    bool scrolling() const { return m_running; }
    AutoScroller();
    void start(int ringSize);
    void scrollOff() { m_wanted = false; }
    // The loop has ended: the step timer is stopped, so the next scroll starts with a full step.
    void finish();

    // One step's wait: a single-shot timer of `delay` milliseconds, then delay() lets events
    // through until it has run out.
    void startTimer(int delay);
    void delay();
    bool timerPending() const { return m_timerPending; }
    // One-pixel steps waited for since the scroll started: a line pitch of 15 takes 15.
    int steps() const { return m_steps; }

    // Line starts in reading order: store() the line about to be fitted, next() once it is
    // placed; markScreenEnd() when the screen is full; topLine() is then the line at the top.
    void store(const PageStart &line) { m_ring[size_t(m_index)] = line; }
    void next() { m_index = (m_index + 1) % int(m_ring.size()); }
    void markScreenEnd() { m_mark = m_index; }
    const PageStart &topLine() const;
    // Lines that have started to scroll in since the screen was full.
    int linesScrolledIn() const { return (m_index - m_mark + int(m_ring.size())) % std::max(1, int(m_ring.size())); }

    // What the widget shows while the text moves.
    QPixmap &screen() { return m_screen; }
    // A resize arrived during the scroll: the page is laid out at the new size when it ends.
    void noteResize() { m_resized = true; }
    bool resizedWhileScrolling() const { return m_resized; }

public Q_SLOTS:
    void timerStopped() { m_timerPending = false; }

private:
    bool m_wanted = false;
    bool m_running = false;
    bool m_timerPending = false;
    QTimer m_timer;  // one step's wait
    bool m_resized = false;
    int m_steps = 0;
    std::vector<PageStart> m_ring;
    int m_index = 0;
    int m_mark = 0;
    QPixmap m_screen;
};
