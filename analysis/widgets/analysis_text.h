#pragma once
// The analysis' numbers as the window writes them: the Brazilian way, as
// everywhere (format/brazilian.h), with a dash for what has no value (an
// empty range). Counts are written with FormatCount.

#include "range_stats.h"
#include "spectrum.h"

#include <QString>

namespace analysis_text {

QString Number(double value, int decimals);           // "2.047,53"; "—" when not a number
QString Percent(double share);                        // "1,25%" of a share 0..1
QString Frequency(double frequency, const TSampleRate& rate);  // "25,00 Hz", "0,1234 ciclos/ponto"
QString Rate(const TSampleRate& rate);                // "106,67 pontos/s", "sem tempos"
QString Density(double density, bool decibels);       // "-12,3 dB", "0,0123"
QString FrequencyUnit(const TSampleRate& rate);       // "Hz", "ciclos/ponto"

// The rows of the statistics table, in order, and their texts.
enum class TStatRow { Points, Minimum, Maximum, Mean, Rms, StdDev, PeakToPeak, Held, Rate, Peak, PeakAmplitude, Count };
QString RowTitle(TStatRow row);
// Values in counts when unit is empty (extremes whole, the rest with two
// decimals), else in unit with four decimals: "1,0003 g".
QString StatText(TStatRow row, const TRangeStats& stats, const TSampleRate& rate, const QString& unit = QString());
QString PeakText(TStatRow row, const TSpectrum* spectrum, const QString& unit = QString());

}  // namespace analysis_text
