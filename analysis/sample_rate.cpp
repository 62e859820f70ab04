#include "sample_rate.h"

#include <algorithm>

TSampleRate MeasureSampleRate(const TSession& session, TAxis axis, std::int64_t first, std::int64_t last)
{
    TSampleRate rate;
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, session.Count(axis));
    if (last - first < 2)
        return rate;
    const std::int64_t span = session.TimeUs(axis, last - 1) - session.TimeUs(axis, first);
    if (span <= 0)
        return rate;
    rate.PerUnit = double(last - 1 - first) * 1e6 / double(span);
    rate.Hertz = true;
    return rate;
}
