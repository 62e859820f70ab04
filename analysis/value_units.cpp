#include "value_units.h"

#include <algorithm>
#include <cmath>

TRangeStats InUnit(const TRangeStats& counts, const TValueMap& map)
{
    if (map.Identity() || counts.Count == 0)
        return counts;
    TRangeStats shown = counts;
    const double low = map(counts.Minimum);
    const double high = map(counts.Maximum);
    shown.Minimum = std::min(low, high);
    shown.Maximum = std::max(low, high);
    shown.PeakToPeak = shown.Maximum - shown.Minimum;
    shown.Mean = map(counts.Mean);
    shown.Variance = counts.Variance / (map.PerUnit * map.PerUnit);
    shown.StdDev = std::sqrt(shown.Variance);
    shown.Rms = std::sqrt(shown.Variance + shown.Mean * shown.Mean);
    return shown;
}

TSpectrum InUnit(TSpectrum counts, const TValueMap& map)
{
    if (map.Identity())
        return counts;
    const double square = map.PerUnit * map.PerUnit;
    for (float& density : counts.Density)
        density = float(density / square);
    counts.Peak.Density /= square;
    counts.Peak.Amplitude /= std::fabs(map.PerUnit);
    return counts;
}
