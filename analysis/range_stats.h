#pragma once
// Statistics of the values of one axis over an index range: count,
// extremes, mean, RMS, standard deviation, peak to peak and the share of
// held values (the validity bit clear).
//
// Exact and cheap at any range: the extremes come from the store's min/max
// pyramid, the sums from its kept sums of whole readings (integers, so the
// sums carry no rounding: see sample_store.h), the held count from the
// validity bits' kept counts. The mean and variance are then worked out in
// 128-bit integers before a last division, so each differs from the true
// value by a rounding or two of a double. A store holding other values
// (fractions, magnitudes above 65535) is read in full instead.
// Qt-free.

#include "session.h"

#include <cstdint>
#include <limits>

struct TRangeStats {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();

    std::int64_t First = 0;  // the range [First, Last) as clamped to the values
    std::int64_t Last = 0;
    std::int64_t Count = 0;
    // Not a number when the range is empty.
    double Minimum = None;
    double Maximum = None;
    double Mean = None;
    double Rms = None;       // root of the mean square, offset included
    double Variance = None;  // population: mean square about the mean
    double StdDev = None;    // its root
    double PeakToPeak = None;
    std::int64_t Held = 0;
    double HeldShare = None;  // Held / Count
};

// The statistics of values [first, last) clamped to [0, Count()), with held
// values taken as heldCount (the caller's count for the clamped range).
TRangeStats ComputeStats(const TSampleStore& values, std::int64_t first, std::int64_t last, std::int64_t heldCount);
// The same for an axis of a session, held values from its validity bits.
TRangeStats ComputeStats(const TSession& session, TAxis axis, std::int64_t first, std::int64_t last);
