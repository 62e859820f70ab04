#include "range_stats.h"

#include <algorithm>
#include <cmath>

namespace {

void FromSums(TRangeStats& stats, const TSampleStore::TSums& sums)
{
    const std::int64_t n = stats.Count;
    const double count = double(n);
    stats.Mean = double(sums.Sum) / count;
    stats.Rms = std::sqrt(double(sums.SumOfSquares) / count);
    // n * sum of squares - sum^2 is n^2 times the variance, exactly: below
    // 2^104 for any range the sums hold exactly.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(n) * sums.SumOfSquares;
    const unsigned __int128 square = static_cast<unsigned __int128>(static_cast<__int128>(sums.Sum) * sums.Sum);
    const unsigned __int128 spread = scaled > square ? scaled - square : 0;
    stats.Variance = double(spread) / count / count;
}

// Two passes over every value, in doubles: for stores that do not keep
// exact sums.
void FromValues(TRangeStats& stats, const TSampleStore& values)
{
    double sum = 0;
    double squares = 0;
    for (std::int64_t i = stats.First; i < stats.Last; ++i) {
        const double v = values.Value(i);
        sum += v;
        squares += v * v;
    }
    const double count = double(stats.Count);
    stats.Mean = sum / count;
    stats.Rms = std::sqrt(squares / count);
    double deviations = 0;
    for (std::int64_t i = stats.First; i < stats.Last; ++i) {
        const double d = double(values.Value(i)) - stats.Mean;
        deviations += d * d;
    }
    stats.Variance = deviations / count;
}

}  // namespace

TRangeStats ComputeStats(const TSampleStore& values, std::int64_t first, std::int64_t last, std::int64_t heldCount)
{
    TRangeStats stats;
    stats.First = std::clamp<std::int64_t>(first, 0, values.Count());
    stats.Last = std::clamp<std::int64_t>(last, stats.First, values.Count());
    stats.Count = stats.Last - stats.First;
    if (stats.Count == 0)
        return stats;
    const TMinMax extremes = values.MinMax(stats.First, stats.Last);
    stats.Minimum = extremes.Min;
    stats.Maximum = extremes.Max;
    stats.PeakToPeak = double(extremes.Max) - double(extremes.Min);
    if (values.Summable())
        FromSums(stats, values.Sums(stats.First, stats.Last));
    else
        FromValues(stats, values);
    stats.StdDev = std::sqrt(stats.Variance);
    stats.Held = heldCount;
    stats.HeldShare = double(heldCount) / double(stats.Count);
    return stats;
}

TRangeStats ComputeStats(const TSession& session, TAxis axis, std::int64_t first, std::int64_t last)
{
    const std::int64_t count = session.Count(axis);
    const std::int64_t from = std::clamp<std::int64_t>(first, 0, count);
    const std::int64_t to = std::clamp<std::int64_t>(last, from, count);
    return ComputeStats(session.Values(axis), from, to, session.HeldCount(axis, from, to));
}
