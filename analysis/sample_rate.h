#pragma once
// The sample rate of an axis over a range, measured from the receive times:
// the intervals between its points divided by the time from the first to
// the last. Points arrive in reads of several frames that share a time, so
// the measure is as good as the range is long against one read (a range of
// a few seconds is good to a fraction of a percent). Without times to go
// by (fewer than two points, or all received together) there is no rate:
// frequencies are then in cycles per point.
// Qt-free.

#include "session.h"
#include "spectrum.h"

#include <cstdint>

TSampleRate MeasureSampleRate(const TSession& session, TAxis axis, std::int64_t first, std::int64_t last);
