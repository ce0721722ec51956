#include "CopyMeter.h"

#include <utility>

namespace {
constexpr uint64_t OutputStep = uint64_t(16) << 20;
// About a thousand reports over a source, none further apart than this.
constexpr uint64_t LargestSourceStep = uint64_t(1) << 20;
} // namespace

CopyMeter::CopyMeter(uint64_t limit, PrepareProgress progress) : m_limit(limit), m_progress(std::move(progress)) {}

bool CopyMeter::start(uint64_t sourceSize)
{
    m_total = sourceSize;
    m_done = 0;
    m_sourceStep = sourceSize / 1024;
    if (m_sourceStep == 0)
        m_sourceStep = 1;
    if (m_sourceStep > LargestSourceStep)
        m_sourceStep = LargestSourceStep;
    return report();
}

void CopyMeter::finish()
{
    m_done = m_total;
    if (m_progress && m_stop == Stop::No)
        m_progress(m_total, m_total); // too late to stop: the copy is complete
}

bool CopyMeter::refuse(Stop why)
{
    if (m_stop == Stop::No)
        m_stop = why;
    return false;
}

bool CopyMeter::report()
{
    if (m_stop != Stop::No)
        return false;
    m_nextSourceReport = m_progress ? m_done + m_sourceStep : UINT64_MAX;
    m_nextOutputReport = m_progress ? m_written + OutputStep : UINT64_MAX;
    if (m_progress && !m_progress(m_done, m_total))
        return refuse(Stop::Cancelled);
    return true;
}

Status CopyMeter::stopStatus() const
{
    switch (m_stop) {
    case Stop::No:
        break;
    case Stop::TooLarge:
        return Status::error(Status::Code::TooLarge, "The archive unpacks to more than " + readableSize(m_limit),
                             "the copy would pass the limit of " + std::to_string(m_limit) + " bytes");
    case Stop::Cancelled:
        return Status::error(Status::Code::Cancelled, "Opening the document was cancelled",
                             "stopped after " + std::to_string(m_done) + " of " + std::to_string(m_total)
                                 + " bytes of the source");
    }
    return Status::ok();
}

std::string readableSize(uint64_t bytes)
{
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    int unit = 0;
    while (unit < 5 && bytes >> (10 * (unit + 1)) >= 1024)
        ++unit;
    const unsigned shift = 10 * unsigned(unit + 1);
    const uint64_t whole = bytes >> shift;
    const uint64_t tenths = (bytes - (whole << shift)) * 10 >> shift; // below 10 << 60: no overflow
    std::string text = std::to_string(whole);
    if (tenths)
        text += '.' + std::to_string(tenths);
    return text + ' ' + units[unit];
}
