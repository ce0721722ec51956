#pragma once

#include "Status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// How far a preparation has read its source: `done` of `total` bytes. Called on the thread that
// prepares; return false to stop, and the preparation fails with Status::Code::Cancelled.
using PrepareProgress = std::function<bool(uint64_t done, uint64_t total)>;

// Watches one preparation: counts the bytes written to the prepared copy against a limit, and
// passes progress through the source to the caller, who may stop the work. One meter serves one
// preparation on one thread.
class CopyMeter
{
public:
    static constexpr uint64_t DefaultLimit = uint64_t(1) << 30;

    explicit CopyMeter(uint64_t limit = DefaultLimit, PrepareProgress progress = {});

    // The source's size in bytes, the `total` of every report; reports that nothing is read yet.
    bool start(uint64_t sourceSize);
    // Reports the whole source read, whatever the last step was.
    void finish();

    // Accounts for `n` more bytes of the copy. False, with nothing counted, when they would take
    // the copy past the limit or the caller stopped the work.
    bool admit(size_t n)
    {
        if (n > m_limit - m_written)
            return refuse(Stop::TooLarge);
        m_written += n;
        return m_written < m_nextOutputReport || report();
    }
    // Whether `n` more bytes still fit under the limit, for a size known before writing; when they
    // do not, the meter stops as admit would.
    bool fits(uint64_t n) { return n <= m_limit - m_written || refuse(Stop::TooLarge); }
    // The source has been read up to `done` bytes; false once the caller asked to stop.
    bool read(uint64_t done)
    {
        m_done = done < m_total ? done : m_total;
        return m_done < m_nextSourceReport || report();
    }

    bool stopped() const { return m_stop != Stop::No; }
    // Why the work stopped: TooLarge, naming the limit, or Cancelled. Ok while it goes on.
    Status stopStatus() const;

    uint64_t limit() const { return m_limit; }
    uint64_t written() const { return m_written; }

private:
    enum class Stop { No, TooLarge, Cancelled };
    bool refuse(Stop why);
    bool report();

    uint64_t m_limit;
    PrepareProgress m_progress;
    uint64_t m_written = 0;
    uint64_t m_total = 0;
    uint64_t m_done = 0;
    uint64_t m_sourceStep = 1;
    // The caller hears of progress at these points only, so that reporting costs nothing per chunk;
    // output counts too, so a small source that expands a lot can still be stopped soon.
    uint64_t m_nextSourceReport = UINT64_MAX;
    uint64_t m_nextOutputReport = UINT64_MAX;
    Stop m_stop = Stop::No;
};

// A size for people, in the largest binary unit it reaches, cut (not rounded) to one decimal, which
// is left out when it is 0: "300 bytes", "1 KiB", "1.5 MiB", "512 MiB", "1 GiB".
std::string readableSize(uint64_t bytes);
