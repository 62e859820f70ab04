#pragma once
// The statistics and the spectrum of stored counts as they read in the unit
// a map shows them in (value_map.h: (counts - zero) / perUnit, a
// calibration to g). Worked out from the figures in counts, which are
// exact: the extremes through the map (swapped for a negative perUnit), the
// spread scaled by |perUnit|, the RMS about 0 of the unit from the mean and
// the variance; densities scaled by perUnit squared.
// Qt-free.

#include "range_stats.h"
#include "spectrum.h"
#include "value_map.h"

TRangeStats InUnit(const TRangeStats& counts, const TValueMap& map);
TSpectrum InUnit(TSpectrum counts, const TValueMap& map);
